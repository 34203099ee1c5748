#pragma once

// What the build-time stroke tools share: the canonical WAV image of a stroke,
// writing a file without ever leaving half of it, and the C++ source that
// compiles a set of strokes into the program.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace lorvanta::tools {

inline constexpr int kSampleRate = 22050;

// A canonical 44-byte-header WAV image: PCM, mono, 22050 Hz, 16 bits.
std::vector<unsigned char> WavImage(std::span<const std::int16_t> samples);

// Writes through a temporary name and renames; reports failures on stderr
// under the tool's name.
bool WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes,
                         const char* tool);

// A source file defining `std::span<const EmbeddedWave> function()` (see
// src/audio/StrokeData.h) over the images, element k being stroke k.
std::string EmbeddedSource(const char* tool, const char* function,
                           const std::vector<std::vector<unsigned char>>& images,
                           const std::vector<std::string>& names,
                           const std::vector<std::uint16_t>& resourceIds);

} // namespace lorvanta::tools
