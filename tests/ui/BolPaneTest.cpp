// The side panes: the numeric edit and spin, the bol properties form and the
// Taal browser.
#include "AppTestSupport.h"

#include "app/AppSettings.h"
#include "audio/SampleBank.h"
#include "model/Bol.h"
#include "model/LorvantaDoc.h"
#include "persistence/TaalFile.h"
#include "session/LorvantaSession.h"
#include "ui/bars/TempoCtrlBar.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/BolPropertiesPane.h"
#include "ui/panes/NumEdit.h"
#include "ui/panes/TaalTree.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

// Types the text one key at a time, letting queued work run between keys as
// a user's typing would.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QTest::keyClicks(widget, QString(c));
        QCoreApplication::processEvents();
    }
}

CBol2 SampleBol() {
    CBol2 bol;
    bol.name = "Dha: Pressed Ge";
    bol.duration = 0.5f;
    bol.pitch.name = "Na";
    bol.pitch.soundId = 12;
    bol.pitch.emphasis = -3.0f;
    bol.bass.name = "Pressed Ge";
    bol.bass.soundId = 1;
    bol.bass.emphasis = 2.0f;
    return bol;
}

// Which of the fields, Apply and Revert are on, as three digits.
QString StateOf(const CBolPropertiesPane& pane) {
    return QStringLiteral("%1%2%3")
        .arg(pane.NameBox()->isEnabled())
        .arg(pane.ApplyButton()->isEnabled())
        .arg(pane.RevertButton()->isEnabled());
}

// A pane on screen with the sample bol, so that focus moves as a user's does.
struct ShownPane {
    RecordingMessageSink sink;
    CBolPropertiesPane pane{sink};
    ShownPane() {
        pane.show();
        pane.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&pane));
        pane.ShowBol(SampleBol(), 0);
    }
};

QStringList Titles(const QTreeWidgetItem* root) {
    QStringList titles;
    for (int i = 0; i < root->childCount(); ++i)
        titles.append(root->child(i)->text(0));
    return titles;
}

// A Taal of one bol whose default tempo is the given one.
void WriteTaal(const QString& path, float tempo) {
    CLorvantaDoc doc;
    doc.Params().defaultTempo = tempo;
    doc.Taal().Append(std::make_unique<CBol2>());
    SaveFailure error;
    QVERIFY2(SaveTaalFile(doc, QFile::encodeName(path).toStdString(), error), error.reason.c_str());
}

// After every edit, undo and redo in `steps` the form shows the bol the
// grid has selected (the one Apply changes), or is empty and off without one.
void FollowThroughEdits(const QString& steps) {
    CSampleBank bank;
    RecordingMessageSink sink;
    CLorvantaSession session(bank, sink, OpenChosenOutput);
    CLorvantaDoc& doc = session.Document();
    for (int i = 0; i < 4; ++i) {
        const CBol2 bol(("B" + std::to_string(i + 1)).c_str(), 0, 1.0f, Tabla);
        doc.InsertBol(i - 1, &bol);
    }
    doc.SetEmpty(false);
    CBolPropertiesPane pane(sink);
    pane.SetSession(&session);
    session.OnInitialUpdate();
    CTaalEditor& editor = session.Editor();

    // A digit selects that bol; d deletes, u undoes, r redoes, c clears.
    for (const QChar step : steps) {
        if (step.isDigit()) {
            editor.SelectBol(step.digitValue(), true);
            continue;
        }
        const char edit = step.toLatin1();
        edit == 'd'   ? editor.Delete()
        : edit == 'u' ? editor.Undo()
        : edit == 'r' ? editor.Redo()
                      : editor.ClearAll();
        const int selected = editor.GetFirstSelected();
        QCOMPARE(pane.PlayBolButton()->isEnabled(), selected >= 0);
        QCOMPARE(pane.NameBox()->currentText().toStdString(),
                 selected >= 0 ? doc.Taal().BolAt(selected)->name : std::string());
    }
    QVERIFY(sink.Messages().empty());
}

} // namespace

class BolPaneTest : public QObject {
    Q_OBJECT

private slots:
    // --- CNumEdit and CNumSpinCtrl ---------------------------------------

    void decimalsOnlyGrowAndCarryIntoSteps() {
        CNumEdit edit;
        CNumSpinCtrl spin;
        spin.SetBuddy(&edit);
        QVERIFY(edit.SetValue(0.25f));
        QVERIFY(edit.SetValue(1.0f));
        QCOMPARE(edit.text(), QStringLiteral("1.00"));

        spin.SetDelta(0.25f);
        edit.setText(QString());
        Type(&edit, QStringLiteral("1.234"));
        spin.Spin(1);
        QCOMPARE(edit.text(), QStringLiteral("1.484"));
        spin.Spin(-3);
        QCOMPARE(edit.text(), QStringLiteral("0.734"));

        // Steps keep to the range.
        spin.SetRange(0.0f, 10.0f);
        spin.Spin(-200);
        QCOMPARE(spin.GetPos(), 0.0f);
        QTest::keyClick(&edit, Qt::Key_Up);
        QCOMPARE(spin.GetPos(), 0.25f);
    }

    void validityCodes() {
        CNumEdit edit;
        edit.SetRange(-20.0f, 20.0f);
        for (const auto& [text, code] :
             {std::pair("12.5", 0), {"20.01", 1}, {"", 2}, {"1.5x", 2}, {"-", 3}}) {
            QCOMPARE(edit.IsValid(QString::fromLatin1(text)), code);
            edit.setText(QString::fromLatin1(text));
            QCOMPARE(edit.GetValue(), code == 0 ? *ReadNumberText(edit.text()) : -20.0f);
        }
    }

    // --- The bol properties form -----------------------------------------

    void showChangeApplyRevert() {
        RecordingMessageSink sink;
        CBolPropertiesPane pane(sink);
        QSignalSpy applied(&pane, &CBolPropertiesPane::applyRequested);
        QCOMPARE(StateOf(pane), QStringLiteral("000"));

        pane.ShowBol(SampleBol(), 6);
        QCOMPARE(pane.BolNumber()->text(), QStringLiteral("7"));
        QCOMPARE(pane.PitchEmphasisEdit()->text(), QStringLiteral("-3"));
        pane.DurationSpin()->Spin(2);
        QCOMPARE(StateOf(pane), QStringLiteral("111"));
        pane.RevertButton()->click();
        QCOMPARE(pane.DurationEdit()->text(), QStringLiteral("0.5"));
        QCOMPARE(StateOf(pane), QStringLiteral("100"));

        // A typed name that is not listed is kept as typed, the sounds stay.
        pane.NameBox()->lineEdit()->selectAll();
        QTest::keyClicks(pane.NameBox()->lineEdit(), QStringLiteral("Tirakita"));
        pane.ApplyButton()->click();
        const auto edited = applied.at(0).at(0).value<CBol2>();
        QCOMPARE(edited.name, std::string("Tirakita"));
        QCOMPARE(edited.index, 6u);
        QCOMPARE(edited.pitch.soundId, 12u);
        QCOMPARE(StateOf(pane), QStringLiteral("100"));

        // An instrument refills its side's sounds; the id follows the Silence
        // now shown, so Apply stores what the form shows.
        pane.BassInstrumentList()->setCurrentIndex(1);
        emit pane.BassInstrumentList()->activated(1);
        QCOMPARE(pane.BassSoundId(), 0u);
        pane.OnApply();
        const auto bass = applied.at(1).at(0).value<CBol2>().bass;
        QVERIFY(bass.soundId == 0 && bass.instrument == Pakhawaj);
    }

    // Typing a name the list holds changes the name; only a choice from the
    // list sets the sounds.
    void typedListedNameIsOnlyAName() {
        ShownPane shown;
        QComboBox* box = shown.pane.NameBox();
        box->lineEdit()->setFocus();
        box->lineEdit()->selectAll();
        Type(box->lineEdit(), QStringLiteral("Ra"));
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(box->currentText(), QStringLiteral("Ra"));
        QCOMPARE(shown.pane.PitchSoundId(), 12u);

        box->showPopup();
        box->view()->setCurrentIndex(box->model()->index(box->findText(QStringLiteral("Ra")), 0));
        QTest::keyClick(box->view(), Qt::Key_Return);
        QCOMPARE(shown.pane.PitchSoundList()->currentText(), QStringLiteral("Ghasee Ra"));
    }

    // Typed: what is typed, whether the field is left by Tab (else Play
    // Bol), and how many messages follow.
    void signsAndEmptyFieldsWaitForTheFieldToBeLeft() {
        for (const auto& [typed, tab, messages] :
             {std::tuple("-5", true, 0), {"-", true, 1}, {"", false, 1}}) {
            ShownPane shown;
            CNumEdit* edit = shown.pane.PitchEmphasisEdit();
            edit->setFocus();
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
            Type(edit, QString::fromLatin1(typed));
            QCOMPARE(edit->text(), QString::fromLatin1(typed));
            QVERIFY(shown.sink.Messages().empty());
            if (tab)
                QTest::keyClick(edit, Qt::Key_Tab);
            else
                QTest::mouseClick(shown.pane.PlayBolButton(), Qt::LeftButton);
            QCoreApplication::processEvents();
            QCOMPARE(Texts(shown.sink), std::vector<std::string>(static_cast<std::size_t>(messages),
                                                                 "Enter a number."));
            if (messages == 0) {
                shown.pane.OnApply();
                QCOMPARE(shown.pane.EditedBol().pitch.emphasis, -5.0f);
            }
        }
    }

    // Squeezed to its share of a small screen, the form scrolls: every
    // control keeps its own size and can be brought into view.
    void squeezedFormScrolls() {
        RecordingMessageSink sink;
        CBolPropertiesPane pane(sink);
        pane.setMinimumHeight(100);
        pane.resize(300, 160);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        auto* area = pane.findChild<QScrollArea*>();
        QVERIFY(area);
        QWidget* apply = pane.ApplyButton(); // the form's last control
        const QRect place(apply->mapTo(area->widget(), QPoint()), apply->size());
        area->ensureVisible(place.center().x(), place.center().y(), place.width() / 2 + 1,
                            place.height() / 2 + 1);
        QVERIFY(apply->height() >= apply->minimumSizeHint().height());
        QCOMPARE(apply->visibleRegion().boundingRect().size(), apply->size());
    }

    void formFollowsTheGridThroughEdits() {
        for (const char* steps : {"3dur", "3d2d1d0d", "2cu"})
            FollowThroughEdits(QString::fromLatin1(steps));
    }
    // --- The Taal browser -----------------------------------------------

    // Every Taal under the root, by title; its menu's Open, Insert and Show
    // in File Manager.
    void listsEveryTaalUnderTheRoot() {
        QTemporaryDir dir;
        const QString folder = dir.path();
        for (const char* name : {"b.tal", "Example.tal", "notes.txt", "Sub/C.tal", "Old.tal/D.tal",
                                 "zz/deeper/E.TAL", "Sub/readme"}) {
            QFile file(folder + "/" + name);
            QDir().mkpath(QFileInfo(file).absolutePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        AppSettings settings{folder, 0, DefaultKitChoice(), {}};
        FakeShell fake;
        const ShellServices shell = fake.Services();
        RecordingMessageSink sink;
        CTaalTree tree(settings, shell, sink);
        QTreeWidgetItem* root = tree.RootItem();
        QCOMPARE(root->text(0), QStringLiteral("All Taals"));
        QCOMPARE(Titles(root), QStringList({"b", "Example", "D", "C", "E"}));
        const QString path = QDir(folder).absoluteFilePath("Sub/C.tal");
        QCOMPARE(tree.PathOf(root->child(3)), path);

        QSignalSpy opened(&tree, &CTaalTree::openRequested);
        QSignalSpy inserted(&tree, &CTaalTree::insertRequested);
        std::unique_ptr<QMenu> menu(tree.ContextMenuFor(root->child(3)));
        for (QAction* action : menu->actions())
            action->trigger();
        QCOMPARE(opened.at(0).at(0).toString(), path);
        QCOMPARE(inserted.at(0).at(0).toString(), path);
        QCOMPARE(fake.filesShown, QStringList(path));
    }

    void defaultFolder() {
        QTemporaryDir work;
        QTemporaryDir program;
        const QString fallback = work.path() + "/Taals";
        QCOMPARE(DefaultTaalsFolder(work.path(), program.path()), fallback);
        QDir(program.path()).mkpath("share/lorvanta/Taals");
        QDir(program.path()).mkpath("bin");
        QCOMPARE(DefaultTaalsFolder(work.path(), program.path() + "/bin"),
                 QDir::cleanPath(program.path() + "/share/lorvanta/Taals"));
        QDir(work.path()).mkpath("Taals");
        QCOMPARE(DefaultTaalsFolder(work.path(), program.path() + "/bin"), fallback);
    }

    void doubleClickOpensThroughTheApplication() {
        AppFixture fixture;
        const QString folder = fixture.Path("Taals");
        QDir().mkpath(folder + "/Slow");
        WriteTaal(folder + "/Slow/Vilambit.tal", 72.0f);
        OpenUserSettings()->setValue(QString::fromLatin1(kTaalsFolderValue), folder);

        const auto app = fixture.Start();
        CMainFrame& frame = *app->MainFrame();
        CTaalTree& tree = *frame.GetTreeView();
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(Titles(tree.RootItem()), QStringList({"Vilambit"}));

        QTreeWidgetItem* item = tree.RootItem()->child(0);
        QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(item).center());
        QCOMPARE(QString::fromStdString(app->Document().PathName()),
                 QDir(folder).absoluteFilePath("Slow/Vilambit.tal"));
        QCOMPARE(frame.TempoBar()->TempoEdit()->text(), QStringLiteral("72.0000"));
        QVERIFY(fixture.sink.Messages().empty());
    }
};

QTEST_MAIN(BolPaneTest)
#include "BolPaneTest.moc"
