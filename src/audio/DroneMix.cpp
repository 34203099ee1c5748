#include "audio/DroneMix.h"

#include "audio/SampleBank.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace lorvanta {

static_assert(std::endian::native == std::endian::little,
              "the loop's samples are read as the image's little-endian bytes");

std::size_t MixDroneInto(std::span<const std::int16_t> loop, std::size_t position, float gain,
                         unsigned char* bytes, std::size_t n) {
    if (loop.empty())
        return 0;
    position %= loop.size();
    constexpr std::size_t kChunk = 256;
    std::int16_t chunk[kChunk];
    for (std::size_t left = n / 2; left > 0;) {
        const std::size_t count = std::min({left, kChunk, loop.size() - position});
        std::memcpy(chunk, bytes, 2 * count);
        MixSamples(reinterpret_cast<const unsigned char*>(loop.data() + position), count, gain,
                   chunk);
        std::memcpy(bytes, chunk, 2 * count);
        bytes += 2 * count;
        left -= count;
        position = (position + count) % loop.size();
    }
    return position;
}

DroneLoop DroneFeed::Exchange(DroneLoop loop) {
    m_loop.swap(loop);
    m_position = m_loop && !m_loop->empty() ? m_position % m_loop->size() : 0;
    return loop;
}

void DroneFeed::MixInto(unsigned char* bytes, std::size_t n) {
    if (!m_loop || m_loop->empty())
        return;
    if (IsOn()) {
        m_position = MixDroneInto(*m_loop, m_position, Gain(), bytes, n);
    } else {
        Move(static_cast<std::int64_t>(n));
    }
}

void DroneFeed::Move(std::int64_t bytes) {
    if (!m_loop || m_loop->empty())
        return;
    const auto size = static_cast<std::int64_t>(m_loop->size());
    std::int64_t moved = (static_cast<std::int64_t>(m_position) + bytes / 2) % size;
    if (moved < 0)
        moved += size;
    m_position = static_cast<std::size_t>(moved);
}

} // namespace lorvanta
