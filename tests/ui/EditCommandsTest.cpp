// The Edit menu, Save Sound and Merge Taal in the window: each command reaches
// the grid's editor, the dialogs come first where there is one, and every
// command's enabling follows the state, Paste's the clipboard.
#include "AppTestSupport.h"

#include "session/TaalEditor.h"
#include "ui/QtBolClipboard.h"
#include "ui/dialogs/TaalPropertiesDialog.h"
#include "ui/grid/LorvantaView.h"

#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

// Answers the next modal dialog of type Dialog once it is up.
template <typename Dialog> void WhenShown(std::function<void(Dialog&)> answer) {
    QTimer::singleShot(0, [answer] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        answer(*dialog);
    });
}

} // namespace

class EditCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QGuiApplication::clipboard()->clear(); }

    // Which command is on in which state is the editor's rule, tested with
    // it; here its answers reach the actions, and Paste follows the clipboard.
    void enablingFollowsTheEditorAndTheClipboard() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        CTaalEditor& editor = frame.GetGridView()->Editor();
        const auto on = [&frame](int id) { return frame.Commands().Action(id)->isEnabled(); };
        editor.SelectBol(3, true);
        // Copy puts two bols on the clipboard and Paste is on at once; text
        // put there by anyone else turns it off at once.
        editor.SelectBol(5, false);
        frame.Commands().Action(kCmdEditCopy)->trigger();
        QVERIFY(on(kCmdEditPaste) && !on(kCmdEditInsert) && !on(kCmdEditUndo));
        QGuiApplication::clipboard()->setText(QStringLiteral("text"));
        QVERIFY(!on(kCmdEditPaste));

        frame.Commands().Action(kCmdEditClearAll)->trigger();
        QVERIFY(on(kCmdEditUndo) && !on(kCmdFileSaveSound) && !on(kCmdEditSelectAll));
        frame.Commands().Action(kCmdEditUndo)->trigger();
        QCOMPARE(app->Document().Taal().Count(), 16);
        QVERIFY(on(kCmdEditRedo) && on(kCmdFileSaveSound));
    }

    void commandsReachTheEditor() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        CTaalEditor& editor = frame.GetGridView()->Editor();
        const CTaal& taal = app->Document().Taal();
        const auto trigger = [&](int id) { frame.Commands().Action(id)->trigger(); };

        editor.SelectBol(0, true);
        trigger(kCmdEditCut);
        QCOMPARE(taal.Count(), 15);
        editor.SelectBol(2, true);
        // Each command, then the Taal's bol count and length in beats.
        const std::pair<int, std::pair<int, float>> steps[] = {
            {kCmdEditPaste, {16, 16.0f}},  {kCmdExpandDouble, {16, 17.0f}},
            {kCmdExpandHalf, {16, 16.0f}}, {kCmdEditInsert, {17, 17.0f}},
            {kCmdEditAppend, {18, 18.0f}}, {kCmdEditDelete, {17, 17.0f}},
            {kCmdEditUndo, {18, 18.0f}},   {kCmdEditRedo, {17, 17.0f}},
        };
        for (const auto& [id, after] : steps) {
            trigger(id);
            QCOMPARE(std::pair(taal.Count(), taal.Total()), after);
        }
        // An edit the file could not hold is refused, and the window says why.
        editor.SelectBol(0, true);
        const float beats = taal.BolAt(0)->duration;
        for (int i = 0; i < 4; ++i)
            trigger(kCmdExpandDouble);
        QCOMPARE(taal.BolAt(0)->duration, beats * 8.0f);
        QCOMPARE(fixture.sink.Texts(),
                 std::vector<std::string>{"A bol lasts from 0.001 to 10 beats."});
    }

    void dialogsComeFirst() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        CTaalEditor& editor = frame.GetGridView()->Editor();
        CLorvantaDoc& doc = app->Document();

        // Taal Properties shows the Taal's name and tempo; OK records them.
        QString shownName;
        WhenShown<CTaalProperties>([&](CTaalProperties& dialog) {
            shownName = dialog.NameEdit()->text();
            dialog.NameEdit()->setText(QStringLiteral("Teentaal fast"));
            dialog.TempoEdit()->setText(QStringLiteral("240"));
            dialog.OkButton()->click();
        });
        frame.Commands().Action(kCmdTaalProperties)->trigger();
        QCOMPARE(shownName, QString::fromStdString("Teentaal"));
        QCOMPARE(doc.Taal().Name(), std::string("Teentaal fast"));
        QCOMPARE(doc.DefaultTempo(), 240.0f);
        QCOMPARE(editor.Lists().UndoList().size(), std::size_t{1});
    }

    void saveSoundAndMergeTaal() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();

        fixture.shell.soundFile = fixture.Path(QStringLiteral("teen.wav"));
        frame.Commands().Action(kCmdFileSaveSound)->trigger();
        QVERIFY(QFileInfo(fixture.shell.soundFile).size() > 44);

        fixture.shell.openFile = QStringLiteral(LORVANTA_SOURCE_DIR "/Taals/Dadra.tal");
        frame.Commands().Action(kCmdFileMergeTaal)->trigger();
        QVERIFY(app->Document().Taal().Count() > 16);
        frame.Commands().Action(kCmdEditUndo)->trigger();
        QCOMPARE(app->Document().Taal().Count(), 16);
        QVERIFY(fixture.sink.Messages().empty());
    }

    void exitEmptiesTheClipboardOnlyWhileItHoldsOurBols() {
        AppFixture fixture;
        QClipboard* clipboard = QGuiApplication::clipboard();
        const QString bolType = QString::fromLatin1(QtBolClipboard::kMimeType);
        {
            const auto app = fixture.Start({AppFixture::Teentaal()});
            app->MainFrame()->GetGridView()->Editor().SelectBol(0, true);
            app->MainFrame()->Commands().Action(kCmdEditCopy)->trigger();
            QVERIFY(clipboard->mimeData()->hasFormat(bolType));
        }
        QVERIFY(!clipboard->mimeData() || !clipboard->mimeData()->hasFormat(bolType));

        {
            const auto app = fixture.Start({AppFixture::Teentaal()});
            app->MainFrame()->GetGridView()->Editor().SelectBol(0, true);
            app->MainFrame()->Commands().Action(kCmdEditCopy)->trigger();
            clipboard->setText(QStringLiteral("copied elsewhere"));
        }
        QCOMPARE(clipboard->text(), QStringLiteral("copied elsewhere"));
    }
};

QTEST_MAIN(EditCommandsTest)
#include "EditCommandsTest.moc"
