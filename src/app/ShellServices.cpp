#include "app/ShellServices.h"

#include "app/SoundExport.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#ifdef LORVANTA_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

namespace lorvanta {

namespace {

QString ChooseOpenFile(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(),
                                        QString::fromLatin1(kTaalFileFilter));
}

QString ChooseMergeFile(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Merge Taal"), QString(),
                                        QString::fromLatin1(kTaalFileFilter));
}

QString ChooseSaveFile(QWidget* parent, const QString& suggested) {
    QFileDialog dialog(parent, QStringLiteral("Save As"), suggested,
                       QString::fromLatin1(kTaalFileFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QString::fromLatin1(kTaalExtension).mid(1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString ChooseFolder(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

std::optional<QString> OpenUrl(const QUrl& address) {
    if (QDesktopServices::openUrl(address))
        return std::nullopt;
    return QStringLiteral("The desktop has no program that opens %1.")
        .arg(address.toDisplayString());
}

// Where addresses are opened by the freedesktop opener, it must be there.
bool HasBrowser() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
#else
    return true;
#endif
}

// The freedesktop file manager interface selects the file in its folder;
// without it (or when no file manager answers) the folder is opened.
std::optional<QString> ShowInFileManager(const QString& file) {
    const QFileInfo info(file);
#ifdef LORVANTA_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList(QUrl::fromLocalFile(info.absoluteFilePath()).toString()) << QString();
        constexpr int kTimeoutMs = 3000;
        if (bus.call(call, QDBus::Block, kTimeoutMs).type() == QDBusMessage::ReplyMessage)
            return std::nullopt;
    }
#endif
    return OpenUrl(QUrl::fromLocalFile(info.absolutePath()));
}

} // namespace

ShellServices DesktopShellServices() {
    return {ChooseOpenFile, ChooseSaveFile,    ChooseFolder,    OpenUrl,
            HasBrowser,     ShowInFileManager, ChooseSoundFile, ChooseMergeFile};
}

} // namespace lorvanta
