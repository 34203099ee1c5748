#pragma once

// The program's 30 stroke recordings, sound ids 0 to 29.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lorvanta::strokegen {

inline constexpr int kStrokeCount = 30;

// Length of each recording in 16-bit frames; fixed, since Taal timing and the
// renderer's block sizes are built around them.
std::size_t StrokeFrames(int id);

// Resource id carried by each recording: 131 for id 0, 132 + id otherwise.
std::uint16_t StrokeResourceId(int id);

// The stroke's name, for listings.
const char* StrokeName(int id);

// Synthesises stroke `id` (0 to 29): StrokeFrames(id) samples.
std::vector<std::int16_t> MakeStroke(int id);

} // namespace lorvanta::strokegen
