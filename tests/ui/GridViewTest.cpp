// The bol grid: its page geometry without a window (rows from the client
// width, cells along them, ruler rows, hit testing, the ruler strips a move
// of the playing position repaints, the beat display's rules); then as a
// window: what it draws and repaints, selection by mouse, keys and context
// menus, the in-place name editor, scrolling, and the playing position
// arriving from the playback thread.
#include "AppTestSupport.h"

#include "app/AppSettings.h"
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "model/LorvantaDoc.h"
#include "model/Taal.h"
#include "model/Vibhags.h"
#include "session/LorvantaSession.h"
#include "ui/grid/GridGeometry.h"
#include "ui/grid/LorvantaView.h"

#include <QPaintEvent>
#include <QScrollBar>
#include <QThread>

#include <algorithm>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

// Records the regions the viewport is asked to paint.
class PaintSpy : public QObject {
public:
    QList<QRegion> regions;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            regions << static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

VibhagList Vibhags(const char* text) {
    VibhagList vibhags;
    ParseVibhags(text, vibhags);
    return vibhags;
}

// A grid of bols of the given lengths, shown at the given size.
struct Grid {
    CSampleBank bank;
    RecordingMessageSink sink;
    AppSettings settings;
    CLorvantaSession session{bank, sink, OpenChosenOutput};
    CLorvantaDoc& doc = session.Document();
    std::unique_ptr<CLorvantaView> view;

    explicit Grid(const std::vector<float>& durations, QSize size = {850, 500},
                  const char* vibhags = "") {
        doc.Taal().SetName("Teentaal");
        for (float duration : durations) {
            const CBol2 bol("Na", 0, duration, Tabla);
            doc.InsertBol(doc.Taal().Count() - 1, &bol);
        }
        doc.SetEmpty(durations.empty());
        doc.SetModified(false);
        WriteVibhagRecord(doc.Params(), Vibhags(vibhags));
        view = std::make_unique<CLorvantaView>(session, sink, settings);
        view->resize(size);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        session.OnInitialUpdate();
        Flush();
    }

    QWidget* Page() const { return view->viewport(); }
    QPoint CellPoint(int index) const {
        return view->ToClient(view->GetBolView(index)->frame).center();
    }
    void Click(int index, Qt::KeyboardModifiers modifiers = {}) const {
        QTest::mouseClick(Page(), Qt::LeftButton, modifiers, CellPoint(index));
    }
    // Playing stopped at once: the position display stays, at a place the
    // test sets.
    void Pause() {
        session.Play();
        session.Pause();
        QVERIFY(session.IsPaused());
    }
};

void Fill(CTaal& taal, const std::vector<float>& durations) {
    taal.RemoveAll();
    for (float duration : durations)
        taal.Append(std::make_unique<CBol2>("Na", 0, duration));
}

PageRect Frame(const CGridLayout& layout, int index) {
    return layout.GetBolView(index)->frame;
}

CGridLayout LaidOut(const CTaal& taal, int width, const char* vibhags = "", bool byVibhag = false) {
    CGridLayout layout;
    layout.SetVibhags(Vibhags(vibhags), byVibhag);
    layout.CreateBolViews(taal.Count());
    layout.RecalcLayout(width, taal, -1);
    return layout;
}

// The rows as "first+beats ...".
QString Spans(const CGridLayout& layout) {
    QStringList spans;
    for (int k = 0; k < layout.RulerRowCount(); ++k)
        spans << QStringLiteral("%1+%2")
                     .arg(layout.RowSpan(k).firstBeat)
                     .arg(layout.RowSpan(k).beats);
    return spans.join(u' ');
}

// Everything a layout places, to tell two layouts apart.
std::vector<PageRect> Placed(const CGridLayout& layout) {
    std::vector<PageRect> placed;
    for (const CBolView& cell : layout.Cells())
        placed.push_back(cell.frame);
    for (int k = 0; k < layout.RulerRowCount(); ++k)
        placed.push_back(layout.RulerRowRect(k));
    placed.push_back({layout.BeatsPerRow(), layout.RowLeft(), layout.PageHeight(), 0});
    return placed;
}

std::vector<float> Beats(int count) {
    return std::vector<float>(static_cast<std::size_t>(count), 1.0f);
}

// Rows by vibhag as `rows`, and every cell placed over its beats.
void CheckRowsByVibhag(const std::vector<float>& durations, const char* vibhags, int width,
                       const char* rows) {
    CTaal taal;
    Fill(taal, durations);
    const CGridLayout layout = LaidOut(taal, width, vibhags, true);
    QVERIFY(layout.RowsByVibhag());
    QCOMPARE(Spans(layout), QString::fromLatin1(rows));
    // Each cell starts within its row's ruler, over the beat it starts on
    // (so the ruler under its left edge shows that beat), and cells on a
    // row follow one another without a gap.
    const int left = layout.RowLeft();
    double start = 0.0;
    for (int i = 0; i < taal.Count(); ++i) {
        const PageRect frame = Frame(layout, i);
        const RulerSpan span =
            layout.RowSpan((frame.bottom - grid::kFirstCellBottom) / grid::kRowPitch);
        QVERIFY2(start + 1e-3 >= span.firstBeat && start + 1e-3 < span.firstBeat + span.beats,
                 qPrintable(QString::number(i)));
        QCOMPARE(frame.left - left,
                 static_cast<int>(std::floor((start - span.firstBeat) * 100 + 0.1)));
        if (i > 0 && Frame(layout, i - 1).bottom == frame.bottom)
            QCOMPARE(Frame(layout, i - 1).right, frame.left);
        start += static_cast<double>(taal.BolAt(i)->duration);
    }
    QCOMPARE(layout.PageHeight(), Frame(layout, taal.Count() - 1).bottom + 25);
}

} // namespace

class GridViewTest : public QObject {
    Q_OBJECT

private slots:
    // --- The page geometry without a window ------------------------------

    void rowsFollowTheClientWidth() {
        CTaal taal;
        Fill(taal, {1.0f});
        for (const auto& [width, beats, left] :
             {std::tuple(0, 1, -50), {250, 2, 25}, {1045, 9, 72}}) {
            const CGridLayout layout = LaidOut(taal, width);
            QCOMPARE(layout.BeatsPerRow(), beats);
            QCOMPARE(Frame(layout, 0), (PageRect{left, 200, left + 100, 225}));
        }
    }

    void cellsAreWholePixelsAndMoveWholeToTheNextRow() {
        CTaal taal;
        // Thirds of a beat drift from the ticks: the fourth starts at L0 + 99.
        Fill(taal, {1.0f / 3, 1.0f / 3, 1.0f / 3, 1.0f, 1.0f, 1.0f, 2.0f});
        const CGridLayout thirds = LaidOut(taal, 450); // 4 beats from x 25 to 425
        QCOMPARE(Frame(thirds, 1), (PageRect{58, 200, 91, 225}));
        QCOMPARE(Frame(thirds, 3).left, 25 + 99);
        // The 2-beat bol would end at 624 > 425: it starts row 1, row 0 stays short.
        QCOMPARE(Frame(thirds, 5), (PageRect{324, 200, 424, 225}));
        QCOMPARE(Frame(thirds, 6), (PageRect{25, 310, 225, 335}));
        QCOMPARE(thirds.PageHeight(), 335 + 25);

        // A bol ending exactly at the row's end stays on the row.
        Fill(taal, {2.0f, 2.0f});
        QCOMPARE(Frame(LaidOut(taal, 450), 1), (PageRect{225, 200, 425, 225}));

        // A first bol wider than a row: row 0 keeps no cells, the cell sticks out.
        Fill(taal, {2.5f, 0.5f});
        const CGridLayout wide = LaidOut(taal, 200); // one beat, 50 to 150
        QCOMPARE(Frame(wide, 0), (PageRect{50, 310, 300, 335}));
        QCOMPARE(Frame(wide, 1), (PageRect{50, 420, 100, 445}));

        // An empty Taal: one ruler row, the page down to the first cell row.
        Fill(taal, {});
        const CGridLayout empty = LaidOut(taal, 450);
        QCOMPARE(empty.RulerRowCount(), 1);
        QCOMPARE(empty.PageHeight(), 250);
    }

    void layoutFromAnIndexKeepsTheCellsBefore() {
        CTaal taal;
        Fill(taal, {1.0f, 1.0f, 1.0f, 1.0f});
        CGridLayout layout = LaidOut(taal, 450);
        // Bol 1 grows; laying out after bol 1 leaves its old cell alone.
        taal.BolAt(1)->duration = 3.0f;
        taal.BolAt(2)->name = "Dha";
        layout.RecalcLayout(450, taal, 1);
        QCOMPARE(Frame(layout, 1), (PageRect{125, 200, 225, 225}));
        QCOMPARE(Frame(layout, 2), (PageRect{225, 200, 325, 225}));
        QCOMPARE(layout.GetBolView(2)->text, std::string("Dha"));
    }

    void hitTestingAndRulerRows() {
        CTaal taal;
        Fill(taal, {1.0f, 0.5f, 2.0f, 3.0f});
        const CGridLayout layout = LaidOut(taal, 450);
        QCOMPARE(layout.HitTest(25, 200), 0);
        QCOMPARE(layout.HitTest(125, 200), 1); // a right edge is the next cell's left
        QCOMPARE(layout.HitTest(124, 225), -1);
        QCOMPARE(layout.HitTest(375, 210), -1); // the rest of row 0 is empty
        QCOMPARE(layout.HitTest(100, 250), -1); // between the rows
        QCOMPARE(layout.HitTest(25, 310), 3);

        // Ruler rows count the Taal's beats, and grow with a long Taal.
        Fill(taal, Beats(16));
        QCOMPARE(LaidOut(taal, 750).RulerRowCount(), 3); // 7 beats a row
        QCOMPARE(LaidOut(taal, 850).RulerRowCount(), 2); // exactly 8 + 8
        CGridLayout rulers = LaidOut(taal, 750);
        QVERIFY(rulers.UpdateRulerRows(400.0f));
        QCOMPARE(rulers.RulerRowCount(), 58); // past the 50 rows made at first
    }

    void positionMovesRepaintOnlyWhatChanges() {
        // Onto the next row, or back to the start: every row at full width.
        const std::vector<PageRect> rows = ProgressRepaint(4.9f, 5.1f, 4, 25, 3);
        QCOMPARE(rows.size(), std::size_t{3});
        QCOMPARE(rows[2], (PageRect{23, 398, 427, 402}));
        // A row past the ruler (the cycle's very end) repaints nothing.
        QVERIFY(ProgressRepaint(17.0f, 17.5f, 16, 25, 1).empty());
        // Positions of a Taal whose stated length is absurd stay in range.
        QCOMPARE(ProgressRepaint(1.0f, 1e20f, 4, 25, 3).size(), std::size_t{3});
        QVERIFY(ProgressRepaint(-4.05e18f, -4.0e18f, 4, 25, 3).empty());
    }

    void beatDisplayRules() {
        QCOMPARE(BeatNumberColour(1, 1.0f), BeatColour::Blue); // middle rule wins
        QCOMPARE(BeatNumberColour(1, 16.0f), BeatColour::Red);
        QCOMPARE(BeatNumberColour(9, 17.5f), BeatColour::Blue);
        QCOMPARE(BeatNumberColour(5, 16.0f), BeatColour::Black);
        QCOMPARE(BeatNumberColour(1, -4.05e18f), BeatColour::Red);
        QCOMPARE(BeatNumberColour(5, 3e9f), BeatColour::Black);
        QCOMPARE(ShortBolName("Dhinna"), std::string("Dhin"));
        QCOMPARE(ShortBolName("D\xC3\xA4h\xC3\xA4na"), std::string("D\xC3\xA4h\xC3\xA4"));
    }

    // --- Rows by vibhag ---------------------------------------------------

    // Rows by vibhag for each Taal, vibhags and width: the rows as
    // "first+beats ...".
    void rowsByVibhag() {
        const char* teentaal = "X:4 2:4 0:4 3:4";
        // Thirds of a beat, and a bol of 1.5 from beat 2 across the vibhag
        // at 3: it stays whole on row 0, row 1's first cell is half a beat in.
        const float third = 1.0f / 3;
        const std::vector<float> fractions{0.5f, 0.5f, third, third, third, 1.5f, 0.5f, 1.0f, 1.0f};
        const std::tuple<std::vector<float>, const char*, int, const char*> cases[] = {
            {Beats(16), teentaal, 750, "0+4 4+4 8+4 12+4"},
            {Beats(16), teentaal, 1250, "0+8 8+8"}, // even halves
            {Beats(16), teentaal, 1750, "0+16"},
            {Beats(16), teentaal, 250, "0+2 2+2 4+2 6+2 8+2 10+2 12+2 14+2"}, // vibhags wrap
            {Beats(7), "0:3 1:2 2:2", 550, "0+3 3+4"},
            {Beats(10), "X:2 2:3 0:2 3:3", 750, "0+5 5+5"},
            {fractions, "X:3 0:3", 350, "0+3 3+3"},
            {fractions, "X:3 0:3", 950, "0+6"},
            // A vibhag wider than the page breaks where no bol crosses the
            // beat, but not before half the page.
            {{1.0f, 1.0f, 1.5f, 1.5f, 1.0f, 1.0f, 1.0f}, "X:5 0:3", 450, "0+2 2+3 5+3"},
            {{1.0f, 3.5f, 0.5f, 3.0f}, "X:5 0:3", 450, "0+4 4+1 5+3"}, // no break
            {{1.0f, 1.0f, 3.5f, 1.5f}, "X:7", 550, "0+5 5+2"},         // 2 is less than half of 5
        };
        for (const auto& [durations, vibhags, width, rows] : cases)
            CheckRowsByVibhag(durations, vibhags, width, rows);
    }
    // Marks over their first beats in either layout, and the playing position
    // on rows by vibhag; the setting off, and vibhags that no longer fit,
    // leave the rows as they were.
    void marksPositionAndTheLayoutWithoutRowsByVibhag() {
        CTaal taal;
        Fill(taal, Beats(16));
        const char* teentaal = "X:4 2:4 0:4 3:4";
        const CGridLayout rows = LaidOut(taal, 750, teentaal, true); // 4 beats a row
        // Rows of 4 beats, narrower than the page's 7, centred as a block.
        const int left = rows.RowLeft();
        QCOMPARE(left, (750 - 400) / 2);
        QCOMPARE(rows.RowRight(), left + 400);
        QCOMPARE(rows.Marks(),
                 (std::vector<VibhagMarkAt>{
                     {0, left, 'X'}, {1, left, '2'}, {2, left, '0'}, {3, left, '3'}}));
        const CGridLayout plain = LaidOut(taal, 750, teentaal, false);
        const int plainLeft = plain.RowLeft();
        QCOMPARE(plainLeft, (750 - 700) / 2);
        QCOMPARE(plain.Marks(), (std::vector<VibhagMarkAt>{{0, plainLeft, 'X'},
                                                           {0, plainLeft + 400, '2'},
                                                           {1, plainLeft + 100, '0'},
                                                           {1, plainLeft + 500, '3'}}));
        QCOMPARE((std::vector<int>{rows.RowOfPosition(0.5f), rows.RowOfPosition(4.9f),
                                   rows.RowOfPosition(5.0f), rows.RowOfPosition(17.0f)}),
                 (std::vector<int>{-1, 0, 1, 4})); // 4: past the last row
        QCOMPARE((std::vector<int>{rows.PlayedRowEnd(6.5f, 0), rows.PlayedRowEnd(6.5f, 1),
                                   rows.PlayedRowEnd(6.5f, 2)}),
                 (std::vector<int>{left + 400, left + 150, left}));
        QCOMPARE(rows.ProgressRepaint(5.5f, 6.0f),
                 std::vector<PageRect>{grid::ProgressStrip(1, left + 50, left + 100)});
        const std::vector<PageRect> all = rows.ProgressRepaint(4.9f, 5.1f);
        QCOMPARE(all.size(), std::size_t{4});
        QCOMPARE(all[3], grid::ProgressStrip(3, left - 2, left + 402));
        // The beat display: the mark beside a vibhag's first beat.
        QCOMPARE(std::pair(rows.MarkOnBeat(5), rows.MarkOnBeat(6)), std::pair('2', '\0'));
        QCOMPARE(BeatDisplayText(5, '2'), std::string("5  2"));
        QCOMPARE(BeatDisplayText(6, '\0'), std::string("6"));

        const float third = 1.0f / 3;
        const std::pair<std::vector<float>, const char*> taals[] = {
            {Beats(16), teentaal}, {{third, third, third, 2.5f, 0.5f, 1.5f, 2.5f}, "X:4 0:4"}};
        for (const auto& [durations, fitting] : taals) {
            Fill(taal, durations);
            for (const int width : {250, 750, 1750}) {
                const auto plain = Placed(LaidOut(taal, width));
                QVERIFY(Placed(LaidOut(taal, width, fitting, false)) == plain);
                QVERIFY(Placed(LaidOut(taal, width, "X:3 0:3", true)) == plain);
                if (width == 750)
                    QVERIFY(Placed(LaidOut(taal, width, fitting, true)) != plain);
            }
        }
        const CGridLayout unfit = LaidOut(taal, 750, "X:3 0:3", true);
        QVERIFY(unfit.Marks().empty() && unfit.ShownVibhags().empty());
        QCOMPARE(unfit.MarkOnBeat(1), '\0');
    }

    // --- The grid as a window -------------------------------------------

    // What the page draws and repaints; the window follows the vibhags
    // stored with the Taal: marks and rows, the setting, an edit that stops
    // them fitting and its undo, a change announced with the Taal's
    // properties.
    void drawsThePageAndFollowsTheVibhags() {
        Grid g(Beats(16), {850, 700}, "X:4 2:4 0:4 3:4"); // 8 beats a row, x 25 to 825
        const CGridLayout& layout = g.view->Layout();
        QCOMPARE(Spans(layout), QStringLiteral("0+8 8+8"));
        g.Click(2);
        g.Pause();
        g.view->ShowPlayingPosition(3.5f, 2);
        const QImage page = g.Page()->grab().toImage();
        const auto at = [&page](int x, int y) { return page.pixelColor(x, y); };
        // The selected cell (225 to 325), sounding, is lit inside the
        // selection's 2-pixel frame; an unselected one is framed by one black
        // pixel.
        QCOMPARE(at(225, 210), QColor(Qt::black));
        QCOMPARE(at(226, 210), g.view->Colours().sounding);
        // Row 0 is played to beat 3.5: blue 4 pixels high up to x 275.
        const QColor blue(0, 0, 255);
        QCOMPARE(at(274, 181), blue);
        QCOMPARE(at(300, 180), QColor(Qt::black));
        // The vibhag line reaches below the ruler, a plain tick does not; a
        // mark stands over beat 5, none over beat 2.
        QCOMPARE(at(425, 185), QColor(Qt::black));
        QCOMPARE(at(125, 185), QColor(Qt::white));
        QImage blank(15, 15, page.format());
        blank.fill(Qt::white);
        QVERIFY(page.copy(422, 142, 15, 15) != blank);
        QCOMPARE(page.copy(122, 142, 15, 15), blank);

        // Along row 0, within beat 3 and its bol: only the strip between the
        // two positions; on to the next bol, the two lit cells as well.
        Flush();
        PaintSpy spy;
        g.Page()->installEventFilter(&spy);
        g.view->ShowPlayingPosition(3.75f, 2);
        Flush();
        QCOMPARE(spy.regions, QList<QRegion>{QRegion(275, 178, 25, 4)});
        spy.regions.clear();
        g.view->ShowPlayingPosition(3.9f, 3);
        Flush();
        g.Page()->removeEventFilter(&spy);
        QCOMPARE(spy.regions,
                 QList<QRegion>{QRegion(300, 178, 15, 4) + QRegion(224, 199, 202, 27)});

        QColor colour;
        g.view->ShowPlayingPosition(9.9f, 8);
        QCOMPARE(g.view->BeatDisplayText(&colour), QStringLiteral("9  0"));
        QCOMPARE(colour, blue);
        g.settings.playingBeatDisplay = kDisplayBolName;
        QCOMPARE(g.view->BeatDisplayText(), QStringLiteral("Na"));
        g.settings.playingBeatDisplay = kDisplayBeatNumber;

        g.settings.rowsByVibhag = false;
        g.view->ApplyRowsByVibhag();
        QVERIFY(!layout.RowsByVibhag() && layout.Marks().size() == 4);
        g.settings.rowsByVibhag = true;
        g.view->ApplyRowsByVibhag();
        g.view->Editor().SelectBol(0, true);
        g.view->Editor().Delete();
        QVERIFY(layout.Marks().empty() && !layout.RowsByVibhag());
        QCOMPARE(g.view->BeatDisplayText(), QStringLiteral("9"));
        g.view->Editor().Undo();
        QVERIFY(layout.RowsByVibhag());

        WriteVibhagRecord(g.doc.Params(), Vibhags("X:12 0:4"));
        g.view->Editor().CommitName("Tintal");
        QCOMPARE(Spans(layout), QStringLiteral("0+8 8+4 12+4")); // X wraps
    }

    // The selection rules are the editor's; here the mouse and the keys reach
    // it. Keys scroll, and clicks hit the scrolled page.
    void mouseAndKeysSelect() {
        Grid g(Beats(40), {850, 300});
        QTest::keyClick(g.view.get(), Qt::Key_Down);
        QCOMPARE(g.view->verticalScrollBar()->value(), 25);
        // With the scroll bar shown, 7 beats a row, so row 1 starts with bol 7.
        g.view->verticalScrollBar()->setValue(110);
        const int x = g.view->RowLeft() + 5;
        QCOMPARE(g.view->HitTest(QPoint(x, 199)), -1);
        QTest::mouseClick(g.Page(), Qt::LeftButton, {}, QPoint(x, 205));
        QCOMPARE(g.view->Editor().SelectedIndices(), std::vector<int>{7});
        g.Click(2);
        g.Click(4, Qt::ControlModifier);
        g.Click(6, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(g.view->Editor().SelectedIndices(), (std::vector<int>{2, 4, 5, 6}));
        QTest::keyClick(g.view.get(), Qt::Key_End);
        QCOMPARE(g.view->Editor().SelectedIndices(), std::vector<int>{39});
        QTest::keyClick(g.view.get(), Qt::Key_Delete);
        QCOMPARE(g.view->Layout().CellCount(), 39);
    }

    // The page follows the playing row onto a row it does not show, unless
    // the user scrolled in the last seconds.
    void pageFollowsThePlayingRowAndTheNameEditorTheScroll() {
        Grid g(Beats(60), {850, 300});
        QScrollBar* bar = g.view->verticalScrollBar();
        const int beats = g.view->BeatsPerRow();
        const auto shows = [&](int bol) {
            return g.Page()->rect().contains(g.view->ToClient(g.view->GetBolView(bol)->frame));
        };
        g.view->ShowPlayingPosition(1.5f + static_cast<float>(3 * beats), 3 * beats);
        QVERIFY(shows(3 * beats));
        g.view->ShowPlayingPosition(1.5f, 0); // the next cycle
        QVERIFY(shows(0));
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        const int scrolled = bar->value();
        g.view->ShowPlayingPosition(1.5f + static_cast<float>(6 * beats), 6 * beats);
        QCOMPARE(bar->value(), scrolled);

        // The name editor opens over the name where the scrolled page shows
        // it, and follows a scroll; Enter commits one undoable step.
        bar->setValue(30);
        Flush();
        const QRect name = g.view->TaalNameRect().translated(-g.view->ScrollOffset());
        QCOMPARE(name.top(), 50 - 30);
        QTest::mouseDClick(g.Page(), Qt::LeftButton, {}, QPoint(name.center().x(), 75));
        QVERIFY(!g.view->NameEditor());
        QTest::mouseDClick(g.Page(), Qt::LeftButton, {}, name.center());
        QLineEdit* editor = g.view->NameEditor();
        QCOMPARE(editor->geometry(), name);
        bar->setValue(40);
        Flush();
        QCOMPARE(editor->geometry().top(), 50 - 40);

        editor->setText(QStringLiteral("Tintal"));
        QTest::keyClick(editor, Qt::Key_Return);
        QVERIFY(!g.view->NameEditor());
        QCOMPARE(g.doc.Taal().Name(), std::string("Tintal"));
        QCOMPARE(g.view->Editor().Lists().UndoList().size(), std::size_t{1});
    }

    // Positions arrive on the window's thread, coalesced, none after Stop;
    // edits while playing are heard.
    void playingPositionsArriveOnTheWindowsThreadAndEditsAreHeard() {
        Grid g(Beats(16));
        QList<QThread*> threads;
        connect(
            g.view.get(), &CLorvantaView::playingPositionShown, g.view.get(),
            [&](float, int) { threads << QThread::currentThread(); }, Qt::DirectConnection);
        g.session.Play();
        QTRY_VERIFY(threads.size() >= 5);
        g.view->Editor().SelectBol(2, true);
        g.view->Editor().Delete();
        Flush();
        QCOMPARE(g.session.Renderer().Image().Beats(), 15.0f);
        g.view->Editor().Undo();
        Flush();
        QCOMPARE(g.session.Renderer().Image().BolCount(), std::size_t{16});
        QVERIFY(g.session.IsPlaying());
        g.session.Stop();
        const qsizetype shown = threads.size();
        QTest::qWait(60);
        QCOMPARE(threads.size(), shown);
        QVERIFY(std::all_of(threads.begin(), threads.end(),
                            [&](QThread* thread) { return thread == g.view->thread(); }));
        QVERIFY(g.view->PositionsShown() <= g.session.PositionUpdates());
    }
};

QTEST_MAIN(GridViewTest)
#include "GridViewTest.moc"
