#include "app/SoundExport.h"

#include "audio/AudioStatus.h"
#include "audio/TaalRenderer.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "soundfiles/SoundFile.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

#include <filesystem>

namespace lorvanta {

namespace {

constexpr const char* kWavSuffix = "wav";
constexpr const char* kFlacSuffix = "flac";

} // namespace

SoundFileChoice ChooseSoundFile(QWidget* parent, const QString& suggested) {
    QFileDialog dialog(parent, QStringLiteral("Save Sound"), suggested,
                       QString::fromLatin1(kSoundFileFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QString::fromLatin1(kWavSuffix));
    // A name typed without an extension takes the chosen type's.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        dialog.setDefaultSuffix(
            QString::fromLatin1(f.contains(QStringLiteral("*.flac")) ? kFlacSuffix : kWavSuffix));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const bool at48 = dialog.selectedNameFilter().contains(QStringLiteral("48 kHz"));
    return {dialog.selectedFiles().constFirst(), at48 ? 48000u : 44100u};
}

bool CanSaveSound(const CLorvantaDoc& doc) {
    return !doc.IsEmpty() && !doc.Taal().IsEmpty();
}

QString SuggestedSoundFileName(const CLorvantaDoc& doc) {
    const QString suffix = QStringLiteral(".") + QString::fromLatin1(kWavSuffix);
    if (!doc.PathName().empty()) {
        const QFileInfo file(QString::fromStdString(doc.PathName()));
        return file.dir().filePath(file.completeBaseName() + suffix);
    }
    // Cut at the first character no file name may hold.
    QString name = QString::fromStdString(doc.Taal().Name());
    const qsizetype bad = name.indexOf(QRegularExpression(QStringLiteral("[/\\\\:]")));
    if (bad >= 0)
        name.truncate(bad);
    return (name.isEmpty() ? QStringLiteral("Taal") : name) + suffix;
}

bool SaveSound(const CLorvantaDoc& doc, CTaalRenderer& renderer, MessageSink& sink,
               const SoundFileChooser& choose, QWidget* parent) {
    if (!CanSaveSound(doc))
        return false;
    const SoundFileChoice choice =
        choose ? choose(parent, SuggestedSoundFileName(doc)) : SoundFileChoice();
    QString target = choice.file;
    if (target.isEmpty())
        return false;
    if (QFileInfo(target).suffix().isEmpty())
        target += QStringLiteral(".") + QString::fromLatin1(kWavSuffix);

    // The image as it would play now. A rebuild while playing is the one
    // playback makes after a tempo change: the loop goes on where it was.
    if (renderer.BuildTaalImage() != AudioStatus::Ok)
        return false;
    return SaveTaalImage(renderer.Image(), renderer.StreamFormat().samplesPerSec,
                         std::filesystem::path(QFile::encodeName(target).toStdString()), sink, {},
                         1.0f, choice.rate);
}

} // namespace lorvanta
