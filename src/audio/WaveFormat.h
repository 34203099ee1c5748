#pragma once

// The sample format of the recordings, the bol blocks and the Taal image, and
// the canonical 44-byte WAV header that carries it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace lorvanta {

inline constexpr std::uint32_t kSampleRate = 22050;
inline constexpr std::size_t kWaveHeaderSize = 44;

// The format of the image's samples as handed to playback.
struct WaveFormat {
    std::uint16_t formatTag = 1; // PCM
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSec = kSampleRate;
    std::uint32_t avgBytesPerSec = 2 * kSampleRate;
    std::uint16_t blockAlign = 2;
    std::uint16_t bitsPerSample = 16;

    bool operator==(const WaveFormat&) const = default;
};

using WaveHeader = std::array<std::uint8_t, kWaveHeaderSize>;

// Byte offsets of the header fields the program rewrites.
inline constexpr std::size_t kRiffSizeOffset = 4;
inline constexpr std::size_t kSampleRateOffset = 24;
inline constexpr std::size_t kBytesPerSecondOffset = 28;
inline constexpr std::size_t kDataSizeOffset = 40;

inline void PutLe32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    bytes[offset + 2] = static_cast<std::uint8_t>(value >> 16);
    bytes[offset + 3] = static_cast<std::uint8_t>(value >> 24);
}

inline std::uint32_t GetLe32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

inline std::uint16_t GetLe16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

// A canonical header for 16-bit mono PCM at the given rate and data size.
WaveHeader MakeWaveHeader(std::uint32_t sampleRate, std::uint32_t dataBytes);

} // namespace lorvanta
