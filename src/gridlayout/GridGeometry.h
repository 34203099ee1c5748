#pragma once

// The bol grid's page geometry, without any drawing: the beat ruler's rows,
// one cell per bol laid out along them, hit testing, and which strips of the
// ruler a change of the playing position repaints. All coordinates are page
// pixels (client pixels plus the scroll position), x to the right, y down.
//
// The rows hold a fixed number of beats each, the page's width of them,
// unless the Taal shows its vibhags and rows go by vibhag: then every row
// starts on a vibhag's first beat and holds whole vibhags, and each cell
// stands over the beats it starts on.

#include "model/Vibhags.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lorvanta {

class CTaal;

// A rectangle whose right and bottom edges lie just outside it.
struct PageRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    PageRect Moved(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    PageRect Grown(int d) const { return {left - d, top - d, right + d, bottom + d}; }
    bool Intersects(const PageRect& other) const {
        return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
    }
    bool operator==(const PageRect&) const = default;
};

// One cell of the grid: cell i belongs to bol i of the Taal.
struct CBolView {
    PageRect frame;
    PageRect textRect; // the frame narrowed by 5 pixels on each side
    std::string text;  // the bol's display name, copied at layout
};

namespace grid {
inline constexpr int kPixelsPerBeat = 100;
inline constexpr int kRowPitch = 110;
inline constexpr int kFirstRulerY = 180;
inline constexpr int kBeatTick = 8;
inline constexpr int kHalfBeatTick = 4;
inline constexpr int kProgressHalfHeight = 2; // the 4-pixel progress strip
inline constexpr int kFirstCellBottom = 225;
inline constexpr int kCellHeight = 25;
inline constexpr int kTextInset = 5;
inline constexpr int kPageMargin = 25; // below the last cell row
inline constexpr int kLineStepX = 50;
inline constexpr int kLineStepY = 25;
inline constexpr int kReservedRulerRows = 50;
// A vibhag's mark: its top this far above the ruler line, over the beat
// number; the vibhag line reaches this far below the ruler line.
inline constexpr int kMarkTop = 40;
inline constexpr int kVibhagLineBelow = 8;
// Within a thousandth of a beat a bol starts on a beat (durations are sums
// of floats).
inline constexpr double kBeatTolerance = 1e-3;

// Beats per row for a client width: one beat per 100 pixels after a 50-pixel
// margin, at least one.
int BeatsPerRowFor(int clientWidth);
// Left end of the rows: the rows centred in the client width.
int RowLeftFor(int clientWidth, int beatsPerRow);
// y of ruler row k's line.
inline int RulerY(int row) {
    return kFirstRulerY + kRowPitch * row;
}
// The 4-pixel strip over ruler row k between two x.
inline PageRect ProgressStrip(int row, int left, int right) {
    return {left, RulerY(row) - kProgressHalfHeight, right, RulerY(row) + kProgressHalfHeight};
}
} // namespace grid

// The beats one ruler row spans: from firstBeat (0-based) for `beats`.
struct RulerSpan {
    int firstBeat = 0;
    int beats = 1;
    bool operator==(const RulerSpan&) const = default;
};

// A vibhag's mark where the ruler shows it: over row `row` at x.
struct VibhagMarkAt {
    int row = 0;
    int x = 0;
    char mark = 'X';
    bool operator==(const VibhagMarkAt&) const = default;
};

// The rows of whole vibhags for a page `beatsPerRow` wide: the fewest rows,
// as even as they can be (a whole cycle when it fits). A vibhag wider than
// the page has rows of its own, broken at beats no bol crosses where that
// leaves rows of at least half the page; `bols` are the bols' start and end
// beats, in order.
std::vector<RulerSpan> VibhagRows(const VibhagList& vibhags, int beatsPerRow,
                                  const std::vector<std::pair<double, double>>& bols);

// The grid's rows and cells for one client width.
class CGridLayout {
public:
    CGridLayout();

    // The vibhags the Taal shows (none: an empty list) and whether rows go
    // by vibhag. Used from the next RecalcLayout on, and only while they add
    // up to the Taal's length.
    void SetVibhags(VibhagList vibhags, bool rowsByVibhag);
    // Lays the cells out again from the one after `after` (-1: all of them)
    // for the client width; cells 0..after keep their rectangles. Stops at
    // the shorter of the cell list and the Taal. Also recounts the ruler rows.
    // Rows by vibhag lay every cell out again.
    void RecalcLayout(int clientWidth, const CTaal& taal, int after);
    // Recounts the ruler rows for the Taal's length; true when the count
    // changed. Rows by vibhag keep their rows.
    bool UpdateRulerRows(float taalLength);

    int ClientWidth() const { return m_clientWidth; }
    int BeatsPerRow() const { return m_beatsPerRow; }
    int RowLeft() const { return m_rowLeft; }
    // The right end of a full row (the page's width of beats).
    int RowRight() const { return m_rowLeft + grid::kPixelsPerBeat * m_beatsPerRow; }

    // The vibhags shown at the last layout (empty when none fit) and
    // whether the rows went by them.
    const VibhagList& ShownVibhags() const { return m_shown; }
    bool RowsByVibhag() const { return m_byVibhag; }
    // The beats ruler row k spans, and where its line ends.
    RulerSpan RowSpan(int row) const;
    int RowRight(int row) const { return m_rowLeft + grid::kPixelsPerBeat * RowSpan(row).beats; }
    // Where the shown vibhags' marks stand, in order.
    const std::vector<VibhagMarkAt>& Marks() const { return m_marks; }
    // The mark of the vibhag that starts on a beat (1-based); 0 for none.
    char MarkOnBeat(int beat) const;
    // The row of a playing position (1-based beats): -1 before the first,
    // the row count past the last.
    int RowOfPosition(float position) const;
    // How much of row k shows as played at a position, and what a move of
    // the position repaints (see the functions below, which these are for
    // rows of equal width).
    int PlayedRowEnd(float position, int row) const;
    std::vector<PageRect> ProgressRepaint(float q, float p) const;
    // The page's height: the last cell row's bottom and a margin.
    int PageHeight() const { return m_pageHeight; }
    int RulerRowCount() const { return static_cast<int>(m_rulerRows.size()); }
    // The full-width strip of ruler row k.
    PageRect RulerRowRect(int row) const { return m_rulerRows[static_cast<std::size_t>(row)]; }

    // Index of the first cell whose frame holds the page point; -1 for none.
    int HitTest(int x, int y) const;
    // The cell, or null for an index outside the list.
    CBolView* GetBolView(int index);
    const CBolView* GetBolView(int index) const;
    const std::vector<CBolView>& Cells() const { return m_cells; }
    int CellCount() const { return static_cast<int>(m_cells.size()); }
    // Cells whose frames meet the page rectangle: [first, last), in order.
    std::pair<int, int> CellsIn(const PageRect& area) const;

    // The cell list in step with the Taal's bols.
    void CreateBolViews(int count);
    void DeleteBolViews() { m_cells.clear(); }
    void RemoveBolView(int index);
    // A new empty cell after `after` (at the head for -1).
    void InsertBolView(int after);

private:
    int m_clientWidth = 0;
    int m_beatsPerRow = 1;
    int m_rowLeft = 0;
    int m_pageHeight = grid::kFirstCellBottom + grid::kPageMargin;
    std::vector<CBolView> m_cells;
    std::vector<PageRect> m_rulerRows;
    // The vibhags as set, and as the last layout used them.
    VibhagList m_vibhags;
    bool m_wantRowsByVibhag = true;
    VibhagList m_shown;
    bool m_byVibhag = false;
    std::vector<RulerSpan> m_spans; // by vibhag only
    std::vector<VibhagMarkAt> m_marks;

    void LayOutByVibhag(const CTaal& taal, int count);
    void PlaceMarks();
    void SetRulerStrips();
};

// How much of ruler row k shows as played at beat position p (1-based): the
// x where the blue line ends, RowLeft when none of it, RowRight when all.
int PlayedRowEnd(float position, int row, int beatsPerRow, int rowLeft);

// What a move of the playing position from q to p repaints on the ruler: the
// segment between them when both lie on one row and p is ahead; otherwise
// every row at full width (a new row, or back to the start of the cycle).
// Rows at or past rowCount are left out.
std::vector<PageRect> ProgressRepaint(float q, float p, int beatsPerRow, int rowLeft, int rowCount);

// The beat display's text for a beat: its number, and beside it the mark of
// the vibhag that starts on it ("5  2"; mark 0 for none).
std::string BeatDisplayText(int beat, char mark);

// The colour of the playing beat number: red on beat 1, blue on the middle
// beat (trunc(length) / 2 + 1, which wins when both hold), else black.
enum class BeatColour : std::uint8_t { Black, Red, Blue };
BeatColour BeatNumberColour(int beat, float taalLength);
// The bol-name display: the display name cut to its first 4 characters
// (UTF-8 characters, never half of one).
std::string ShortBolName(const std::string& name);

} // namespace lorvanta
