#include "ui/grid/GridGeometry.h"

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

} // namespace grid

CGridLayout::CGridLayout() {
    m_rulerRows.reserve(grid::kReservedRulerRows);
}

void CGridLayout::RecalcLayout(int clientWidth, const CTaal& taal, int after) {
    using namespace grid;
    m_clientWidth = clientWidth;
    m_beatsPerRow = BeatsPerRowFor(clientWidth);
    m_rowLeft = RowLeftFor(clientWidth, m_beatsPerRow);
    const int right = RowRight();

    const int count = std::min(CellCount(), taal.Count());
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
}

bool CGridLayout::UpdateRulerRows(float taalLength) {
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
