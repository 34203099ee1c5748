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
    // Only a loop rendered for this image's cycle is heard: between a rebuild
    // at another tempo and the new loop the lehra is silent, never out of time.
    if (IsOn() && MatchesImage(m_current, dataSize)) {
        const std::uint64_t cycle = m_current->cycleSamples;
        const std::uint64_t start =
            static_cast<std::uint64_t>(m_cycle % m_current->cycles) * cycle + imageOffset / 2;
        MixDroneInto(m_current->samples, static_cast<std::size_t>(start), Gain(), bytes, n);
    }
    if (imageOffset + n >= dataSize)
        m_cycle = (m_cycle + 1) % 2;
}

void LehraFeed::MoveCycles(std::int64_t wraps) {
    m_cycle = static_cast<int>(((m_cycle + wraps) % 2 + 2) % 2);
}

} // namespace lorvanta
