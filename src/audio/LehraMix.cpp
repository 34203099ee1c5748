#include "audio/LehraMix.h"

#include "audio/DroneMix.h"

namespace lorvanta {

namespace {

bool MatchesImage(const LehraLoop* loop, std::uint64_t dataSize) {
    return loop != nullptr && !loop->samples.empty() && 2 * loop->cycleSamples == dataSize;
}

} // namespace

void LehraFeed::SetLevelDb(float levelDb) {
    m_gain.store(DbToGain(levelDb), std::memory_order_release);
}

void LehraFeed::MixSegment(unsigned char* bytes, std::size_t n, std::uint64_t imageOffset,
                           std::uint64_t dataSize) {
    if (dataSize < 2)
        return;
    // The next cycle's image has come in: its loop goes on from here.
    if (m_next != nullptr && MatchesImage(m_next, dataSize) &&
        (imageOffset == 0 || !MatchesImage(m_current, dataSize))) {
        m_current = m_next;
        m_next = nullptr;
    }
    if (IsOn() && m_current != nullptr && !m_current->samples.empty() &&
        m_current->cycleSamples > 0) {
        // The same place of the cycle in the loop's samples (the same sample
        // when the loop was rendered for this image, as it is but for the
        // moment between a rebuild and the new loop).
        const std::uint64_t cycle = m_current->cycleSamples;
        const std::uint64_t into = imageOffset / 2 * cycle / (dataSize / 2);
        const std::uint64_t start =
            static_cast<std::uint64_t>(m_cycle % m_current->cycles) * cycle + into;
        MixDroneInto(m_current->samples, static_cast<std::size_t>(start), Gain(), bytes, n);
    }
    if (imageOffset + n >= dataSize)
        m_cycle = (m_cycle + 1) % 2;
}

void LehraFeed::MoveCycles(std::int64_t wraps) {
    m_cycle = static_cast<int>(((m_cycle + wraps) % 2 + 2) % 2);
}

} // namespace lorvanta
