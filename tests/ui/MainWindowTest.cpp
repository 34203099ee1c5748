// Start-up with and without a file, the window's place, pane switching,
// playing from the grid, the bars reaching the sound; Help.
#include "AppTestSupport.h"

#include "audio/TaalRenderer.h"
#include "audio/playback/PlaybackEngine.h"
#include "ui/bars/PitchCtrlBar.h"
#include "ui/bars/TempoCtrlBar.h"
#include "ui/dialogs/HelpWindow.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/BolPropertiesPane.h"
#include "ui/panes/TaalTextView.h"
#include "ui/panes/TaalTree.h"

#include <QAction>
#include <QLabel>
#include <QScreen>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QTextEdit>

#include <chrono>
#include <tuple>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

QString Title(const CMainFrame& frame) {
    QString title = frame.windowTitle();
    return title.replace(QStringLiteral("[*]"), frame.isWindowModified() ? "*" : "");
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Without a file a new Taal, which Space refuses to play; with one the
    // Taal, its notation and figures; with a file that cannot be read a new
    // Taal and the reason; a command line that cannot be understood ends the
    // program.
    void startsWithOrWithoutAFile() {
        AppFixture fixture;
        auto app = fixture.Start();
        QCOMPARE(Title(*app->MainFrame()), QStringLiteral("New Taal - Lorvanta"));
        QCOMPARE(app->MainFrame()->focusWidget(), app->MainFrame()->GetGridView());
        QTest::keyClick(app->MainFrame()->GetGridView(), Qt::Key_Space);
        QCOMPARE(Texts(fixture.sink),
                 std::vector<std::string>{"You must load a Taal before playing it"});

        app.reset();
        app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        QCOMPARE(Title(frame), QStringLiteral("Teentaal.tal - Lorvanta"));
        QVERIFY(frame.GetTextView()->TextControl()->toPlainText().startsWith("Tabla: Dha"));
        QCOMPARE(frame.GetGridView()->InfoText(),
                 QStringLiteral("Taal length: 16.00 beats, Default tempo = 100.00"));

        fixture.sink.Clear();
        app.reset();
        app = fixture.Start({fixture.Path("missing.tal")});
        QCOMPARE(Title(*app->MainFrame()), QStringLiteral("New Taal - Lorvanta"));
        QVERIFY(QString::fromStdString(fixture.sink.Messages()[0].text).contains("missing.tal"));
        QVERIFY(!fixture.Start({AppFixture::Teentaal(), AppFixture::Teentaal()}));
        QVERIFY(!fixture.Start({QStringLiteral("--no-such-option")}));
        QCOMPARE(fixture.sink.Messages().size(), std::size_t{3});
    }

    // No sound output at start (no server yet): the window opens without a
    // box and says so in the status bar; Play says what failed and what to do;
    // once an output can be opened, the next Play plays and the note goes.
    void noOutputAtStartThenPlayOnceThereIsOne() {
        AppFixture fixture;
        bool serverUp = false;
        const auto app = fixture.Start(
            {AppFixture::Teentaal()}, [&serverUp](std::unique_ptr<OutputDevice>& out) {
                return serverUp ? OpenChosenOutput(out) : HResult::NoDriver;
            });
        CMainFrame& frame = *app->MainFrame();
        const auto* note = frame.findChild<QLabel*>(QStringLiteral("soundOutputLabel"));
        QVERIFY(note != nullptr);
        QVERIFY(fixture.sink.Messages().empty());
        QCOMPARE(note->text(), QString::fromLatin1(CMainFrame::kNoSoundOutput));
        QAction* play = frame.Commands().Action(kCmdAudioPlay);
        play->trigger();
        QVERIFY(!app->Session().IsPlaying());
        QCOMPARE(fixture.sink.Messages().size(), std::size_t{1});
        QVERIFY(
            QString::fromStdString(fixture.sink.Messages()[0].text).contains("error code = 29"));

        serverUp = true;
        play->trigger();
        QVERIFY(app->Session().IsPlaying());
        QCOMPARE(fixture.sink.Messages().size(), std::size_t{1});
        QTRY_COMPARE(note->text(), QString());
        app->Session().Stop();
    }

    // The place and size above where the screen allows; otherwise the whole
    // window on the screen (also run on a 1366 x 768 screen).
    void windowFitsTheScreen() {
        const std::pair<QRect, QRect> cases[] = {
            {{0, 0, 1920, 1040}, {20, 20, 1200, 800}},
            {{0, 32, 1024, 568}, {8, 72, 1008, 520}},
        };
        for (const auto& [available, expected] : cases)
            QCOMPARE(CMainFrame::FitToScreen(available), expected);

        AppFixture fixture;
        const auto app = fixture.Start();
        CMainFrame& frame = *app->MainFrame();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const QRect available = frame.screen()->availableGeometry();
        QVERIFY(available.contains(frame.frameGeometry()));
        QVERIFY(frame.geometry().bottom() + CMainFrame::kFrameAllowance.bottom() <=
                available.bottom());
        if (available.height() >= 900)
            QCOMPARE(frame.geometry(), QRect(20, 20, 1200, 800));
    }

    // The bars reach the renderer; Space plays and plays on after Pause; T
    // in the grid taps the tempo; a ramp moves the tempo bar as it is heard
    // and a tempo set on the bar ends it; the status bar counts the cycles
    // and the time from Play until Stop.
    void barsSpaceTapRampAndTheCountedSession() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        CLorvantaSession& session = app->Session();
        CTaalRenderer& renderer = session.Renderer();
        frame.TempoBar()->SetTempoBpm(120.0);
        QCOMPARE(renderer.SecondsPerBeat(), 0.5f);
        frame.PitchBar()->PitchEdit()->setText(QStringLiteral("1"));
        frame.PitchBar()->ApplyPitchText();
        QCOMPARE(renderer.PitchFactor(), 1.0594631f);
        QCOMPARE(renderer.PlaybackRate(), 23361u);

        CLorvantaView& view = *frame.GetGridView();
        QTest::keyClick(&view, Qt::Key_Space);
        QVERIFY(!frame.Commands().Action(kCmdAudioPlay)->isEnabled());
        QTRY_VERIFY(view.PositionsShown() > 0);
        frame.Commands().Action(kCmdAudioPause)->trigger();
        QVERIFY(!session.IsPlaying() && session.IsPaused());
        QTest::keyClick(&view, Qt::Key_Space);
        QVERIFY(session.IsPlaying());
        frame.Commands().Action(kCmdAudioStop)->trigger();

        for (int tap = 0; tap < 3; ++tap)
            QTest::keyClick(frame.GetGridView(), Qt::Key_T);
        QCOMPARE(session.SecondsPerBeat(), 0.06f); // taps that fast: 1000 bpm
        QCOMPARE(session.StartRamp({RampRequest::Form::Stepped, 500.0, 50.0, 1, 0.0}),
                 RampStatus::Ok);
        frame.Commands().Action(kCmdAudioPlay)->trigger();
        QTRY_COMPARE(frame.TempoBar()->TempoEdit()->text(), QStringLiteral("950.0000"));
        QTRY_VERIFY(frame.PracticeLabel()->text().startsWith(QStringLiteral("Cycles 1 ")));
        QVERIFY(session.IsRamping());
        frame.TempoBar()->SetTempoBpm(120.0);
        QVERIFY(!session.IsRamping());
        frame.Commands().Action(kCmdAudioStop)->trigger();
        QCOMPARE(frame.PracticeLabel()->text(), QString());
        QCOMPARE(session.CyclesCompleted(), 0u);

        using std::chrono::seconds;
        for (const auto& [cycles, played, text] : {std::tuple(0, seconds(0), "Cycles 0   0:00"),
                                                   {12, seconds(225), "Cycles 12   3:45"},
                                                   {3, seconds(3723), "Cycles 3   1:02:03"}})
            QCOMPARE(CMainFrame::PracticeText(cycles, played), QString::fromLatin1(text));
    }

    // Help shows the shipped page in its own window; web addresses and Open
    // in Browser go to the desktop's browser, which is not offered without
    // one.
    void helpShowsTheShippedPageInItsOwnWindow() {
        AppFixture fixture;
        auto app = fixture.Start();
        app->MainFrame()->Commands().Action(kCmdHelp)->trigger();
        CHelpWindow* help = app->MainFrame()->HelpWindow();
        QVERIFY(help && help->isVisible());
        QTextBrowser& page = *help->Browser();
        QVERIFY(page.source().isLocalFile() && page.toPlainText().contains("The notation"));
        const QUrl web(QStringLiteral("https://example.org/tabla"));
        help->FollowLink(web);
        QVERIFY(help->OpenInBrowserAction()->isVisible());
        help->OpenInBrowserAction()->trigger();
        QCOMPARE(fixture.shell.urlsOpened, (QList<QUrl>{web, page.source()}));
        QVERIFY(fixture.sink.Messages().empty());

        app.reset();
        fixture.shell.browser = false;
        app = fixture.Start();
        app->MainFrame()->OnHelp();
        QVERIFY(!app->MainFrame()->HelpWindow()->OpenInBrowserAction()->isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
