// Editing in the window, the Taal Properties and Expand dialogs, the clipboard
// in one process, Merge Taal and Save Sound.
#include "AppTestSupport.h"

#include "app/MergeTaal.h"
#include "app/SoundExport.h"
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "model/Action.h"
#include "model/Vibhags.h"
#include "persistence/TaalFile.h"
#include "session/LorvantaSession.h"
#include "ui/QtBolClipboard.h"
#include "ui/dialogs/TaalPropertiesDialog.h"
#include "ui/grid/LorvantaView.h"

#include <QAction>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>

#include <sndfile.h>

using namespace lorvanta;
using namespace lorvanta::test;

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

// A shipped Taal opened headless, with its editor and its rendered image.
struct Session {
    explicit Session(const char* taal = "Teentaal.tal") {
        OpenTaalFile(doc, QFile::encodeName(TaalPath(taal)).toStdString(), sink);
        sink.Clear();
        renderer.SetTempo(0.6f);
        headless.OnInitialUpdate();
    }
    // A sound file chooser that records what it was offered.
    SoundFileChooser Chooser(const QString& answer) {
        return [this, answer](QWidget*, const QString& suggested) {
            offered.append(suggested);
            return answer;
        };
    }
    RecordingMessageSink sink;
    CSampleBank bank;
    CLorvantaSession headless{bank, sink, nullptr};
    CLorvantaDoc& doc = headless.Document();
    CTaalEditor& editor = headless.Editor();
    CTaalRenderer& renderer = headless.Renderer();
    QStringList offered;
};

// A sound file's format, rate and the frames that read back.
std::tuple<int, int, sf_count_t> ReadBack(const QString& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<short> samples(static_cast<std::size_t>(info.frames));
    const sf_count_t read = sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    return {info.format & SF_FORMAT_TYPEMASK, info.samplerate, read};
}

} // namespace

class EditCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QGuiApplication::clipboard()->clear(); }

    // --- In the window --------------------------------------------------

    // Which command is on in which state is the editor's rule, tested with
    // it; here its answers reach the actions, Paste follows the clipboard,
    // and the commands reach the editor.
    void enablingFollowsTheEditorAndCommandsReachIt() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        CTaalEditor& editor = frame.GetGridView()->Editor();
        const auto on = [&frame](int id) { return frame.Commands().Action(id)->isEnabled(); };
        // Copy puts two bols on the clipboard and Paste is on at once; text
        // put there by anyone else turns it off at once.
        editor.SelectBol(3, true);
        editor.SelectBol(5, false);
        frame.Commands().Action(kCmdEditCopy)->trigger();
        QVERIFY(on(kCmdEditPaste) && !on(kCmdEditInsert) && !on(kCmdEditUndo));
        QGuiApplication::clipboard()->setText(QStringLiteral("text"));
        QVERIFY(!on(kCmdEditPaste));
        frame.Commands().Action(kCmdEditClearAll)->trigger();
        QVERIFY(on(kCmdEditUndo) && !on(kCmdFileSaveSound) && !on(kCmdEditSelectAll));

        // Each command reaches the editor.
        const CTaal& taal = app->Document().Taal();
        const auto trigger = [&](int id) { frame.Commands().Action(id)->trigger(); };
        trigger(kCmdEditUndo);
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
        QCOMPARE(Texts(fixture.sink),
                 std::vector<std::string>{"A bol lasts from 0.001 to 10 beats."});
    }

    // Taal Properties shows the Taal's name and vibhags; OK records name, tempo
    // and vibhags as one step. Merge Taal reaches its function.
    void dialogsComeFirst() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        CLorvantaDoc& doc = app->Document();
        QString shownName, shownVibhags;
        QTimer::singleShot(0, [&] {
            auto& dialog = *qobject_cast<CTaalProperties*>(QApplication::activeModalWidget());
            shownName = dialog.NameEdit()->text();
            shownVibhags = dialog.VibhagsEdit()->text();
            dialog.NameEdit()->setText(QStringLiteral("Teentaal fast"));
            dialog.TempoEdit()->setText(QStringLiteral("240"));
            dialog.VibhagsEdit()->setText(QStringLiteral("X:8 0:8"));
            dialog.OkButton()->click();
        });
        frame.Commands().Action(kCmdTaalProperties)->trigger();
        QCOMPARE(shownName, QStringLiteral("Teentaal"));
        QCOMPARE(shownVibhags, QStringLiteral("X:4 2:4 0:4 3:4"));
        QCOMPARE(doc.Taal().Name(), std::string("Teentaal fast"));
        QCOMPARE(doc.DefaultTempo(), 240.0f);
        QCOMPARE(FormatVibhags(VibhagsToShow(doc.Params(), doc.Taal().Total()).vibhags),
                 std::string("X:8 0:8"));
        QCOMPARE(frame.GetGridView()->Editor().Lists().UndoList().size(), std::size_t{1});

        fixture.shell.openFile = TaalPath("Dadra.tal");
        frame.Commands().Action(kCmdFileMergeTaal)->trigger();
        QVERIFY(doc.Taal().Count() > 16);
        QVERIFY(fixture.sink.Messages().empty());
    }

    void exitEmptiesTheClipboardOnlyWhileItHoldsOurBols() {
        AppFixture fixture;
        QClipboard* clipboard = QGuiApplication::clipboard();
        const QString bolType = QString::fromLatin1(QtBolClipboard::kMimeType);
        for (const bool replaced : {false, true}) {
            {
                const auto app = fixture.Start({AppFixture::Teentaal()});
                app->MainFrame()->GetGridView()->Editor().SelectBol(0, true);
                app->MainFrame()->Commands().Action(kCmdEditCopy)->trigger();
                QVERIFY(clipboard->mimeData()->hasFormat(bolType));
                if (replaced)
                    clipboard->setText(QStringLiteral("copied elsewhere"));
            }
            if (replaced)
                QCOMPARE(clipboard->text(), QStringLiteral("copied elsewhere"));
            else
                QVERIFY(!clipboard->mimeData() || !clipboard->mimeData()->hasFormat(bolType));
        }
    }

    // --- The dialogs and the clipboard adapter --------------------------

    // A refused value keeps the dialog open with the range's message and
    // keeps what the dialog held; the highest tempo and lowest multiplier
    // are taken.
    void dialogRanges() {
        RecordingMessageSink sink;
        CTaalProperties properties(QStringLiteral("Dadra"), 80.0f, sink);
        properties.show();
        properties.TempoEdit()->setText(QStringLiteral("9.99"));
        properties.OkButton()->click();
        QVERIFY(properties.isVisible());
        QCOMPARE(properties.Tempo(), 80.0f);
        properties.TempoEdit()->setText(QStringLiteral("1000"));
        properties.OkButton()->click();
        QVERIFY(!properties.isVisible());
        QCOMPARE(properties.Tempo(), 1000.0f);

        CExpandDlg expand(sink);
        expand.show();
        expand.MultiplierEdit()->setText(QStringLiteral("12"));
        expand.OkButton()->click();
        QVERIFY(expand.isVisible());
        expand.MultiplierEdit()->setText(QStringLiteral("0.1"));
        expand.OkButton()->click();
        QVERIFY(!expand.isVisible());
        QCOMPARE(expand.Multiplier(), 0.1f);
        QCOMPARE(Texts(sink),
                 (std::vector<std::string>{
                     "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in bpm)",
                     "Multiplier must be between 0.1 and 10."}));
    }

    // The vibhags field: stored vibhags shown (with the note when the grid
    // cannot show them), left as shown they stay as stored; changed ones that
    // do not read or fit keep the dialog open with the reason.
    void vibhagField() {
        CTaalParams params;
        WriteVibhagRecord(params, {{2, 'X'}, {2, '0'}});
        // The Taal's length, what is typed ("=" leaves the field as shown),
        // the vibhags taken and the message.
        using Case = std::tuple<float, const char*, std::optional<std::string>, std::string>;
        const Case cases[] = {
            {4.0f, "=", std::nullopt, ""},
            {4.0f, "X:3 0:2", std::nullopt,
             "The vibhags add up to 5 beats, but the Taal is 4 beats long."},
            {4.0f, "X:2 0", std::nullopt, StatusText(VibhagStatus::BadText)},
            {4.0f, "", std::string(), ""},
            {5.0f, "=", std::nullopt, ""},
        };
        for (const auto& [length, typed, taken, message] : cases) {
            RecordingMessageSink sink;
            CTaalProperties dialog(QStringLiteral("Dadra"), 80.0f, sink);
            const ShownVibhags shown = VibhagsToShow(params, length);
            dialog.SetVibhags(shown, length);
            QCOMPARE(dialog.VibhagsEdit()->text(), QStringLiteral("X:2 0:2"));
            QCOMPARE(dialog.VibhagsNote()->isHidden(), length == 4.0f);
            QCOMPARE(dialog.VibhagsNote()->text().toStdString(), VibhagDisplayNote(shown, length));
            dialog.show();
            if (std::string_view(typed) != "=")
                dialog.VibhagsEdit()->setText(QString::fromLatin1(typed));
            dialog.OkButton()->click();
            QCOMPARE(dialog.isVisible(), !message.empty());
            QCOMPARE(dialog.Vibhags(), taken);
            QCOMPARE(Texts(sink), message.empty() ? std::vector<std::string>{}
                                                  : std::vector<std::string>{message});
        }
    }

    void clipboardRoundTripInProcess() {
        QtBolClipboard clipboard;
        const std::vector<std::uint8_t> payload{1, 0, 0, 0, 0xFF, 0xFF, 0, 0, 5, 0, 'C', 0};
        QVERIFY(clipboard.Put(payload));
        QCOMPARE(clipboard.Get(), payload);
        // Under the registered format's name, and nothing else: no text form.
        QCOMPARE(
            QGuiApplication::clipboard()->mimeData()->formats(),
            QStringList{QStringLiteral("application/x-qt-windows-mime;value=\"Lorvanta Bol\"")});
    }

    // --- Merge Taal -----------------------------------------------------

    // Another file's bols, every field as in the file, go in front of the
    // selection as one insert, the last one selected; Undo gives the Taal
    // back byte for byte.
    void mergeInsertsInFrontOfTheSelectionAsOneStep() {
        Session session("Dadra.tal");
        const std::vector<std::uint8_t> before = WriteTaalDocument(session.doc);
        const std::vector<std::string> dadra = Names(session.doc.Taal());
        Session keherwa("Keherwa.tal");
        const std::vector<std::string> merged = Names(keherwa.doc.Taal());

        session.editor.SelectBol(2, true);
        const TaalFileChooser choose = [&](QWidget*) { return TaalPath("Keherwa.tal"); };
        QCOMPARE(MergeTaal(session.editor, session.sink, choose), int(merged.size()));
        QVERIFY(session.sink.Messages().empty());
        std::vector<std::string> expected(dadra.begin(), dadra.begin() + 2);
        expected.insert(expected.end(), merged.begin(), merged.end());
        expected.insert(expected.end(), dadra.begin() + 2, dadra.end());
        QCOMPARE(Names(session.doc.Taal()), expected);
        for (std::size_t i = 0; i < merged.size(); ++i) {
            CBol2 inserted = *session.doc.Taal().BolAt(static_cast<int>(2 + i));
            inserted.index = static_cast<std::uint32_t>(i);
            QVERIFY(inserted == *keherwa.doc.Taal().BolAt(static_cast<int>(i)));
        }
        QCOMPARE(session.editor.SelectedIndices(),
                 std::vector<int>{static_cast<int>(1 + merged.size())});
        QCOMPARE(session.editor.Lists().UndoList().size(), std::size_t{1});
        session.editor.Undo();
        QCOMPARE(WriteTaalDocument(session.doc), before);
    }

    // A file that ends inside its header gives Open's message; a Taal with no
    // bols and a cancelled file dialog add no step.
    void mergeOfNothingChangesNothing() {
        AppFixture dir;
        Session session("Dadra.tal");
        const std::vector<std::uint8_t> before = WriteTaalDocument(session.doc);
        const std::uint8_t header[] = {0xaa, 0xaa, 0x04, 0x00};
        QCOMPARE(MergeTaalFile(session.editor, session.sink, dir.Write("bad.tal", header)), 0);
        QCOMPARE(session.sink.Messages().size(), std::size_t{1});

        CLorvantaDoc empty;
        SaveFailure error;
        const QString emptyPath = dir.Path(QStringLiteral("empty.tal"));
        QVERIFY(SaveTaalFile(empty, QFile::encodeName(emptyPath).toStdString(), error));
        QCOMPARE(MergeTaalFile(session.editor, session.sink, emptyPath), 0);
        QCOMPARE(MergeTaal(session.editor, session.sink, [](QWidget*) { return QString(); }), 0);
        QCOMPARE(WriteTaalDocument(session.doc), before);
        QVERIFY(!session.editor.CanUndo());
    }

    // --- Save Sound -----------------------------------------------------

    // Sound files other programs play, at the tempo in force.
    void soundFiles() {
        QTemporaryDir dir;
        Session session;
        // 120 bpm: every bol's slot shrinks, the file follows.
        session.renderer.SetTempo(0.5f);
        const QString wav = dir.filePath(QStringLiteral("teen.wav"));
        QVERIFY(SaveSound(session.doc, session.renderer, session.sink, session.Chooser(wav)));
        QCOMPARE(session.offered, QStringList{TaalPath("Teentaal.wav")});
        // 16 beats at 120 bpm, at 44.1 kHz unless 48 kHz is chosen.
        QCOMPARE(ReadBack(wav), std::tuple(SF_FORMAT_WAV, 44100, sf_count_t{16 * 22050}));
        QCOMPARE(QFileInfo(wav).size(), qint64{44 + 2 * 16 * 22050});
        const QString flac = dir.filePath(QStringLiteral("teen48.flac"));
        QVERIFY(SaveSound(session.doc, session.renderer, session.sink,
                          [&](QWidget*, const QString&) { return SoundFileChoice(flac, 48000); }));
        QCOMPARE(ReadBack(flac), std::tuple(SF_FORMAT_FLAC, 48000, sf_count_t{16 * 24000}));
        QVERIFY(session.sink.Messages().empty());

        // A format by an unknown extension: the reason, and no file.
        const QString mp3 = dir.filePath(QStringLiteral("teen.mp3"));
        QVERIFY(!SaveSound(session.doc, session.renderer, session.sink, session.Chooser(mp3)));
        QVERIFY(QString::fromStdString(session.sink.Messages().at(0).text)
                    .startsWith(QStringLiteral("Cannot write sound file ") + mp3));
        QVERIFY(!QFileInfo::exists(mp3));

        // An empty Taal: disabled, and not even a file name is asked for.
        session.doc.DeleteContents();
        session.doc.SetEmpty(true);
        QVERIFY(!CanSaveSound(session.doc));
        session.offered.clear();
        QVERIFY(!SaveSound(session.doc, session.renderer, session.sink,
                           session.Chooser(QStringLiteral("/tmp/x.wav"))));
        QVERIFY(session.offered.isEmpty());
    }
};

QTEST_MAIN(EditCommandsTest)
#include "EditCommandsTest.moc"
