// Opening, saving and leaving documents, recent and dropped files, and the
// hand-over of a file to the running program.
#include "AppTestSupport.h"
#include "InstanceTestSupport.h"

#include "app/SingleInstance.h"
#include "persistence/TaalBytes.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/TaalTree.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>

#include <functional>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

// Taal file images, built as the reader's own tests build them.
std::vector<std::uint8_t> OneBol(float duration, std::uint32_t pitchId) {
    return OneBolFile(Bytes().BolHead("X", 0, duration).Sound().Sound("P", pitchId), duration);
}

std::vector<std::uint8_t> TwoBolFile(float tempo = 120.0f) {
    return Bytes()
        .Header()
        .Params(tempo)
        .TaalHead("Two", 2, 1.5f, 2)
        .ClassTag()
        .Bol("Dha", 0, 1.0f)
        .U16(0x8001)
        .Bol("Ta", 1, 0.5f)
        .Data();
}

// Drops local files on the main window, as the desktop does.
void Drop(CMainFrame* frame, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(600, 400), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(600, 400), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &drop);
}

// A server on a socket of the test's own, recording what it is handed.
struct RecordingServer {
    RecordingServer()
        : server([this](const QString& file) {
              files.append(file);
              return true;
          }) {
        name = dir.filePath(QStringLiteral("instance"));
    }
    QTemporaryDir dir;
    QString name;
    QStringList files;
    CInstanceServer server;
};

} // namespace

class DocumentTest : public QObject {
    Q_OBJECT

private slots:
    // Each kind of file the reader tells apart: bols and name, modified,
    // Save offered, and the reader's message.
    void openEachKindOfFile() {
        // Bytes, bols, name, Save offered, modified, message.
        using Case =
            std::tuple<std::vector<std::uint8_t>, int, const char*, bool, bool, const char*>;
        Bytes legacy;
        legacy.Append(LegacyRecord("Dha", "Open Ge", "Na")).Append(LegacyRecord("Ta", "", "Na"));
        // A vibhag record of a version not known, in the reserved block after
        // the header and the tempo.
        std::vector<std::uint8_t> vibhags = TwoBolFile();
        const std::uint8_t record[] = {'V', 'B', 'H', 'G', 9, 1, 2, 0, 'X'};
        std::copy(std::begin(record), std::end(record), vibhags.begin() + 8);
        const Case cases[] = {
            {TwoBolFile(), 2, "Two", false, false, ""},
            {legacy.Data(), 2, "file.tal", true, false, ""},
            {OneBol(12.0f, 0), 1, "T", false, false,
             "Error 38 occurred while reading file %1. Invalid Lorvanta file."},
            {OneBol(1.0f, 40), 1, "T", true, true,
             "Lorvanta encountered error 38 while reading file %1, but tried to repair the file. "
             "If the Taal plays properly, please save it before closing."},
            {vibhags, 2, "Two", false, false,
             "The vibhags stored in %1 cannot be read; the Taal opens without them. The stored "
             "record is kept as it is unless you set new vibhags in Taal Properties."},
        };
        for (const auto& [bytes, count, taalName, saveOffered, modified, message] : cases) {
            AppFixture fixture;
            const auto app = fixture.Start();
            const QString path = fixture.Write("file.tal", bytes);
            QVERIFY(app->OpenDocumentFile(path));
            const CLorvantaDoc& doc = app->Document();
            QCOMPARE(doc.Taal().Count(), count);
            QCOMPARE(doc.Taal().Name(), std::string(taalName));
            QCOMPARE(doc.IsModified(), modified);
            QCOMPARE(app->MainFrame()->Commands().Action(kCmdFileSave)->isEnabled(), saveOffered);
            QCOMPARE(app->MainFrame()->windowTitle(), QStringLiteral("file.tal[*] - Lorvanta"));
            QCOMPARE(
                Texts(fixture.sink),
                *message
                    ? std::vector<std::string>{QString::fromUtf8(message).arg(path).toStdString()}
                    : std::vector<std::string>{});
        }
    }

    // Save As writes the bytes read; a file that cannot be read leaves the
    // document as it was.
    void saveAsGivesTheSameBytesAndAnUnreadableFileChangesNothing() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        fixture.shell.saveFile = fixture.Path("copy");
        QVERIFY(app->OnFileSaveAs());
        QCOMPARE(AppFixture::Read(fixture.Path("copy.tal")),
                 AppFixture::Read(AppFixture::Teentaal()));
        const QString broken = fixture.Write("broken.tal", Bytes().Header().Params(100.0f).Data());
        QVERIFY(!app->OpenDocumentFile(broken));
        QCOMPARE(app->Document().Title(), std::string("copy.tal"));
    }

    // Saving over a file whose read failed a check asks first; No offers Save As.
    void savingOverAFileNotReadWholeAsks() {
        AppFixture fixture;
        const QString bad = fixture.Write("bad.tal", OneBol(12.0f, 12));
        const auto original = AppFixture::Read(bad);
        const auto app = fixture.Start({bad});
        fixture.sink.Clear();
        const std::string question = "This file was not read completely. Saving replaces it with "
                                     "what was read. Save anyway?";

        fixture.sink.Answer(MessageAnswer::No);
        fixture.shell.saveFile = QString(); // Save As cancelled
        QVERIFY(!app->OnFileSave());
        QCOMPARE(Texts(fixture.sink), std::vector<std::string>{question});
        QCOMPARE(fixture.shell.suggestedSaveNames.size(), 1);
        QCOMPARE(AppFixture::Read(bad), original);
    }

    void modifiedTaalIsOfferedForSaving() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        app->Document().SetModified(true);
        frame.UpdateCommandUI();
        QVERIFY(frame.isWindowModified());

        fixture.sink.Answer(MessageAnswer::Cancel);
        app->OnFileNew();
        QCOMPARE(app->Document().Taal().Count(), 16);
        QCOMPARE(Texts(fixture.sink), std::vector<std::string>{"Save changes to Teentaal.tal?"});
        fixture.sink.Answer(MessageAnswer::Cancel);
        QVERIFY(!frame.close());

        fixture.sink.Answer(MessageAnswer::No);
        app->OnFileNew();
        QVERIFY(app->Document().IsEmpty());

        // Yes saves first: into a file of its own here.
        const QString copy = fixture.Path("kept.tal");
        QFile::copy(AppFixture::Teentaal(), copy);
        QVERIFY(app->OpenDocumentFile(copy));
        app->Document().Taal().SetName("Changed");
        app->Document().SetModified(true);
        fixture.sink.Answer(MessageAnswer::Yes);
        QVERIFY(frame.close());
        QVERIFY(AppFixture::Read(copy) != AppFixture::Read(AppFixture::Teentaal()));
    }

    void recentFiles() {
        AppFixture fixture;
        QStringList paths;
        for (int i = 0; i < 5; ++i)
            paths << fixture.Write(QStringLiteral("t%1.tal").arg(i), TwoBolFile());
        {
            const auto app = fixture.Start();
            for (const QString& path : paths)
                QVERIFY(app->OpenDocumentFile(path));
            QVERIFY(app->OpenDocumentFile(paths[2]));
            QCOMPARE(app->RecentFiles().Files(),
                     (QStringList{paths[2], paths[4], paths[3], paths[1]}));
        }
        // Kept in the application's settings.
        const auto app = fixture.Start();
        QCOMPARE(app->RecentFiles().Files().size(), 4);
        QCOMPARE(app->RecentFiles().MenuText(0), QStringLiteral("&1 ") + paths[2]);

        app->OnOpenRecentFile(1);
        QCOMPARE(app->Document().PathName(), paths[4].toStdString());
        // A file gone since is reported and dropped from the list.
        QFile::remove(paths[3]);
        app->OnOpenRecentFile(2);
        QCOMPARE(fixture.sink.Messages().size(), std::size_t{1});
        QVERIFY(!app->RecentFiles().Files().contains(paths[3]));
    }

    // Every way of creating or opening a document drops an open name editor:
    // its text belonged to the Taal that is gone.
    void newOrOpenedDocumentDiscardsTheNameEditor() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame* frame = app->MainFrame();
        CLorvantaView& view = *frame->GetGridView();
        fixture.shell.openFile = AppFixture::Teentaal();
        const std::pair<const char*, std::function<void()>> ways[] = {
            {"New", [&] { app->OnFileNew(); }},
            {"Open", [&] { app->OnFileOpen(); }},
            {"recent file", [&] { app->OnOpenRecentFile(0); }},
            {"tree", [&] { emit frame->GetTreeView()->openRequested(AppFixture::Teentaal()); }},
            {"dropped", [&] { Drop(frame, AppFixture::Teentaal()); }},
        };
        for (const auto& [way, run] : ways) {
            view.BeginNameEdit();
            view.NameEditor()->setText(QStringLiteral("Typed"));
            run();
            QVERIFY2(!view.NameEditor(), way);
            QVERIFY2(!view.Editor().CanUndo(), way);
        }
    }

    // --- One program per user -------------------------------------------

    // The socket file a killed program left, nobody behind it, is replaced.
    void runningProgramTakesTheFile() {
        RecordingServer running;
        QFile stale(running.name);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY(running.server.Listen(running.name));
        QVERIFY(Send(running.name, QStringLiteral("/music/Tîntaal 2.tal")));
        QTRY_COMPARE(running.files.size(), 1);
        QVERIFY(Send(running.name, QString()));
        QTRY_COMPARE(running.files,
                     (QStringList{QStringLiteral("/music/Tîntaal 2.tal"), QString()}));
        // One listener per socket; nobody listening is no delivery.
        CInstanceServer second([](const QString&) { return true; });
        QVERIFY(!second.Listen(running.name));
        QVERIFY(!Send(running.dir.filePath(QStringLiteral("none")), QStringLiteral("/a.tal"), 500));
    }

    void malformedRequestsAreDropped() {
        RecordingServer running;
        QVERIFY(running.server.Listen(running.name));
        const QByteArray bad[] = {
            "hello\n",
            "open\trelative/Teentaal.tal\n",
            QByteArray("open\t/a\0b.tal\n", 14),
            QByteArray(CInstanceServer::kMaxRequest + 10, 'x'),
            QByteArray(CInstanceServer::kMaxRequest, '/').prepend("open\t").append('\n'),
        };
        for (const QByteArray& request : bad)
            QCOMPARE(SendRaw(running.name, request), QByteArray());
        QTest::qWait(50);
        QVERIFY(running.files.isEmpty());

        // The server goes on serving; the raise waiting with a file is done
        // by opening it.
        QCOMPARE(SendRaw(running.name, "raise\nopen\t/b.tal\n"), QByteArray("ok\nok\n"));
        QTRY_COMPARE(running.files, (QStringList{QStringLiteral("/b.tal")}));
    }

    void whatANewStartHandsOver() {
        const auto handOver = [](QStringList arguments) {
            arguments.prepend(QStringLiteral("lorvanta"));
            return FileToHandOver(arguments);
        };
        QCOMPARE(handOver({}), std::optional<QString>(QString()));
        QCOMPARE(handOver({QStringLiteral("Taals/Dadra.tal")}),
                 std::optional<QString>(QDir::current().absoluteFilePath("Taals/Dadra.tal")));
        QCOMPARE(handOver({QStringLiteral("--new-instance"), QStringLiteral("/a.tal")}),
                 std::nullopt);
        QCOMPARE(handOver({QStringLiteral("/a.tal"), QStringLiteral("/b.tal")}), std::nullopt);
    }

    void handedFileOpensAsOpenWould() {
        AppFixture fixture;
        const auto app = fixture.Start();
        CInstanceServer server(
            [&app](const QString& file) { return OpenInRunningProgram(*app, file); });
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("instance"));
        QVERIFY(server.Listen(name));

        // The running program's Taal has changes: it asks first, and Cancel
        // keeps it.
        app->Document().SetModified(true);
        fixture.sink.Answer(MessageAnswer::Cancel);
        QVERIFY(Send(name, AppFixture::Teentaal()));
        QTRY_COMPARE(Texts(fixture.sink), std::vector<std::string>{"Save changes to New Taal?"});
        QVERIFY(app->Document().IsEmpty());

        fixture.sink.Answer(MessageAnswer::No);
        QVERIFY(Send(name, AppFixture::Teentaal()));
        QTRY_COMPARE(app->Document().Taal().Count(), 16);
    }
};

QTEST_MAIN(DocumentTest)
#include "DocumentTest.moc"
