// The grid's page geometry, without a window: rows from the client width,
// cells along them, ruler rows, hit testing, the ruler strips a move of the
// playing position repaints, the beat display's rules, and rows by vibhag.
#include "gridlayout/GridGeometry.h"
#include "GridLayoutSupport.h"

#include "model/Taal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

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

// Rows by vibhag as `rows`, and every cell placed over its beats.
void CheckRowsByVibhag(const std::vector<float>& durations, const char* vibhags, int width,
                       const char* rows) {
    CTaal taal;
    Fill(taal, durations);
    const CGridLayout layout = LaidOut(taal, width, vibhags, true);
    EXPECT_TRUE(layout.RowsByVibhag());
    EXPECT_EQ(Spans(layout), rows);
    // Each cell starts within its row's ruler, over the beat it starts on
    // (so the ruler under its left edge shows that beat), and cells on a
    // row follow one another without a gap.
    const int left = layout.RowLeft();
    double start = 0.0;
    for (int i = 0; i < taal.Count(); ++i) {
        const PageRect frame = Frame(layout, i);
        const RulerSpan span =
            layout.RowSpan((frame.bottom - grid::kFirstCellBottom) / grid::kRowPitch);
        EXPECT_TRUE(start + 1e-3 >= span.firstBeat && start + 1e-3 < span.firstBeat + span.beats)
            << "bol " << i;
        EXPECT_EQ(frame.left - left,
                  static_cast<int>(std::floor((start - span.firstBeat) * 100 + 0.1)));
        if (i > 0 && Frame(layout, i - 1).bottom == frame.bottom) {
            EXPECT_EQ(Frame(layout, i - 1).right, frame.left);
        }
        start += static_cast<double>(taal.BolAt(i)->duration);
    }
    EXPECT_EQ(layout.PageHeight(), Frame(layout, taal.Count() - 1).bottom + 25);
}

} // namespace

TEST(GridGeometry, RowsFollowTheClientWidth) {
    CTaal taal;
    Fill(taal, {1.0f});
    for (const auto& [width, beats, left] : {std::tuple(0, 1, -50), {250, 2, 25}, {1045, 9, 72}}) {
        const CGridLayout layout = LaidOut(taal, width);
        EXPECT_EQ(layout.BeatsPerRow(), beats);
        EXPECT_EQ(Frame(layout, 0), (PageRect{left, 200, left + 100, 225}));
    }
}

TEST(GridGeometry, CellsAreWholePixelsAndMoveWholeToTheNextRow) {
    CTaal taal;
    // Thirds of a beat drift from the ticks: the fourth starts at L0 + 99.
    Fill(taal, {1.0f / 3, 1.0f / 3, 1.0f / 3, 1.0f, 1.0f, 1.0f, 2.0f});
    const CGridLayout thirds = LaidOut(taal, 450); // 4 beats from x 25 to 425
    EXPECT_EQ(Frame(thirds, 1), (PageRect{58, 200, 91, 225}));
    EXPECT_EQ(Frame(thirds, 3).left, 25 + 99);
    // The 2-beat bol would end at 624 > 425: it starts row 1, row 0 stays short.
    EXPECT_EQ(Frame(thirds, 5), (PageRect{324, 200, 424, 225}));
    EXPECT_EQ(Frame(thirds, 6), (PageRect{25, 310, 225, 335}));
    EXPECT_EQ(thirds.PageHeight(), 335 + 25);

    // A bol ending exactly at the row's end stays on the row.
    Fill(taal, {2.0f, 2.0f});
    EXPECT_EQ(Frame(LaidOut(taal, 450), 1), (PageRect{225, 200, 425, 225}));

    // A first bol wider than a row: row 0 keeps no cells, the cell sticks out.
    Fill(taal, {2.5f, 0.5f});
    const CGridLayout wide = LaidOut(taal, 200); // one beat, 50 to 150
    EXPECT_EQ(Frame(wide, 0), (PageRect{50, 310, 300, 335}));
    EXPECT_EQ(Frame(wide, 1), (PageRect{50, 420, 100, 445}));

    // An empty Taal: one ruler row, the page down to the first cell row.
    Fill(taal, {});
    const CGridLayout empty = LaidOut(taal, 450);
    EXPECT_EQ(empty.RulerRowCount(), 1);
    EXPECT_EQ(empty.PageHeight(), 250);
}

TEST(GridGeometry, LayoutFromAnIndexKeepsTheCellsBefore) {
    CTaal taal;
    Fill(taal, {1.0f, 1.0f, 1.0f, 1.0f});
    CGridLayout layout = LaidOut(taal, 450);
    // Bol 1 grows; laying out after bol 1 leaves its old cell alone.
    taal.BolAt(1)->duration = 3.0f;
    taal.BolAt(2)->name = "Dha";
    layout.RecalcLayout(450, taal, 1);
    EXPECT_EQ(Frame(layout, 1), (PageRect{125, 200, 225, 225}));
    EXPECT_EQ(Frame(layout, 2), (PageRect{225, 200, 325, 225}));
    EXPECT_EQ(layout.GetBolView(2)->text, std::string("Dha"));
}

TEST(GridGeometry, HitTestingAndRulerRows) {
    CTaal taal;
    Fill(taal, {1.0f, 0.5f, 2.0f, 3.0f});
    const CGridLayout layout = LaidOut(taal, 450);
    EXPECT_EQ(layout.HitTest(25, 200), 0);
    EXPECT_EQ(layout.HitTest(125, 200), 1); // a right edge is the next cell's left
    EXPECT_EQ(layout.HitTest(124, 225), -1);
    EXPECT_EQ(layout.HitTest(375, 210), -1); // the rest of row 0 is empty
    EXPECT_EQ(layout.HitTest(100, 250), -1); // between the rows
    EXPECT_EQ(layout.HitTest(25, 310), 3);

    // Ruler rows count the Taal's beats, and grow with a long Taal.
    Fill(taal, Beats(16));
    EXPECT_EQ(LaidOut(taal, 750).RulerRowCount(), 3); // 7 beats a row
    EXPECT_EQ(LaidOut(taal, 850).RulerRowCount(), 2); // exactly 8 + 8
    CGridLayout rulers = LaidOut(taal, 750);
    EXPECT_TRUE(rulers.UpdateRulerRows(400.0f));
    EXPECT_EQ(rulers.RulerRowCount(), 58); // past the 50 rows made at first
}

TEST(GridGeometry, PositionMovesRepaintOnlyWhatChanges) {
    // Onto the next row, or back to the start: every row at full width.
    const std::vector<PageRect> rows = ProgressRepaint(4.9f, 5.1f, 4, 25, 3);
    EXPECT_EQ(rows.size(), std::size_t{3});
    EXPECT_EQ(rows[2], (PageRect{23, 398, 427, 402}));
    // A row past the ruler (the cycle's very end) repaints nothing.
    EXPECT_TRUE(ProgressRepaint(17.0f, 17.5f, 16, 25, 1).empty());
    // Positions of a Taal whose stated length is absurd stay in range.
    EXPECT_EQ(ProgressRepaint(1.0f, 1e20f, 4, 25, 3).size(), std::size_t{3});
    EXPECT_TRUE(ProgressRepaint(-4.05e18f, -4.0e18f, 4, 25, 3).empty());
}

TEST(GridGeometry, BeatDisplayRules) {
    EXPECT_EQ(BeatNumberColour(1, 1.0f), BeatColour::Blue); // middle rule wins
    EXPECT_EQ(BeatNumberColour(1, 16.0f), BeatColour::Red);
    EXPECT_EQ(BeatNumberColour(9, 17.5f), BeatColour::Blue);
    EXPECT_EQ(BeatNumberColour(5, 16.0f), BeatColour::Black);
    EXPECT_EQ(BeatNumberColour(1, -4.05e18f), BeatColour::Red);
    EXPECT_EQ(BeatNumberColour(5, 3e9f), BeatColour::Black);
    EXPECT_EQ(ShortBolName("Dhinna"), "Dhin");
    EXPECT_EQ(ShortBolName("D\xC3\xA4h\xC3\xA4na"), std::string("D\xC3\xA4h\xC3\xA4"));
}

// Rows by vibhag for each Taal, vibhags and width: the rows as
// "first+beats ...".
TEST(GridGeometry, RowsByVibhag) {
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
TEST(GridGeometry, MarksPositionAndTheLayoutWithoutRowsByVibhag) {
    CTaal taal;
    Fill(taal, Beats(16));
    const char* teentaal = "X:4 2:4 0:4 3:4";
    const CGridLayout rows = LaidOut(taal, 750, teentaal, true); // 4 beats a row
    // Rows of 4 beats, narrower than the page's 7, centred as a block.
    const int left = rows.RowLeft();
    EXPECT_EQ(left, (750 - 400) / 2);
    EXPECT_EQ(rows.RowRight(), left + 400);
    EXPECT_EQ(rows.Marks(), (std::vector<VibhagMarkAt>{
                                {0, left, 'X'}, {1, left, '2'}, {2, left, '0'}, {3, left, '3'}}));
    const CGridLayout byWidth = LaidOut(taal, 750, teentaal, false);
    const int plainLeft = byWidth.RowLeft();
    EXPECT_EQ(plainLeft, (750 - 700) / 2);
    EXPECT_EQ(byWidth.Marks(), (std::vector<VibhagMarkAt>{{0, plainLeft, 'X'},
                                                          {0, plainLeft + 400, '2'},
                                                          {1, plainLeft + 100, '0'},
                                                          {1, plainLeft + 500, '3'}}));
    EXPECT_EQ((std::vector<int>{rows.RowOfPosition(0.5f), rows.RowOfPosition(4.9f),
                                rows.RowOfPosition(5.0f), rows.RowOfPosition(17.0f)}),
              (std::vector<int>{-1, 0, 1, 4})); // 4: past the last row
    EXPECT_EQ((std::vector<int>{rows.PlayedRowEnd(6.5f, 0), rows.PlayedRowEnd(6.5f, 1),
                                rows.PlayedRowEnd(6.5f, 2)}),
              (std::vector<int>{left + 400, left + 150, left}));
    EXPECT_EQ(rows.ProgressRepaint(5.5f, 6.0f),
              std::vector<PageRect>{grid::ProgressStrip(1, left + 50, left + 100)});
    const std::vector<PageRect> all = rows.ProgressRepaint(4.9f, 5.1f);
    EXPECT_EQ(all.size(), std::size_t{4});
    EXPECT_EQ(all[3], grid::ProgressStrip(3, left - 2, left + 402));
    // The beat display's mark beside a vibhag's first beat (its text: GridViewTest).
    EXPECT_EQ(rows.MarkOnBeat(5), '2');
    EXPECT_EQ(rows.MarkOnBeat(6), '\0');

    const float third = 1.0f / 3;
    const std::pair<std::vector<float>, const char*> taals[] = {
        {Beats(16), teentaal}, {{third, third, third, 2.5f, 0.5f, 1.5f, 2.5f}, "X:4 0:4"}};
    for (const auto& [durations, fitting] : taals) {
        Fill(taal, durations);
        for (const int width : {250, 750, 1750}) {
            const auto plain = Placed(LaidOut(taal, width));
            EXPECT_TRUE(Placed(LaidOut(taal, width, fitting, false)) == plain);
            EXPECT_TRUE(Placed(LaidOut(taal, width, "X:3 0:3", true)) == plain);
            if (width == 750) {
                EXPECT_TRUE(Placed(LaidOut(taal, width, fitting, true)) != plain);
            }
        }
    }
    const CGridLayout unfit = LaidOut(taal, 750, "X:3 0:3", true);
    EXPECT_TRUE(unfit.Marks().empty() && unfit.ShownVibhags().empty());
    EXPECT_EQ(unfit.MarkOnBeat(1), '\0');
}
