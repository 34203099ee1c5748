#include "audio/playback/ImageCrossfade.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace lorvanta {

static_assert(std::endian::native == std::endian::little,
              "the images' little-endian bytes are read as the machine's own samples");

void ImageCrossfade::Begin(const unsigned char* oldBytes, std::size_t bytes) noexcept {
    m_count = std::min(bytes / 2, kSamples);
    std::memcpy(m_old.data(), oldBytes, 2 * m_count);
    m_done = 0;
}

void ImageCrossfade::Apply(unsigned char* bytes, std::size_t n) noexcept {
    const std::size_t samples = std::min(n / 2, m_count - std::min(m_done, m_count));
    for (std::size_t i = 0; i < samples; ++i, ++m_done) {
        std::int16_t fresh = 0;
        std::memcpy(&fresh, bytes + 2 * i, 2);
        // Linear: the two images hold the same strokes at the same place, so
        // their sum keeps its level through the join.
        const float in = static_cast<float>(m_done + 1) / static_cast<float>(m_count + 1);
        const float mixed =
            static_cast<float>(fresh) * in + static_cast<float>(m_old[m_done]) * (1.0f - in);
        const auto sample =
            static_cast<std::int16_t>(std::clamp(std::lround(mixed), -32768L, 32767L));
        std::memcpy(bytes + 2 * i, &sample, 2);
    }
}

} // namespace lorvanta
