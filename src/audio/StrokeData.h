#pragma once

// The 30 stroke recordings carried inside the program, as complete WAV images
// (a canonical 44-byte header, then 16-bit mono PCM at 22050 Hz). They are
// synthesised at build time and compiled in as read-only data.

#include <cstddef>
#include <cstdint>
#include <span>

namespace lorvanta {

struct EmbeddedWave {
    std::uint16_t resourceId;   // 131 for sound 0, 132 + id for sound ids 1 to 29
    const unsigned char* bytes; // the whole WAV image, 4-byte aligned, valid for the process
    std::size_t size;           // in bytes: 44 + 2 * frames
};

inline constexpr std::size_t kEmbeddedWaveCount = 30;

// The recordings in sound-id order: element k is sound id k.
std::span<const EmbeddedWave> EmbeddedWaves();

} // namespace lorvanta
