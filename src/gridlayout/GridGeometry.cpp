#include "gridlayout/GridGeometry.h"

#include "model/Conversions.h"
#include "model/Taal.h"

#include <algorithm>
#include <cmath>

namespace lorvanta {

namespace grid {

int BeatsPerRowFor(int clientWidth) {
    return std::max(1, (clientWidth - 50) / kPixelsPerBeat);
}

int RowLeftFor(int clientWidth, int beatsPerRow) {
    return (clientWidth - kPixelsPerBeat * beatsPerRow) / 2;
}

// Whole pixels from a row's start to a number of beats along it, limited so
// that page coordinates stay far from the ends of int.
int PixelsAlong(double beats) {
    constexpr double kLimit = 1 << 28;
    const double pixels = std::floor(beats * kPixelsPerBeat + kBeatTolerance * kPixelsPerBeat);
    return TruncateToInt(std::clamp(pixels, -kLimit, kLimit));
}

} // namespace grid

namespace {

// Each beat strictly inside a bol, from `first` to `end`: a row broken there
// would cut the bol.
std::vector<bool> BeatsInsideBols(int first, int end,
                                  const std::vector<std::pair<double, double>>& bols) {
    std::vector<bool> inside(static_cast<std::size_t>(end - first + 1), false);
    const double low = first;
    const double high = end;
    for (const auto& [start, stop] : bols) {
        if (!(stop > low && start < high))
            continue;
        const int from = TruncateToInt(std::floor(std::max(start, low) + grid::kBeatTolerance)) + 1;
        const int to = TruncateToInt(std::ceil(std::min(stop, high) - grid::kBeatTolerance)) - 1;
        for (int beat = std::max(from, first); beat <= std::min(to, end); ++beat)
            inside[static_cast<std::size_t>(beat - first)] = true;
    }
    return inside;
}

// Vibhags that each fit a row, in rows of at most `capacity` beats, first
// ones first; the number of rows, which are added to `rows` when given.
int FillRows(const VibhagList& vibhags, std::size_t from, std::size_t to, int firstBeat,
             int capacity, std::vector<RulerSpan>* rows) {
    int count = 0;
    RulerSpan row{firstBeat, 0};
    for (std::size_t v = from; v < to; ++v) {
        const int beats = vibhags[v].beats;
        if (row.beats > 0 && row.beats + beats > capacity) {
            ++count;
            if (rows)
                rows->push_back(row);
            row = {row.firstBeat + row.beats, 0};
        }
        row.beats += beats;
    }
    if (row.beats > 0) {
        ++count;
        if (rows)
            rows->push_back(row);
    }
    return count;
}

} // namespace

std::vector<RulerSpan> VibhagRows(const VibhagList& vibhags, int beatsPerRow,
                                  const std::vector<std::pair<double, double>>& bols) {
    std::vector<RulerSpan> rows;
    const int page = std::max(1, beatsPerRow);
    const std::vector<int> starts = VibhagStartBeats(vibhags);
    std::size_t v = 0;
    while (v < vibhags.size()) {
        const int first = starts[v];
        if (vibhags[v].beats > page) {
            // Rows of its own, each as long as the page allows and ending
            // between bols where that leaves at least half a page.
            const int end = first + vibhags[v].beats;
            const std::vector<bool> inside = BeatsInsideBols(first, end, bols);
            const int shortest = std::max(1, (page + 1) / 2);
            int from = first;
            while (end - from > page) {
                int to = from + page;
                while (to > from + shortest && inside[static_cast<std::size_t>(to - first)])
                    --to;
                if (inside[static_cast<std::size_t>(to - first)])
                    to = from + page;
                rows.push_back({from, to - from});
                from = to;
            }
            rows.push_back({from, end - from});
            ++v;
            continue;
        }
        // A run of vibhags that each fit: the fewest rows, then the narrowest
        // rows that need no more of them.
        std::size_t end = v;
        int widest = 0;
        int total = 0;
        for (; end < vibhags.size() && vibhags[end].beats <= page; ++end) {
            widest = std::max(widest, vibhags[end].beats);
            total += vibhags[end].beats;
        }
        const int fewest = std::max(1, FillRows(vibhags, v, end, first, page, nullptr));
        int capacity = std::max(widest, (total + fewest - 1) / fewest);
        while (capacity < page && FillRows(vibhags, v, end, first, capacity, nullptr) > fewest)
            ++capacity;
        FillRows(vibhags, v, end, first, capacity, &rows);
        v = end;
    }
    return rows;
}

CGridLayout::CGridLayout() {
    m_rulerRows.reserve(grid::kReservedRulerRows);
}

void CGridLayout::SetVibhags(VibhagList vibhags, bool rowsByVibhag) {
    m_vibhags = std::move(vibhags);
    m_wantRowsByVibhag = rowsByVibhag;
}

void CGridLayout::RecalcLayout(int clientWidth, const CTaal& taal, int after) {
    using namespace grid;
    m_clientWidth = clientWidth;
    m_beatsPerRow = BeatsPerRowFor(clientWidth);
    m_rowLeft = RowLeftFor(clientWidth, m_beatsPerRow);
    const int right = RowRight();

    // Vibhags that no longer add up to the Taal's length are not shown.
    const bool fits = !m_vibhags.empty() &&
                      CheckVibhagsFit(m_vibhags, taal.Total()) == VibhagStatus::Ok &&
                      std::all_of(m_vibhags.begin(), m_vibhags.end(), [](const Vibhag& vibhag) {
                          return vibhag.beats >= 1 && vibhag.beats <= kMaxVibhagBeats;
                      });
    const bool byVibhag = fits && m_wantRowsByVibhag;
    if (byVibhag || byVibhag != m_byVibhag)
        after = -1;
    m_shown = fits ? m_vibhags : VibhagList{};
    m_byVibhag = byVibhag;
    const int count = std::min(CellCount(), taal.Count());
    if (byVibhag) {
        LayOutByVibhag(taal, count);
        SetRulerStrips();
        PlaceMarks();
        return;
    }
    m_spans.clear();

    after = std::clamp(after, -1, count - 1);
    int x = m_rowLeft;
    int bottom = kFirstCellBottom;
    if (after >= 0) {
        const CBolView& previous = m_cells[static_cast<std::size_t>(after)];
        x = previous.frame.right;
        bottom = previous.frame.top + kCellHeight;
    }
    for (int i = after + 1; i < count; ++i) {
        const CBol2& bol = *taal.BolAt(i);
        // Whole pixels, in single precision: cells drift from the ticks when
        // durations are not whole hundredths of a beat.
        const int width = TruncateToInt(bol.duration * 100.0f);
        int cellRight = x + width;
        if (cellRight > right) {
            // The bol goes whole onto the next row, even from an empty row.
            bottom += kRowPitch;
            x = m_rowLeft;
            cellRight = x + width;
        }
        CBolView& cell = m_cells[static_cast<std::size_t>(i)];
        cell.frame = {x, bottom - kCellHeight, cellRight, bottom};
        cell.textRect = {x + kTextInset, bottom - kCellHeight, cellRight - kTextInset, bottom};
        cell.text = bol.name;
        x = cellRight;
    }
    m_pageHeight = bottom + kPageMargin;
    UpdateRulerRows(taal.Total());
    PlaceMarks();
}

void CGridLayout::LayOutByVibhag(const CTaal& taal, int count) {
    using namespace grid;
    // Start and end beats in double precision, so that a long Taal's starts
    // do not drift from its beats.
    std::vector<std::pair<double, double>> bols;
    bols.reserve(static_cast<std::size_t>(taal.Count()));
    double beat = 0.0;
    for (const auto& bol : taal.Bols()) {
        const double end = beat + static_cast<double>(bol->duration);
        bols.emplace_back(beat, end);
        beat = end;
    }
    m_spans = VibhagRows(m_shown, m_beatsPerRow, bols);

    // Each cell on the row its bol starts in, over the beats it covers; a
    // bol crossing the row's end keeps its whole width.
    std::size_t row = 0;
    for (int i = 0; i < count; ++i) {
        const auto [start, end] = bols[static_cast<std::size_t>(i)];
        while (row + 1 < m_spans.size() && m_spans[row + 1].firstBeat <= start + kBeatTolerance)
            ++row;
        const double first = m_spans[row].firstBeat;
        const int x = m_rowLeft + PixelsAlong(start - first);
        const int cellRight = m_rowLeft + PixelsAlong(end - first);
        const int bottom = kFirstCellBottom + kRowPitch * static_cast<int>(row);
        CBolView& cell = m_cells[static_cast<std::size_t>(i)];
        cell.frame = {x, bottom - kCellHeight, cellRight, bottom};
        cell.textRect = {x + kTextInset, bottom - kCellHeight, cellRight - kTextInset, bottom};
        cell.text = taal.BolAt(i)->name;
    }
    m_pageHeight =
        kFirstCellBottom + kRowPitch * (static_cast<int>(m_spans.size()) - 1) + kPageMargin;
}

void CGridLayout::SetRulerStrips() {
    const int count = m_byVibhag ? static_cast<int>(m_spans.size()) : RulerRowCount();
    m_rulerRows.resize(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
        m_rulerRows[static_cast<std::size_t>(k)] = grid::ProgressStrip(
            k, m_rowLeft - grid::kProgressHalfHeight, RowRight(k) + grid::kProgressHalfHeight);
}

void CGridLayout::PlaceMarks() {
    m_marks.clear();
    const std::vector<int> starts = VibhagStartBeats(m_shown);
    for (std::size_t v = 0; v < m_shown.size(); ++v) {
        const int beat = starts[v];
        int row = beat / m_beatsPerRow;
        if (m_byVibhag) {
            const auto after =
                std::upper_bound(m_spans.begin(), m_spans.end(), beat,
                                 [](int b, const RulerSpan& span) { return b < span.firstBeat; });
            row = static_cast<int>(after - m_spans.begin()) - 1;
        }
        const int x = m_rowLeft + grid::kPixelsPerBeat * (beat - RowSpan(row).firstBeat);
        m_marks.push_back({row, x, m_shown[v].mark});
    }
}

RulerSpan CGridLayout::RowSpan(int row) const {
    if (!m_byVibhag)
        return {row * m_beatsPerRow, m_beatsPerRow};
    if (row < 0 || row >= static_cast<int>(m_spans.size()))
        return {0, 0};
    return m_spans[static_cast<std::size_t>(row)];
}

char CGridLayout::MarkOnBeat(int beat) const {
    const std::vector<int> starts = VibhagStartBeats(m_shown);
    for (std::size_t v = 0; v < starts.size(); ++v) {
        if (starts[v] + 1 == beat)
            return m_shown[v].mark;
    }
    return 0;
}

int CGridLayout::RowOfPosition(float position) const {
    const int rows = RulerRowCount();
    if (!(position >= 1.0f))
        return -1;
    const double beat = static_cast<double>(position) - 1.0;
    if (m_byVibhag && m_spans.empty())
        return rows;
    if (!m_byVibhag)
        return std::min(TruncateToInt(std::floor(beat / m_beatsPerRow)), rows);
    const auto after =
        std::upper_bound(m_spans.begin(), m_spans.end(), beat,
                         [](double b, const RulerSpan& span) { return b < span.firstBeat; });
    const int row = static_cast<int>(after - m_spans.begin()) - 1;
    const RulerSpan& span = m_spans[static_cast<std::size_t>(row)];
    return beat < span.firstBeat + span.beats ? row : rows;
}

int CGridLayout::PlayedRowEnd(float position, int row) const {
    if (!m_byVibhag)
        return lorvanta::PlayedRowEnd(position, row, m_beatsPerRow, m_rowLeft);
    if (position == 0.0f)
        return m_rowLeft;
    const double along =
        (static_cast<double>(position) - 1.0 - RowSpan(row).firstBeat) * grid::kPixelsPerBeat;
    return std::clamp(m_rowLeft + TruncateToInt(std::clamp(along, -1e6, 1e9)), m_rowLeft,
                      RowRight(row));
}

std::vector<PageRect> CGridLayout::ProgressRepaint(float q, float p) const {
    if (!m_byVibhag)
        return lorvanta::ProgressRepaint(q, p, m_beatsPerRow, m_rowLeft, RulerRowCount());
    std::vector<PageRect> strips;
    if (p == q)
        return strips;
    const int rq = RowOfPosition(q);
    if (rq == RowOfPosition(p) && p > q) {
        if (rq >= 0 && rq < RulerRowCount()) {
            const int left = PlayedRowEnd(q, rq);
            const int right = PlayedRowEnd(p, rq);
            if (right > left)
                strips.push_back(grid::ProgressStrip(rq, left, right));
        }
        return strips;
    }
    for (int k = 0; k < RulerRowCount(); ++k)
        strips.push_back(m_rulerRows[static_cast<std::size_t>(k)]);
    return strips;
}

bool CGridLayout::UpdateRulerRows(float taalLength) {
    if (m_byVibhag) {
        SetRulerStrips();
        return false;
    }
    const float rows = std::ceil(taalLength / static_cast<float>(m_beatsPerRow));
    const int count = rows >= 1.0f ? static_cast<int>(rows) : 1;
    const bool changed = count != RulerRowCount();
    // The strips also follow the row width, which may have changed alone.
    m_rulerRows.resize(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
        m_rulerRows[static_cast<std::size_t>(k)] = grid::ProgressStrip(
            k, m_rowLeft - grid::kProgressHalfHeight, RowRight() + grid::kProgressHalfHeight);
    return changed;
}

int CGridLayout::HitTest(int x, int y) const {
    const auto [first, last] = CellsIn({x, y, x + 1, y + 1});
    for (int i = first; i < last; ++i) {
        if (m_cells[static_cast<std::size_t>(i)].frame.Contains(x, y))
            return i;
    }
    return -1;
}

std::pair<int, int> CGridLayout::CellsIn(const PageRect& area) const {
    // Cells run down the page in Taal order: their rows never go back up.
    const auto first =
        std::partition_point(m_cells.begin(), m_cells.end(), [&area](const CBolView& cell) {
            return cell.frame.bottom <= area.top;
        });
    const auto last = std::partition_point(first, m_cells.end(), [&area](const CBolView& cell) {
        return cell.frame.top < area.bottom;
    });
    return {static_cast<int>(first - m_cells.begin()), static_cast<int>(last - m_cells.begin())};
}

CBolView* CGridLayout::GetBolView(int index) {
    if (index < 0 || index >= CellCount())
        return nullptr;
    return &m_cells[static_cast<std::size_t>(index)];
}

const CBolView* CGridLayout::GetBolView(int index) const {
    return const_cast<CGridLayout*>(this)->GetBolView(index);
}

void CGridLayout::CreateBolViews(int count) {
    m_cells.resize(m_cells.size() + static_cast<std::size_t>(std::max(0, count)));
}

void CGridLayout::RemoveBolView(int index) {
    if (index >= 0 && index < CellCount())
        m_cells.erase(m_cells.begin() + index);
}

void CGridLayout::InsertBolView(int after) {
    const int at = std::clamp(after + 1, 0, CellCount());
    m_cells.insert(m_cells.begin() + at, CBolView{});
}

int PlayedRowEnd(float position, int row, int beatsPerRow, int rowLeft) {
    const int rowRight = rowLeft + grid::kPixelsPerBeat * beatsPerRow;
    if (position == 0.0f)
        return rowLeft;
    const auto rowEnd = static_cast<float>((row + 1) * beatsPerRow);
    if (static_cast<double>(position) > static_cast<double>(rowEnd) - 0.01)
        return rowRight;
    const auto rowStart = static_cast<float>(row * beatsPerRow);
    if (position > rowStart + 1.0f) {
        const float x =
            (position - 1.0f) * 100.0f - rowStart * 100.0f + static_cast<float>(rowLeft);
        return std::clamp(static_cast<int>(x), rowLeft, rowRight);
    }
    return rowLeft;
}

std::vector<PageRect> ProgressRepaint(float q, float p, int beatsPerRow, int rowLeft,
                                      int rowCount) {
    std::vector<PageRect> strips;
    if (p == q)
        return strips;
    const auto beats = static_cast<float>(beatsPerRow);
    const int rq = TruncateToInt((q - 1.0f) / beats);
    const int rp = TruncateToInt((p - 1.0f) / beats);
    if (rq == rp && p > q) {
        if (rq >= 0 && rq < rowCount) {
            const float origin =
                beats * static_cast<float>(rq) * 100.0f - static_cast<float>(rowLeft);
            const int left = TruncateToInt((q - 1.0f) * 100.0f - origin);
            const int right = TruncateToInt((p - 1.0f) * 100.0f - origin);
            if (right > left)
                strips.push_back(grid::ProgressStrip(rq, left, right));
        }
        return strips;
    }
    const int rowRight = rowLeft + grid::kPixelsPerBeat * beatsPerRow;
    for (int k = 0; k < rowCount; ++k)
        strips.push_back(grid::ProgressStrip(k, rowLeft - grid::kProgressHalfHeight,
                                             rowRight + grid::kProgressHalfHeight));
    return strips;
}

std::string BeatDisplayText(int beat, char mark) {
    std::string text = std::to_string(beat);
    if (mark != 0) {
        text += "  ";
        text += mark;
    }
    return text;
}

BeatColour BeatNumberColour(int beat, float taalLength) {
    BeatColour colour = BeatColour::Black;
    if (beat == 1)
        colour = BeatColour::Red;
    // Tested second, so that it wins on a Taal of one beat.
    if (beat == TruncateToInt(taalLength) / 2 + 1)
        colour = BeatColour::Blue;
    return colour;
}

std::string ShortBolName(const std::string& name) {
    std::size_t end = 0;
    for (int characters = 0; characters < 4 && end < name.size(); ++characters) {
        ++end;
        while (end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
            ++end;
    }
    return name.substr(0, end);
}

} // namespace lorvanta
