#include "app/AppSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace lorvanta {

namespace {

std::unique_ptr<QSettings> OpenStore(const char* organisation, const char* application,
                                     const char* group) {
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                QString::fromLatin1(organisation),
                                                QString::fromLatin1(application));
    settings->beginGroup(QString::fromLatin1(group));
    return settings;
}

} // namespace

QString DefaultTaalsFolder(const QString& workingDir, const QString& programDir) {
    const QString local = workingDir + QStringLiteral("/Taals");
    if (QFileInfo(local).isDir() || programDir.isEmpty())
        return local;
    for (const QString& bundled : {programDir + QStringLiteral("/Taals"),
                                   programDir + QStringLiteral("/../share/lorvanta/Taals")}) {
        if (QFileInfo(bundled).isDir())
            return QDir::cleanPath(bundled);
    }
    return local;
}

QString DefaultTaalsFolder() {
    const QString programDir =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    return DefaultTaalsFolder(QDir::currentPath(), programDir);
}

std::unique_ptr<QSettings> OpenUserSettings() {
    return OpenStore(kUserSettingsOrganisation, kUserSettingsApplication, kUserSettingsGroup);
}

std::unique_ptr<QSettings> OpenApplicationSettings() {
    return OpenStore(kAppSettingsOrganisation, kAppSettingsApplication, kAppSettingsGroup);
}

AppSettings ReadAppSettings() {
    AppSettings settings;
    settings.taalsFolder = DefaultTaalsFolder();
    const auto store = OpenUserSettings();
    if (store->status() != QSettings::NoError)
        return settings;

    const QVariant folder = store->value(QString::fromLatin1(kTaalsFolderValue));
    if (folder.isValid() && folder.canConvert<QString>()) {
        const QString text = folder.toString();
        if (text.toLocal8Bit().size() < kMaxTaalsFolderBytes)
            settings.taalsFolder = text;
    }

    bool ok = false;
    const uint display = store->value(QString::fromLatin1(kPlayingBeatDisplayValue)).toUInt(&ok);
    settings.playingBeatDisplay = ok && display < 2 ? display : kDisplayBeatNumber;

    const QVariant strokes = store->value(QString::fromLatin1(kStrokesValue));
    if (strokes.isValid() && strokes.canConvert<QString>()) {
        if (const auto choice = ParseKitChoice(QFile::encodeName(strokes.toString()).toStdString()))
            settings.strokes = *choice;
    }

    // Anything unreadable keeps its default.
    DroneSettings& drone = settings.drone;
    drone.on = store->value(QString::fromLatin1(kDroneValue)).toString() == QStringLiteral("on");
    if (const auto tuning = ParseDroneTuning(
            store->value(QString::fromLatin1(kDroneTuningValue)).toString().toStdString()))
        drone.setup.tuning = *tuning;
    const int octave = store->value(QString::fromLatin1(kDroneOctaveValue)).toInt(&ok);
    if (ok && octave >= kLowestDroneOctave && octave <= kHighestDroneOctave)
        drone.setup.octave = octave;
    const float droneLevel = store->value(QString::fromLatin1(kDroneLevelValue)).toFloat(&ok);
    if (ok && droneLevel >= kMinDroneLevelDb && droneLevel <= kMaxDroneLevelDb)
        drone.levelDb = droneLevel;
    LehraSettings& lehra = settings.lehra;
    lehra.on = store->value(QString::fromLatin1(kLehraValue)).toString() == QStringLiteral("on");
    lehra.name = store->value(QString::fromLatin1(kLehraNameValue)).toString().toStdString();
    lehra.instrument = ParseLehraInstrument(
        store->value(QString::fromLatin1(kLehraInstrumentValue)).toString().toStdString());
    const float lehraLevel = store->value(QString::fromLatin1(kLehraLevelValue)).toFloat(&ok);
    if (ok && lehraLevel >= kMinLehraLevelDb && lehraLevel <= kMaxLehraLevelDb)
        lehra.levelDb = lehraLevel;
    settings.rowsByVibhag =
        store->value(QString::fromLatin1(kRowsByVibhagValue)).toString() != QStringLiteral("off");

    for (const auto& [key, level] : {std::pair{kTrebleLevelValue, &settings.levels.treble},
                                     {kBassLevelValue, &settings.levels.bass},
                                     {kMasterLevelValue, &settings.levels.master}}) {
        QString text = store->value(QString::fromLatin1(key)).toString();
        const bool off = text.startsWith(QStringLiteral("off "));
        if (off)
            text.remove(0, 4);
        if (const auto parsed = ParseDrumLevel(text.toStdString()))
            *level = {parsed->db, off || parsed->off};
    }
    settings.soundOutput = store->value(QString::fromLatin1(kSoundOutputValue)).toString();

    StrokeStyle& style = settings.style;
    if (const auto endings = ParseStrokeEndings(
            store->value(QString::fromLatin1(kStrokeEndingsValue)).toString().toStdString()))
        style.endings = *endings;
    const float humanise = store->value(QString::fromLatin1(kHumaniseValue)).toFloat(&ok);
    if (ok && humanise >= 0.0f && humanise <= kMaxHumanise)
        style.humanise = humanise;
    const float bass = store->value(QString::fromLatin1(kBassTuningValue)).toFloat(&ok);
    if (ok && bass >= kMinBassTuning && bass <= kMaxBassTuning)
        style.bassTuning = bass;
    return settings;
}

void WriteAppSettings(const AppSettings& settings) {
    const auto store = OpenUserSettings();
    store->setValue(QString::fromLatin1(kTaalsFolderValue), settings.taalsFolder);
    store->setValue(QString::fromLatin1(kPlayingBeatDisplayValue),
                    static_cast<uint>(settings.playingBeatDisplay));
    store->setValue(QString::fromLatin1(kStrokesValue),
                    QFile::decodeName(KitChoiceText(settings.strokes).c_str()));
    const DroneSettings& drone = settings.drone;
    store->setValue(QString::fromLatin1(kDroneValue),
                    drone.on ? QStringLiteral("on") : QStringLiteral("off"));
    store->setValue(QString::fromLatin1(kDroneTuningValue),
                    QString::fromLatin1(DroneTuningName(drone.setup.tuning)));
    store->setValue(QString::fromLatin1(kDroneOctaveValue), drone.setup.octave);
    store->setValue(QString::fromLatin1(kDroneLevelValue), static_cast<double>(drone.levelDb));
    const LehraSettings& lehra = settings.lehra;
    store->setValue(QString::fromLatin1(kLehraValue),
                    lehra.on ? QStringLiteral("on") : QStringLiteral("off"));
    store->setValue(QString::fromLatin1(kLehraNameValue), QString::fromStdString(lehra.name));
    store->setValue(QString::fromLatin1(kLehraInstrumentValue),
                    lehra.instrument ? QString::fromLatin1(LehraInstrumentName(*lehra.instrument))
                                     : QString());
    store->setValue(QString::fromLatin1(kLehraLevelValue), static_cast<double>(lehra.levelDb));
    store->setValue(QString::fromLatin1(kRowsByVibhagValue),
                    settings.rowsByVibhag ? QStringLiteral("on") : QStringLiteral("off"));
    for (const auto& [key, level] : {std::pair{kTrebleLevelValue, &settings.levels.treble},
                                     {kBassLevelValue, &settings.levels.bass},
                                     {kMasterLevelValue, &settings.levels.master}})
        store->setValue(
            QString::fromLatin1(key),
            QString::fromStdString((level->off ? "off " : "") + DrumLevelText({level->db, false})));
    store->setValue(QString::fromLatin1(kSoundOutputValue), settings.soundOutput);
    store->setValue(QString::fromLatin1(kStrokeEndingsValue),
                    QString::fromLatin1(StrokeEndingsText(settings.style.endings)));
    store->setValue(QString::fromLatin1(kHumaniseValue),
                    static_cast<double>(settings.style.humanise));
    store->setValue(QString::fromLatin1(kBassTuningValue),
                    static_cast<double>(settings.style.bassTuning));
    store->sync();
}

} // namespace lorvanta
