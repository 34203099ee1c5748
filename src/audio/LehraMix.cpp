#include "audio/LehraMix.h"

#include "audio/DroneMix.h"

#include <algorithm>
#include <span>

namespace lorvanta {

namespace {

bool MatchesImage(const LehraLoop* loop, std::uint64_t dataSize) {
    return loop != nullptr && !loop->samples.empty() && 2 * loop->cycleSamples == dataSize;
}

// Mixes n bytes of the loop from `position`, the level moving a step a sample
// towards `target` until it is there; the loop's position after them.
std::size_t MixFading(std::span<const std::int16_t> loop, std::size_t position, float gain,
                      float& level, float target, unsigned char* bytes, std::size_t n) {
    std::size_t done = 0;
    for (; done + 2 <= n && level != target; done += 2) {
        level = target > level ? std::min(target, level + LehraFeed::kFadeStep)
                               : std::max(target, level - LehraFeed::kFadeStep);
        position = MixDroneInto(loop, position, gain * level, bytes + done, 2);
    }
    if (done >= n)
        return position;
    if (level > 0.0f)
        return MixDroneInto(loop, position, gain * level, bytes + done, n - done);
    return (position + (n - done) / 2) % loop.size();
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
    // It leaves and enters with a few milliseconds' fade, as the tabla's images
    // cross-fade: what was sounding goes on from where it was, dying away.
    if (IsOn() && MatchesImage(m_current, dataSize)) {
        const std::uint64_t cycle = m_current->cycleSamples;
        const std::uint64_t start =
            static_cast<std::uint64_t>(m_cycle % m_current->cycles) * cycle + imageOffset / 2;
        m_fadePosition = MixFading(m_current->samples, static_cast<std::size_t>(start), Gain(),
                                   m_level, 1.0f, bytes, n);
        m_sounding = true;
    } else if (m_sounding && m_level > 0.0f && m_current != nullptr &&
               !m_current->samples.empty()) {
        m_fadePosition =
            MixFading(m_current->samples, m_fadePosition, Gain(), m_level, 0.0f, bytes, n);
    } else {
        m_level = 0.0f;
        m_sounding = false;
    }
    if (imageOffset + n >= dataSize)
        m_cycle = (m_cycle + 1) % 2;
}

void LehraFeed::MoveCycles(std::int64_t wraps) {
    m_cycle = static_cast<int>(((m_cycle + wraps) % 2 + 2) % 2);
}

} // namespace lorvanta
