#pragma once

// The stroke kits carried inside the program: 30 recordings each, as complete
// WAV images (a canonical 44-byte header, then 16-bit mono PCM at 22050 Hz),
// made at build time and compiled in as read-only data. The synthesised kit is
// always there; the recorded kit, derived from recordings of a real tabla, only
// in builds that had the recordings.

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

enum class BuiltInKit { Recorded, Synthesised };

// The kit's recordings in sound-id order (element k is sound id k); empty for a
// kit this build does not carry.
std::span<const EmbeddedWave> BuiltInWaves(BuiltInKit kit);
bool HasBuiltInKit(BuiltInKit kit);

// The synthesised kit's recordings, in sound-id order.
std::span<const EmbeddedWave> EmbeddedWaves();
// The recorded kit's recordings, in sound-id order (only in builds that carry
// it; use BuiltInWaves elsewhere).
std::span<const EmbeddedWave> RecordedWaves();

} // namespace lorvanta
