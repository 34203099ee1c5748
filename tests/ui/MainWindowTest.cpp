// Start-up with and without a file, the window's place, panes, menus, keys and
// toolbar, the View toggles, pane switching, and playing from the grid.
#include "AppTestSupport.h"

#include "audio/TaalRenderer.h"
#include "audio/playback/PlaybackEngine.h"
#include "ui/bars/PitchCtrlBar.h"
#include "ui/bars/TempoCtrlBar.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/BolPropertiesPane.h"
#include "ui/panes/TaalTextView.h"
#include "ui/panes/TaalTree.h"

#include <QAction>
#include <QLineEdit>
#include <QScreen>
#include <QTextEdit>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

QString Title(const CMainFrame& frame) {
    QString title = frame.windowTitle();
    return title.replace(QStringLiteral("[*]"), frame.isWindowModified() ? "*" : "");
}

QStringList Keys(const QAction* action) {
    QStringList keys;
    for (const QKeySequence& key : action->shortcuts())
        keys << key.toString();
    return keys;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithNewTaal() {
        AppFixture fixture;
        const auto app = fixture.Start();
        const CMainFrame& frame = *app->MainFrame();
        QCOMPARE(Title(frame), QStringLiteral("New Taal - Lorvanta"));
        QCOMPARE(frame.focusWidget(), frame.GetGridView());
        QTest::keyClick(frame.GetGridView(), Qt::Key_Space);
        QCOMPARE(fixture.sink.Texts(),
                 std::vector<std::string>{"You must load a Taal before playing it"});
    }

    void startsWithFile() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        QCOMPARE(Title(frame), QStringLiteral("Teentaal.tal - Lorvanta"));
        QVERIFY(frame.GetTextView()->TextControl()->toPlainText().startsWith("Tabla: Dha"));

        // The header's figures of the Taal.
        QCOMPARE(frame.GetGridView()->InfoText(),
                 QStringLiteral("Taal length: 16.00 beats, Default tempo = 100.00"));
    }

    void fileThatCannotBeReadOpensANewTaal() {
        AppFixture fixture;
        const auto app = fixture.Start({fixture.Path("missing.tal")});
        QCOMPARE(Title(*app->MainFrame()), QStringLiteral("New Taal - Lorvanta"));
        QVERIFY(QString::fromStdString(fixture.sink.Messages()[0].text).contains("missing.tal"));

        // A command line that cannot be understood still ends the program.
        QVERIFY(!fixture.Start({AppFixture::Teentaal(), AppFixture::Teentaal()}));
        QVERIFY(!fixture.Start({QStringLiteral("--no-such-option")}));
        QCOMPARE(fixture.sink.Messages().size(), std::size_t{3});
    }

    // The place and size above where the screen allows; otherwise the whole
    // window on the screen (also run on a 1366 x 768 screen).
    void windowFitsTheScreen() {
        const std::pair<QRect, QRect> cases[] = {
            {{0, 0, 1920, 1040}, {20, 20, 1200, 800}},
            {{0, 0, 1366, 768}, {20, 40, 1200, 720}},
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

    void keysBesideTheMenus() {
        AppFixture fixture;
        const auto app = fixture.Start();
        const CMainFrame& frame = *app->MainFrame();
        const std::pair<int, QStringList> keys[] = {
            {kCmdEditUndo, {"Ctrl+Z", "Alt+Backspace"}},
            {kCmdAudioPause, {"Shift+Space"}},
            {kCmdAudioPlay, {}}, // Space alone is the grid's key, never a window shortcut
        };
        for (const auto& [id, expected] : keys)
            QCOMPARE(Keys(frame.Commands().Action(id)), expected);
        QVERIFY(frame.actions().contains(frame.TempoBar()->QuickChangeAction()));
    }

    void f6MovesBetweenPanes() {
        AppFixture fixture;
        const auto app = fixture.Start();
        CMainFrame& frame = *app->MainFrame();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        frame.GetGridView()->setFocus();
        const std::pair<Qt::KeyboardModifiers, QWidget*> steps[] = {
            {{}, frame.GetTextView()->TextControl()},
            {Qt::ShiftModifier, frame.GetGridView()},
        };
        for (const auto& [modifiers, next] : steps) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, modifiers);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void spacePlaysAndStops() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        CLorvantaView& view = *frame.GetGridView();
        QTest::keyClick(&view, Qt::Key_Space);
        QVERIFY(!frame.Commands().Action(kCmdAudioPlay)->isEnabled());
        QTRY_VERIFY(view.PositionsShown() > 0);

        frame.Commands().Action(kCmdAudioPause)->trigger();
        QVERIFY(!view.IsPlaying() && view.IsPaused());
        QTest::keyClick(&view, Qt::Key_Space);
        QVERIFY(view.IsPlaying());

        // Opening a Taal stops the one playing.
        view.OnAudioPlay();
        QVERIFY(app->OpenDocumentFile(AppFixture::Teentaal()));
        QVERIFY(!view.IsPlaying());
    }

    void barsReachTheRenderer() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        CTaalRenderer& renderer = frame.GetGridView()->Renderer();
        frame.TempoBar()->SetTempoBpm(120.0);
        QCOMPARE(renderer.SecondsPerBeat(), 0.5f);
        frame.PitchBar()->PitchEdit()->setText(QStringLiteral("1"));
        frame.PitchBar()->ApplyPitchText();
        QCOMPARE(renderer.PitchFactor(), 1.0594631f);
        QCOMPARE(renderer.PlaybackRate(), 23361u);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
