// lorvanta: the program's window. lorvanta [--kit KIT] [--new-instance] [FILE]
#include "app/AppSettings.h"
#include "app/LorvantaApp.h"
#include "app/QtMessageSink.h"
#include "app/ShellServices.h"
#include "app/SingleInstance.h"
#include "audiodevice/PortAudioOutput.h"
#include "audiodevice/SystemOutput.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "Usage: lorvanta [--kit KIT] [--device NAME] [--new-instance] [FILE]\n"
    "Composes and plays tabla and pakhawaj accompaniment.\n"
    "\n"
    "  FILE             a Taal file (.tal) to open\n"
    "  --kit KIT        play these strokes for this run: recorded, synthesised, or\n"
    "                   a kit FOLDER (files \"12 Na.wav\", \"3 Open Ge.flac\", ...)\n"
    "                   over the built-in ones; without it, the Options setting\n"
    "  --device NAME    play through this sound output for this run (see\n"
    "                   lorvanta-cli devices); without it, the Options setting\n"
    "  --new-instance   start a window of its own even when Lorvanta already runs;\n"
    "                   without it, FILE opens in the running program's window\n"
    "  -h, --help       show this text\n"
    "  -v, --version    show the version\n";

} // namespace

int main(int argc, char* argv[]) {
    // Answered before the window system is reached, so they work anywhere.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("lorvanta %s\n", LORVANTA_VERSION);
            return 0;
        }
    }

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(lorvanta::kAppSettingsOrganisation));
    QApplication::setApplicationName(QString::fromLatin1(lorvanta::kAppSettingsApplication));
    QApplication::setApplicationVersion(QStringLiteral(LORVANTA_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/logo.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quelnor.Lorvanta"));

    // A program of this user runs already: it opens the file, and this one ends.
    const std::optional<QString> handOver = lorvanta::FileToHandOver(QApplication::arguments());
    const QString socketName = lorvanta::InstanceSocketName();
    if (handOver && lorvanta::SendToRunningInstance(socketName, *handOver))
        return 0;

    lorvanta::CQtMessageSink messages;
    lorvanta::CLorvantaApp lorvanta(messages, lorvanta::DesktopShellServices(),
                                    lorvanta::OpenChosenOutput);
    lorvanta.SetSoundOutputServices({[] {
                                         QStringList names;
                                         for (const lorvanta::OutputDeviceEntry& entry :
                                              lorvanta::ListOutputDevices())
                                             names.append(QString::fromStdString(entry.name));
                                         return names;
                                     },
                                     lorvanta::OpenNamedOutput});
    if (!lorvanta.InitInstance(QApplication::arguments()))
        return 1;

    // A copy started on purpose leaves the socket to the first program.
    lorvanta::CInstanceServer instances([&lorvanta](const QString& file) {
        return lorvanta::OpenInRunningProgram(lorvanta, file);
    });
    if (handOver)
        instances.Listen(socketName);
    return QApplication::exec();
}
