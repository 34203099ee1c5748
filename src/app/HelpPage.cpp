#include "app/HelpPage.h"

#include "app/AppSettings.h"
#include "model/ProgramData.h"
#include "persistence/SafeSave.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace lorvanta {

namespace {

// Writes the built-in page to the cache folder, so that a browser can read it.
QString ExtractBuiltInPage() {
    QFile source(QString::fromLatin1(kHelpResource));
    if (!source.open(QIODevice::ReadOnly))
        return {};
    const QByteArray page = source.readAll();

    QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    folder += QStringLiteral("/help");
    const QString path = folder + QStringLiteral("/index.html");
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == page)
        return path;
    if (!QDir().mkpath(folder))
        return {};
    SaveFailure failure;
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(page.constData()),
                                 static_cast<std::size_t>(page.size()));
    if (!WriteFileSafely(QFile::encodeName(path).toStdString(), bytes, failure))
        return {};
    return path;
}

} // namespace

QUrl HelpAddress() {
    const QString configured =
        OpenApplicationSettings()->value(QString::fromLatin1(kHelpAddressValue)).toString();
    if (!configured.trimmed().isEmpty())
        return QUrl::fromUserInput(configured.trimmed());

    // Beside the program (a build tree), else in share/lorvanta of the
    // installation.
    const QFileInfo shipped(QFile::decodeName(
        FindProgramData(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString(),
                        "help/index.html")
            .c_str()));
    if (!shipped.filePath().isEmpty() && shipped.isFile())
        return QUrl::fromLocalFile(shipped.absoluteFilePath());

    const QString extracted = ExtractBuiltInPage();
    return extracted.isEmpty() ? QUrl() : QUrl::fromLocalFile(extracted);
}

} // namespace lorvanta
