// The bol grid's page geometry without a window: rows from the client width,
// cells along them, ruler rows, hit testing, the ruler strips a move of the
// playing position repaints, and the beat display's rules.
#include "model/Taal.h"
#include "ui/grid/GridGeometry.h"

#include <QTest>

#include <vector>

using namespace lorvanta;

namespace {

void Fill(CTaal& taal, const std::vector<float>& durations) {
    taal.RemoveAll();
    for (float duration : durations)
        taal.Append(std::make_unique<CBol2>("Na", 0, duration));
}

CGridLayout LaidOut(const CTaal& taal, int width) {
    CGridLayout layout;
    layout.CreateBolViews(taal.Count());
    layout.RecalcLayout(width, taal, -1);
    return layout;
}

PageRect Frame(const CGridLayout& layout, int index) {
    return layout.GetBolView(index)->frame;
}

} // namespace

class GridLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void rowsFollowTheClientWidth_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("beats");
        QTest::addColumn<int>("left");
        QTest::newRow("0") << 0 << 1 << -50;
        QTest::newRow("249") << 249 << 1 << 74;
        QTest::newRow("250") << 250 << 2 << 25;
        QTest::newRow("350") << 350 << 3 << 25;
        QTest::newRow("1045") << 1045 << 9 << 72;
    }
    void rowsFollowTheClientWidth() {
        QFETCH(int, width);
        QFETCH(int, beats);
        QFETCH(int, left);
        CTaal taal;
        Fill(taal, {1.0f});
        const CGridLayout layout = LaidOut(taal, width);
        QCOMPARE(layout.BeatsPerRow(), beats);
        QCOMPARE(layout.RowLeft(), left);
        QCOMPARE(Frame(layout, 0), (PageRect{left, 200, left + 100, 225}));
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

        // Layout stops at the shorter of the cells and the bols.
        layout.RemoveBolView(3);
        layout.RecalcLayout(450, taal, -1);
        QVERIFY(layout.GetBolView(3) == nullptr && layout.GetBolView(-1) == nullptr);
    }

    void rulerRowsCountTheTaalsBeats() {
        CTaal taal;
        Fill(taal, std::vector<float>(16, 1.0f));
        QCOMPARE(LaidOut(taal, 750).RulerRowCount(), 3); // 7 beats a row
        QCOMPARE(LaidOut(taal, 850).RulerRowCount(), 2); // exactly 8 + 8
        CGridLayout layout = LaidOut(taal, 750);
        QCOMPARE(layout.RulerRowRect(2), (PageRect{23, 398, 727, 402}));
        QVERIFY(!layout.UpdateRulerRows(16.0f));
        QVERIFY(layout.UpdateRulerRows(400.0f));
        QCOMPARE(layout.RulerRowCount(), 58); // past the 50 rows made at first
    }

    void hitTestingExcludesRightAndBottomEdges() {
        CTaal taal;
        Fill(taal, {1.0f, 0.5f, 2.0f, 3.0f});
        const CGridLayout layout = LaidOut(taal, 450);
        QCOMPARE(layout.HitTest(25, 200), 0);
        QCOMPARE(layout.HitTest(125, 200), 1); // a right edge is the next cell's left
        QCOMPARE(layout.HitTest(124, 225), -1);
        QCOMPARE(layout.HitTest(375, 210), -1); // the rest of row 0 is empty
        QCOMPARE(layout.HitTest(100, 250), -1); // between the rows
        QCOMPARE(layout.HitTest(25, 310), 3);
    }

    void playedPartOfARow() {
        // Four beats a row from x 25: row 0 covers beats 1 to 5.
        QCOMPARE(PlayedRowEnd(1.0f, 0, 4, 25), 25);
        QCOMPARE(PlayedRowEnd(2.5f, 0, 4, 25), 175);
        QCOMPARE(PlayedRowEnd(3.995f, 0, 4, 25), 425); // past 4 - 0.01: all of it
        QCOMPARE(PlayedRowEnd(17.0f, 1, 4, 25), 425);
    }

    void positionMovesRepaintOnlyWhatChanges() {
        // Forward on one row (row 0 is the window test's): the segment
        // between the two positions.
        QCOMPARE(ProgressRepaint(6.0f, 6.5f, 4, 25, 4),
                 (std::vector<PageRect>{{125, 288, 175, 292}}));
        QVERIFY(ProgressRepaint(3.0f, 3.0f, 4, 25, 4).empty());
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
};

QTEST_GUILESS_MAIN(GridLayoutTest)
#include "GridLayoutTest.moc"
