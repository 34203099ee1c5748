// lorvanta: the program's window. lorvanta [--kit FOLDER] [FILE]
#include "app/AppSettings.h"
#include "app/LorvantaApp.h"
#include "app/QtMessageSink.h"
#include "app/ShellServices.h"
#include "audio/output/device/SystemOutput.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(lorvanta::kAppSettingsOrganisation));
    QApplication::setApplicationName(QString::fromLatin1(lorvanta::kAppSettingsApplication));
    QApplication::setApplicationVersion(QStringLiteral(LORVANTA_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/logo.png")));

    lorvanta::CQtMessageSink messages;
    lorvanta::CLorvantaApp lorvanta(messages, lorvanta::DesktopShellServices(),
                                    lorvanta::OpenChosenOutput);
    if (!lorvanta.InitInstance(QApplication::arguments()))
        return 1;
    return QApplication::exec();
}
