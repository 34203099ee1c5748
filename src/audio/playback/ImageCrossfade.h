#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lorvanta {

// Joins a rebuilt image to the one it replaces while playing: the old image's
// next samples, taken at the switch, fade out over the first samples read
// from the new image as they fade in, so that the switch never steps (a step
// is heard as an extra attack). Fixed storage: nothing allocates.
class ImageCrossfade {
public:
    // About 10 ms at the images' rate.
    static constexpr std::size_t kSamples = 220;

    // The old image's next samples, as little-endian 16-bit bytes (up to
    // kSamples of them; fewer fade over fewer).
    void Begin(const unsigned char* oldBytes, std::size_t bytes) noexcept;
    // Mixes the fade into the next n bytes read from the new image.
    void Apply(unsigned char* bytes, std::size_t n) noexcept;
    bool Active() const noexcept { return m_done < m_count; }
    void Cancel() noexcept { m_done = m_count; }

private:
    std::array<std::int16_t, kSamples> m_old{};
    std::size_t m_count = 0;
    std::size_t m_done = 0;
};

} // namespace lorvanta
