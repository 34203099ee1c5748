// lorvanta-screenshot FILE OUT.png [BOL]: the picture of the program's window in
// the README. Opens FILE as the program does, selects bol number BOL (from 0;
// 4 unless given), makes the window tall enough for the grid to show the whole
// Taal, plays it into the second vibhag (beat 5 of Teentaal at its tempo) and
// saves the window as it then looks. Settings are kept in a temporary folder,
// so the user's are untouched. Messages are printed instead of shown.
#include "app/AppSettings.h"
#include "app/LorvantaApp.h"
#include "app/MainFrame.h"
#include "app/ShellServices.h"
#include "audiodevice/SystemOutput.h"
#include "model/Messages.h"
#include "ui/grid/LorvantaView.h"

#include <QApplication>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

class PrintingMessageSink : public lorvanta::MessageSink {
public:
    lorvanta::MessageAnswer Show(const lorvanta::UserMessage& message) override {
        std::fprintf(stderr, "lorvanta-screenshot: %s\n", message.text.c_str());
        return message.buttons == lorvanta::MessageButtons::Ok ? lorvanta::MessageAnswer::Ok
                                                               : lorvanta::MessageAnswer::No;
    }
};

// How long the Taal plays before the picture: four and a half beats at 100
// bpm.
constexpr int kPlayMs = 2700;

// Grows the window, and the grid's pane within it, by what the grid's page
// lacks of its full height.
void ShowWholePage(lorvanta::CMainFrame& frame) {
    lorvanta::CLorvantaView* grid = frame.GetGridView();
    auto* panes = qobject_cast<QSplitter*>(grid->parentWidget());
    const int lacking = grid->Layout().PageHeight() - grid->viewport()->height();
    if (!panes || lacking <= 0)
        return;
    frame.resize(frame.width(), frame.height() + lacking);
    QApplication::processEvents();
    QList<int> sizes = panes->sizes();
    const auto at = panes->indexOf(grid);
    if (at < 0 || at + 1 >= sizes.size())
        return;
    sizes[at] += lacking;
    sizes[at + 1] -= lacking;
    panes->setSizes(sizes);
    QApplication::processEvents();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 3 || arguments.size() > 4) {
        std::fprintf(stderr, "usage: lorvanta-screenshot FILE OUT.png [BOL]\n");
        return 2;
    }
    bool ok = true;
    const int bol = arguments.size() == 4 ? arguments.at(3).toInt(&ok) : 4;
    if (!ok || bol < 0) {
        std::fprintf(stderr, "lorvanta-screenshot: BOL is a number from 0\n");
        return 2;
    }

    QApplication::setOrganizationName(QString::fromLatin1(lorvanta::kAppSettingsOrganisation));
    QApplication::setApplicationName(QString::fromLatin1(lorvanta::kAppSettingsApplication));
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());

    PrintingMessageSink messages;
    lorvanta::CLorvantaApp lorvanta(messages, lorvanta::DesktopShellServices(),
                                    lorvanta::OpenChosenOutput);
    if (!lorvanta.InitInstance({QStringLiteral("lorvanta"), arguments.at(1)}))
        return 1;
    lorvanta::CMainFrame* frame = lorvanta.MainFrame();
    lorvanta::CLorvantaSession& session = lorvanta.Session();
    ShowWholePage(*frame);
    session.Editor().SelectBol(bol, true);
    session.Play();

    int status = 0;
    QTimer::singleShot(kPlayMs, frame, [&] {
        if (!frame->grab().save(arguments.at(2))) {
            std::fprintf(stderr, "lorvanta-screenshot: cannot write %s\n",
                         qPrintable(arguments.at(2)));
            status = 1;
        }
        session.Stop();
        QApplication::quit();
    });
    QApplication::exec();
    return status;
}
