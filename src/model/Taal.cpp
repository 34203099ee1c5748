#include "model/Taal.h"

#include <algorithm>

namespace lorvanta {

void CTaal::RemoveAll() {
    m_bols.clear();
    m_total = 0.0f;
}

void CTaal::Assign(const CTaal& other) {
    if (&other == this)
        return;
    BolList copies;
    copies.reserve(other.m_bols.size());
    for (const auto& bol : other.m_bols)
        copies.push_back(std::make_unique<CBol2>(*bol));
    m_bols = std::move(copies);
    m_name = other.m_name;
    m_total = other.m_total;
}

void CTaal::Recalculate(int after) {
    float total = 0.0f;
    for (std::size_t position = 0; position < m_bols.size(); ++position) {
        total += m_bols[position]->duration;
        if (static_cast<long long>(position) > after)
            m_bols[position]->index = static_cast<std::uint32_t>(position);
    }
    m_total = total;
}

void CTaal::Append(std::unique_ptr<CBol2> bol) {
    m_total += bol->duration;
    m_bols.push_back(std::move(bol));
}

int CTaal::Insert(int after, std::unique_ptr<CBol2> bol) {
    std::size_t position = 0;
    if (after >= 0)
        position = std::min(static_cast<std::size_t>(after) + 1, m_bols.size());
    m_bols.insert(m_bols.begin() + static_cast<std::ptrdiff_t>(position), std::move(bol));
    // Renumber from the place the bol really took, which differs from after + 1
    // when after lies past the end.
    Recalculate(static_cast<int>(position) - 1);
    return static_cast<int>(position);
}

std::unique_ptr<CBol2> CTaal::Remove(int position) {
    if (position < 0 || static_cast<std::size_t>(position) >= m_bols.size())
        return nullptr;
    auto it = m_bols.begin() + position;
    std::unique_ptr<CBol2> removed = std::move(*it);
    m_bols.erase(it);
    Recalculate(std::max(position - 1, -1));
    return removed;
}

CBol2* CTaal::BolAt(int position) {
    if (position < 0 || static_cast<std::size_t>(position) >= m_bols.size())
        return nullptr;
    return m_bols[static_cast<std::size_t>(position)].get();
}

const CBol2* CTaal::BolAt(int position) const {
    return const_cast<CTaal*>(this)->BolAt(position);
}

} // namespace lorvanta
