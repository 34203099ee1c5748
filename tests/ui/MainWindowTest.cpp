// Start-up with and without a file, the window's place, panes, menus, keys and
// toolbar, the View toggles, pane switching, and playing from the grid.
#include "AppTestSupport.h"

#include "app/SplitterWnd.h"
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
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolBar>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

QString Title(const CMainFrame& frame) {
    QString title = frame.windowTitle();
    return title.replace(QStringLiteral("[*]"), frame.isWindowModified() ? "*" : "");
}

// "text=id" for each item of a menu, "-" for a separator, "[title]" before a
// submenu's items.
QStringList Describe(const QMenu* menu) {
    QStringList items;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator())
            items << QStringLiteral("-");
        else if (action->menu())
            items << QStringLiteral("[%1]").arg(action->text()) << Describe(action->menu());
        else if (action->isVisible())
            items << QStringLiteral("%1=%2").arg(action->text()).arg(action->data().toInt());
    }
    return items;
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
        QVERIFY(app);
        const CMainFrame& frame = *app->MainFrame();
        QVERIFY(frame.isVisible());
        QCOMPARE(frame.geometry(), QRect(20, 20, 1200, 800));
        QCOMPARE(Title(frame), QStringLiteral("New Taal - Lorvanta"));
        QVERIFY(app->Document().IsEmpty());
        QVERIFY(!frame.Commands().Action(kCmdAudioPlay)->isEnabled());
        QVERIFY(!frame.Commands().Action(kCmdFileSave)->isEnabled());
        QVERIFY(frame.acceptDrops());
        QCOMPARE(frame.focusWidget(), frame.GetGridView());
        QVERIFY(fixture.sink.Messages().empty());
    }

    void startsWithFile() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        QVERIFY(app);
        const CMainFrame& frame = *app->MainFrame();
        QCOMPARE(Title(frame), QStringLiteral("Teentaal.tal - Lorvanta"));
        QCOMPARE(app->Document().Taal().Count(), 16);
        QCOMPARE(frame.TempoBar()->TempoEdit()->text(), QStringLiteral("100.0000"));
        QVERIFY(frame.Commands().Action(kCmdAudioPlay)->isEnabled());
        QCOMPARE(app->RecentFiles().Files().value(0),
                 QFileInfo(AppFixture::Teentaal()).absoluteFilePath());
        QVERIFY(frame.GetTextView()->TextControl()->toPlainText().startsWith("Tabla: Dha"));
        QVERIFY(fixture.sink.Messages().empty());
    }

    void fileThatCannotBeReadEndsTheProgram() {
        AppFixture fixture;
        QVERIFY(!fixture.Start({fixture.Path("missing.tal")}));
        QCOMPARE(fixture.sink.Messages().size(), std::size_t{1});
        QCOMPARE(fixture.sink.Messages()[0].kind, MessageKind::Error);
        QVERIFY(QString::fromStdString(fixture.sink.Messages()[0].text).contains("missing.tal"));

        QVERIFY(!fixture.Start({AppFixture::Teentaal(), AppFixture::Teentaal()}));
        QVERIFY(!fixture.Start({QStringLiteral("--no-such-option")}));
        QCOMPARE(fixture.sink.Messages().size(), std::size_t{3});
    }

    void panesAtTheirSizes() {
        AppFixture fixture;
        const auto app = fixture.Start();
        const CMainFrame& frame = *app->MainFrame();
        const ST_SplitterWnd& outer = *frame.OuterSplitter();
        QCOMPARE(outer.widget(0), frame.LeftSplitter());
        QCOMPARE(outer.widget(1), frame.RightSplitter());
        QCOMPARE(frame.RightSplitter()->widget(0), frame.GetGridView());
        QCOMPARE(frame.RightSplitter()->widget(1), frame.GetTextView());
        QCOMPARE(frame.LeftSplitter()->widget(0), frame.GetTreeView());
        QCOMPARE(frame.LeftSplitter()->widget(1), frame.GetBolPropertiesView());
        QCOMPARE(frame.LeftSplitter()->Id(), 1);

        // The first pane of each splitter at its size, the last takes the rest.
        QCOMPARE(outer.sizes().value(0), 350);
        QCOMPARE(frame.LeftSplitter()->sizes().value(0), 250);
        QCOMPARE(frame.RightSplitter()->sizes().value(0), 400);
        QCOMPARE(outer.sizes().value(0) + outer.sizes().value(1) + outer.handleWidth(),
                 outer.width());
        QCOMPARE(frame.LeftSplitter()->minimumWidth(), 100);
        QCOMPARE(frame.RightSplitter()->minimumWidth(), 100);
        QCOMPARE(frame.GetTreeView()->minimumHeight(), 100);
        QCOMPARE(frame.GetBolPropertiesView()->minimumHeight(), 100);
        QCOMPARE(frame.GetGridView()->minimumHeight(), 150);
        QCOMPARE(frame.GetTextView()->minimumHeight(), 150);
    }

    void menusToolbarAndKeys() {
        AppFixture fixture;
        const auto app = fixture.Start();
        const CMainFrame& frame = *app->MainFrame();
        QStringList titles;
        QStringList items;
        for (const QAction* popup : frame.menuBar()->actions()) {
            titles << popup->text();
            items << Describe(popup->menu());
        }
        QCOMPARE(titles, (QStringList{"&File", "&Edit", "&View", "&Audio", "&Help"}));
        const QStringList expected{
            "&New\tCtrl+N=57600", "&Open...\tCtrl+O=57601", "&Save\tCtrl+S=57603",
            "Save &As...=57604", "Save Soun&d\tCtrl+D=32801", "&Merge Taal\tCtrl+M=32803", "-",
            "Recent File=57616", "-", "E&xit=57665",
            // Edit
            "&Undo\tCtrl+Z=57643", "&Redo\tCtrl+Y=57644", "-", "Cu&t\tCtrl+X=57635",
            "&Copy\tCtrl+C=57634", "&Paste\tCtrl+V=57637", "&Delete\tDel=32790",
            "Select &All\tCtrl+A=57642", "C&lear All\tCtrl+Del=57633", "[E&xpand]",
            "2x\tCtrl+Up=32844", "0.5x\tCtrl+down=32843", "Custom=32842", "-",
            "&Insert\tCtrl+I=32791", "&Append=32792", "-", "&Taal Properties=32795",
            // View
            "&Toolbar=59392", "&Status Bar=59393", "Tempo &Control=32777", "&Pitch Control=32806",
            "&Options=32797",
            // Audio
            "&Play\tSpacebar=32771", "&Stop\tSpacebar=32772", "Pa&use\tShift+Spacebar=32831",
            "Play from &Selected=32835",
            // Help
            "&About Lorvanta...=57664", "Help\tF1=32838"};
        QCOMPARE(items, expected);
        QVERIFY(!frame.Commands().Action(kCmdFileMruFirst)->isEnabled());

        QStringList buttons;
        for (const QAction* action : frame.ToolBar()->actions())
            buttons << (action->isSeparator() ? QStringLiteral("|")
                                              : QString::number(action->data().toInt()));
        QCOMPARE(buttons.join(' '), QStringLiteral("57600 57601 57603 | 57635 57634 57637 32790 "
                                                   "| 57643 57644 | 32793 32791 | 32771 32835 "
                                                   "32831 32772"));
        QVERIFY(!frame.Commands().Action(kCmdBolProperties)->isEnabled());

        QCOMPARE(Keys(frame.Commands().Action(kCmdEditUndo)),
                 (QStringList{"Ctrl+Z", "Alt+Backspace"}));
        QCOMPARE(Keys(frame.Commands().Action(kCmdEditCut)), (QStringList{"Ctrl+X", "Shift+Del"}));
        QCOMPARE(Keys(frame.Commands().Action(kCmdEditCopy)), (QStringList{"Ctrl+C", "Ctrl+Ins"}));
        QCOMPARE(Keys(frame.Commands().Action(kCmdEditPaste)),
                 (QStringList{"Ctrl+V", "Shift+Ins"}));
        QCOMPARE(Keys(frame.Commands().Action(kCmdAudioPause)), QStringList{"Shift+Space"});
        // Space alone is the grid's key, never a window shortcut.
        QVERIFY(frame.Commands().Action(kCmdAudioPlay)->shortcuts().isEmpty());
        QVERIFY(frame.actions().contains(frame.TempoBar()->QuickChangeAction()));
        QCOMPARE(Keys(frame.Commands().Action(kCmdNextPane)), QStringList{"F6"});
        QCOMPARE(Keys(frame.Commands().Action(kCmdPreviousPane)), QStringList{"Shift+F6"});
    }

    void viewTogglesFollowTheBars() {
        AppFixture fixture;
        const auto app = fixture.Start();
        CMainFrame& frame = *app->MainFrame();
        for (const int id :
             {kCmdViewToolbar, kCmdViewStatusBar, kCmdViewTempoControl, kCmdViewPitchControl}) {
            QAction* toggle = frame.Commands().Action(id);
            QVERIFY(toggle->isChecked());
            toggle->trigger();
            frame.UpdateCommandUI();
            QVERIFY(!toggle->isChecked());
        }
        QVERIFY(frame.ToolBar()->isHidden() && frame.statusBar()->isHidden());
        QVERIFY(frame.TempoBar()->isHidden() && frame.PitchBar()->isHidden());
        frame.Commands().Action(kCmdViewTempoControl)->trigger();
        frame.UpdateCommandUI();
        QVERIFY(!frame.TempoBar()->isHidden());
        QVERIFY(frame.Commands().Action(kCmdViewTempoControl)->isChecked());
    }

    void f6MovesBetweenPanes() {
        AppFixture fixture;
        const auto app = fixture.Start();
        CMainFrame& frame = *app->MainFrame();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        frame.GetGridView()->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
        QCOMPARE(QApplication::focusWidget(), frame.GetTextView()->TextControl());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
        QCOMPARE(QApplication::focusWidget(), frame.GetTreeView());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
        QCOMPARE(QApplication::focusWidget(), frame.GetBolPropertiesView());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), frame.GetTreeView());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), frame.GetTextView()->TextControl());
    }

    void spacePlaysAndStops() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        CLorvantaView& view = *frame.GetGridView();
        QCOMPARE(view.SoundStatus(), 0u);
        QTest::keyClick(&view, Qt::Key_Space);
        QVERIFY(view.IsPlaying());
        QVERIFY(!frame.Commands().Action(kCmdAudioPlay)->isEnabled());
        QVERIFY(frame.Commands().Action(kCmdAudioStop)->isEnabled());
        QVERIFY(frame.Commands().Action(kCmdAudioPause)->isEnabled());
        // The playing position reaches the window on its own thread.
        QTRY_VERIFY(view.Engine().NotificationsProcessed() > 2);
        QTRY_VERIFY(view.PositionsShown() > 0);
        QVERIFY(!view.BeatDisplayText().isEmpty());

        frame.Commands().Action(kCmdAudioPause)->trigger();
        QVERIFY(!view.IsPlaying() && view.IsPaused());
        QTest::keyClick(&view, Qt::Key_Space);
        QVERIFY(view.IsPlaying());
        QTest::keyClick(&view, Qt::Key_Space);
        QVERIFY(!view.IsPlaying());

        // Opening a Taal stops the one playing.
        view.OnAudioPlay();
        QVERIFY(app->OpenDocumentFile(AppFixture::Teentaal()));
        QVERIFY(!view.IsPlaying());
    }

    void spaceOnAnEmptyTaalExplains() {
        AppFixture fixture;
        const auto app = fixture.Start();
        QTest::keyClick(app->MainFrame()->GetGridView(), Qt::Key_Space);
        QCOMPARE(fixture.sink.Texts(),
                 std::vector<std::string>{"You must load a Taal before playing it"});
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

        // Ctrl+Q anywhere in the window jumps to the quick-change tempo.
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        frame.TempoBar()->QuickEdit()->setText(QStringLiteral("150"));
        frame.TempoBar()->ApplyQuickTempoText();
        frame.GetGridView()->setFocus();
        QTest::keyClick(frame.GetGridView(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(renderer.SecondsPerBeat(), 0.4f);
    }

    void headerShowsNameAndInfo() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CLorvantaView& view = *app->MainFrame()->GetGridView();
        QVERIFY(QTest::qWaitForWindowExposed(app->MainFrame()));
        QCOMPARE(view.InfoText(),
                 QStringLiteral("Taal length: 16.00 beats, Default tempo = 100.00"));
        view.viewport()->repaint();
        QCOMPARE(view.TaalNameRect().top(), 50);
        QCOMPARE(view.TaalInfoRect().top(), 90);
        // Centred in the pane, widened by 4 pixels to the left.
        const QRect name = view.TaalNameRect();
        QVERIFY(qAbs((name.left() + 4 + name.right() + 1) - view.viewport()->width()) <= 2);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
