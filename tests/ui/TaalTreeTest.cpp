// The Taal browser: the tree over a folder (nested folders, titles, order, a
// missing folder, refresh after the setting changes), its context menu, and
// opening a Taal from it through the application; the default Taals folder;
// the bol properties pane's Apply and Play Bol reaching the grid in the window.
#include "AppTestSupport.h"

#include "app/AppSettings.h"
#include "session/TaalEditor.h"
#include "persistence/TaalFile.h"
#include "ui/bars/TempoCtrlBar.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/BolPropertiesPane.h"
#include "ui/panes/NumEdit.h"
#include "ui/panes/TaalTree.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

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

} // namespace

class TaalTreeTest : public QObject {
    Q_OBJECT

private slots:
    void listsEveryTaalUnderTheRoot() {
        QTemporaryDir dir;
        const QString folder = dir.path();
        for (const char* name : {"b.tal", "Example.tal", "notes.txt", "Sub/C.tal", "Old.tal/D.tal",
                                 "zz/deeper/E.TAL", "Sub/readme"})
            Touch(folder + "/" + name);

        AppSettings settings{folder, 0};
        ShellServices shell;
        RecordingMessageSink sink;
        CTaalTree tree(settings, shell, sink);

        QTreeWidgetItem* root = tree.RootItem();
        QCOMPARE(root->text(0), QStringLiteral("All Taals"));
        QCOMPARE(Titles(root), QStringList({"b", "Example", "D", "C", "E"}));
        QCOMPARE(tree.PathOf(root->child(3)), QDir(folder).absoluteFilePath("Sub/C.tal"));
    }

    void contextMenuCommands() {
        QTemporaryDir dir;
        Touch(dir.filePath("Dadra.tal"));
        AppSettings settings{dir.path(), 0};
        FakeShell fake;
        const ShellServices shell = fake.Services();
        RecordingMessageSink sink;
        CTaalTree tree(settings, shell, sink);
        QSignalSpy opened(&tree, &CTaalTree::openRequested);
        QSignalSpy inserted(&tree, &CTaalTree::insertRequested);

        std::unique_ptr<QMenu> menu(tree.ContextMenuFor(tree.RootItem()->child(0)));
        const QList<QAction*> actions = menu->actions();

        const QString path = dir.filePath("Dadra.tal");
        actions.at(0)->trigger();
        actions.at(1)->trigger();
        actions.at(2)->trigger();
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

        // The grid's selection fills the form, numbered from 1.
        frame.GetGridView()->Editor().SelectBol(0, true);
        QCOMPARE(frame.GetBolPropertiesView()->BolNumber()->text(), QStringLiteral("1"));
        QVERIFY(fixture.sink.Messages().empty());
    }
};

QTEST_MAIN(TaalTreeTest)
#include "TaalTreeTest.moc"
