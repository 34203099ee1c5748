#include "app/ShellServices.h"

#include <QDesktopServices>
#include <QFileDialog>

namespace lorvanta {

namespace {

QString ChooseOpenFile(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(),
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

} // namespace

ShellServices DesktopShellServices() {
    return {ChooseOpenFile, ChooseSaveFile, ChooseFolder, OpenUrl};
}

} // namespace lorvanta
