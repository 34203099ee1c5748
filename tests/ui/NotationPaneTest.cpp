// The notation pane: the text it shows, Apply with its questions and the undo
// record it leaves, and the blue highlight of selected bols.
#include "AppTestSupport.h"

#include "audio/SampleBank.h"
#include "model/BolDictionary.h"
#include "model/LorvantaDoc.h"
#include "session/LorvantaSession.h"
#include "ui/panes/TaalTextView.h"

#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

// What the rest of the window hears of an Apply.
struct ReplacedSpy : EditorObserver {
    QStringList calls;
    const CLorvantaDoc* doc = nullptr;
    void OnTaalReplaced(TaalReplacement) override {
        calls << QStringLiteral("replaced %1").arg(doc->Taal().Count());
    }
};

std::string Text(const CTaalTextView& pane) {
    return pane.TextControl()->toPlainText().toStdString();
}

void SetText(CTaalTextView& pane, const char* text) {
    pane.TextControl()->setPlainText(QString::fromUtf8(text));
}

// The runs of characters that show blue, as "start-end" with the end
// excluded.
QString BlueRuns(const CTaalTextView& pane) {
    QStringList runs;
    QTextCursor cursor(pane.TextControl()->document());
    const int length = pane.TextControl()->document()->characterCount() - 1;
    for (int i = 0, start = -1; i <= length; ++i) {
        cursor.setPosition(std::min(i + 1, length));
        const bool blue = i < length && cursor.charFormat().foreground().color() ==
                                            CTaalTextView::HighlightColour();
        if (blue && start < 0)
            start = i;
        if (!blue && start >= 0) {
            runs << QStringLiteral("%1-%2").arg(start).arg(i);
            start = -1;
        }
    }
    return runs.join(QLatin1Char(' '));
}

} // namespace

class NotationPaneTest : public QObject {
    Q_OBJECT

    struct Fixture {
        RecordingMessageSink sink;
        CSampleBank bank;
        CLorvantaSession session{bank, sink, OpenChosenOutput};
        CLorvantaDoc& doc = session.Document();
        ReplacedSpy grid;
        Subscription gridSubscription;
        CTaalTextView pane{sink};
        explicit Fixture(MessageAnswer reply = MessageAnswer::Ok) : sink(reply) {
            doc.Taal().SetName("Teentaal");
            for (const char* name : {"Na", "Tin", "Tin", "Ge"}) {
                const CBol2 bol(name, 0, 1.0f, Tabla);
                doc.InsertBol(doc.Taal().Count() - 1, &bol);
            }
            doc.SetModified(false);
            session.OnInitialUpdate();
            grid.doc = &doc;
            gridSubscription = session.Editor().Subscribe(grid);
            pane.SetSession(&session);
            QObject::connect(&pane, &CTaalTextView::taalApplied, [this] { grid.calls << "focus"; });
        }
    };

private slots:
    void initTestCase() { LoadBolTable("/nonexistent folder/Tabla Bols.txt"); }

    void showsTheWrittenTaalOrTheHint() {
        Fixture f;
        QCOMPARE(Text(f.pane), std::string("Tabla: Na [1.00] | Tin | Tin | Ge"));

        CLorvantaDoc empty;
        f.pane.SetDocument(&empty);
        QCOMPARE(Text(f.pane), std::string(kNotationHintText));
        // Apply on the hint adds nothing.
        QVERIFY(!f.pane.ApplyText());
    }

    void applyReplacesTheTaalAsOneUndoableStep() {
        Fixture f;
        const char* typed = "Na | tin [0.5]+ |  Dha";
        SetText(f.pane, typed);
        QVERIFY(f.pane.ApplyText());

        QCOMPARE(f.doc.Taal().Count(), 3);

        QCOMPARE(f.grid.calls, QStringList({"replaced 3", "focus"}));
        QCOMPARE(f.session.Editor().Lists().UndoList().front()->taal.Count(), 4);

        // The text stays as typed and its ranges are those of the typed text.
        QCOMPARE(Text(f.pane), std::string(typed));
        QCOMPARE(f.pane.BolRanges(), AppliedTextRanges(typed));
    }

    // No leaves the grid alone; Yes stops playing, then applies.
    void applyWhilePlayingAsksFirst() {
        for (const MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
            Fixture f(answer);
            f.session.Play();
            SetText(f.pane, "Na | Ge");
            QCOMPARE(f.pane.ApplyText(), answer == MessageAnswer::Yes);
            QCOMPARE(f.session.IsPlaying(), answer == MessageAnswer::No);
            QCOMPARE(f.sink.Messages().at(0).text,
                     std::string("To continue, you must stop the currently playing "
                                 "Taal. Do you want to stop the playing Taal?"));
            QCOMPARE(f.doc.Taal().Count(), answer == MessageAnswer::Yes ? 2 : 4);
        }
    }

    void badTextAsksToRetryOrReverts() {
        Fixture retry(MessageAnswer::Retry);
        SetText(retry.pane, "Na | Ta [20] | Ge");
        QVERIFY(!retry.pane.ApplyText());
        QCOMPARE(Texts(retry.sink),
                 (std::vector<std::string>{"Error in taal at bol no 2, bol: Ta [20]",
                                           "Error in Taal entered. Would you like to retry?"}));
        QCOMPARE(Text(retry.pane), std::string("Na | Ta [20] | Ge"));
        QVERIFY(retry.grid.calls.isEmpty());

        Fixture cancel(MessageAnswer::Cancel);
        SetText(cancel.pane, "Na [0.5");
        QVERIFY(!cancel.pane.ApplyText());
        QCOMPARE(Text(cancel.pane), std::string("Tabla: Na [1.00] | Tin | Tin | Ge"));
    }

    void selectedBolsShowBlue() {
        Fixture f;
        // "Tabla: Na [1.00] | Tin | Tin | Ge"
        f.pane.HighlightBol(1, true);
        QCOMPARE(BlueRuns(f.pane), QStringLiteral("19-22"));
        f.pane.HighlightBol(3, false);
        QCOMPARE(BlueRuns(f.pane), QStringLiteral("19-22 31-33"));
        f.pane.HighlightBol(1, false); // selected twice: black again
        QCOMPARE(BlueRuns(f.pane), QStringLiteral("31-33"));
        // Non-ASCII names take two bytes a character; the control counts characters.
        const char* typed = "Dhā ||  Nā+ | Ge";
        SetText(f.pane, typed);
        QVERIFY(f.pane.ApplyText());
        f.pane.HighlightBol(2, true);
        QCOMPARE(BlueRuns(f.pane), QStringLiteral("6-11")); // to the blank before "|"
    }
};

QTEST_MAIN(NotationPaneTest)
#include "NotationPaneTest.moc"
