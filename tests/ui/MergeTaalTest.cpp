// File > Merge Taal: another Taal file's bols inserted at the selection as one
// undoable insert, read problems reported as Open reports them.
#include "app/MergeTaal.h"
#include "model/Action.h"
#include "model/Bol.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "session/TaalEditor.h"
#include "persistence/TaalFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace lorvanta;

namespace {

QString TaalPath(const char* name) {
    return QStringLiteral(LORVANTA_SOURCE_DIR "/Taals/") + QString::fromLatin1(name);
}

std::vector<std::string> Names(const CTaal& taal) {
    std::vector<std::string> names;
    for (const auto& bol : taal.Bols())
        names.push_back(bol->name);
    return names;
}

// A document opened from a shipped Taal with its editor, headless.
struct Session {
    explicit Session(const char* taal) {
        OpenTaalFile(doc, QFile::encodeName(TaalPath(taal)).toStdString(), sink);
        editor.Reset();
        sink.Clear();
    }
    RecordingMessageSink sink;
    CLorvantaDoc doc;
    EditorHost host;
    CTaalEditor editor{doc, sink, host};
};

} // namespace

class MergeTaalTest : public QObject {
    Q_OBJECT

private slots:
    void insertsInFrontOfSelectionAsOneUndoStep() {
        Session session("Dadra.tal");
        const std::vector<std::uint8_t> before = WriteTaalDocument(session.doc);
        const std::vector<std::string> dadra = Names(session.doc.Taal());
        CLorvantaDoc keherwaDoc;
        OpenTaalFile(keherwaDoc, QFile::encodeName(TaalPath("Keherwa.tal")).toStdString(),
                     session.sink);
        const std::vector<std::string> keherwa = Names(keherwaDoc.Taal());
        session.sink.Clear();

        session.editor.SelectBol(2, true);
        const TaalFileChooser choose = [&](QWidget*) { return TaalPath("Keherwa.tal"); };
        QCOMPARE(MergeTaal(session.editor, session.sink, choose), int(keherwa.size()));
        QVERIFY(session.sink.Messages().empty());

        // In front of bol 2, every field as in the file, the last one selected.
        std::vector<std::string> expected(dadra.begin(), dadra.begin() + 2);
        expected.insert(expected.end(), keherwa.begin(), keherwa.end());
        expected.insert(expected.end(), dadra.begin() + 2, dadra.end());
        QCOMPARE(Names(session.doc.Taal()), expected);
        for (std::size_t i = 0; i < keherwa.size(); ++i) {
            CBol2 inserted = *session.doc.Taal().BolAt(static_cast<int>(2 + i));
            inserted.index = static_cast<std::uint32_t>(i);
            QVERIFY(inserted == *keherwaDoc.Taal().BolAt(static_cast<int>(i)));
        }
        QCOMPARE(session.editor.SelectedIndices(),
                 std::vector<int>{static_cast<int>(1 + keherwa.size())});

        // One insert on the undo list; Undo gives the Taal back byte for byte.
        const UndoLists& lists = session.editor.Lists();
        QCOMPARE(lists.UndoList().size(), std::size_t{1});
        session.editor.Undo();
        QCOMPARE(WriteTaalDocument(session.doc), before);
    }

    void unreadableOrEmptyFilesChangeNothing() {
        QTemporaryDir dir;
        Session session("Dadra.tal");
        const std::vector<std::uint8_t> before = WriteTaalDocument(session.doc);

        // A Taal file that ends inside its header: Open's message, nothing
        // inserted, nothing recorded.
        const QString bad = dir.filePath(QStringLiteral("bad.tal"));
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("aaaa0400"));
        file.close();
        QCOMPARE(MergeTaalFile(session.editor, session.sink, bad), 0);
        QCOMPARE(session.sink.Messages().size(), std::size_t{1});

        // A Taal with no bols adds no empty step.
        session.sink.Clear();
        CLorvantaDoc empty;
        empty.Taal().SetName("Nothing");
        SaveFailure error;
        const QString emptyPath = dir.filePath(QStringLiteral("empty.tal"));
        QVERIFY(SaveTaalFile(empty, QFile::encodeName(emptyPath).toStdString(), error));
        QCOMPARE(MergeTaalFile(session.editor, session.sink, emptyPath), 0);

        // Cancelling the file dialog.
        QCOMPARE(MergeTaal(session.editor, session.sink, [](QWidget*) { return QString(); }), 0);
        QCOMPARE(WriteTaalDocument(session.doc), before);
        QVERIFY(!session.editor.CanUndo());
    }
};

QTEST_MAIN(MergeTaalTest)
#include "MergeTaalTest.moc"
