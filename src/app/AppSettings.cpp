#include "app/AppSettings.h"

#include <QDir>
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

QString DefaultTaalsFolder() {
    return QDir::currentPath() + QStringLiteral("/Taals");
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
    return settings;
}

void WriteAppSettings(const AppSettings& settings) {
    const auto store = OpenUserSettings();
    store->setValue(QString::fromLatin1(kTaalsFolderValue), settings.taalsFolder);
    store->setValue(QString::fromLatin1(kPlayingBeatDisplayValue),
                    static_cast<uint>(settings.playingBeatDisplay));
    store->sync();
}

} // namespace lorvanta
