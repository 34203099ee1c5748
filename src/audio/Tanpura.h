#pragma once

// The tanpura's drone: four strings plucked in the instrument's cycle (the
// first string, the two middle ones at Sa, the low Sa, then a rest), rendered
// once per tuning into a loop of one cycle that repeats seamlessly. Sa is the
// dayan's note: C#4 at no pitch shift, or the octave below.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace lorvanta {

// What the first string sounds: the lower octave's Pa, Ma or Ni, or Sa.
enum class DroneTuning { Pa, Ma, Ni, Sa };

// "pa", "ma", "ni" or "sa" (any case); nothing for anything else.
std::optional<DroneTuning> ParseDroneTuning(std::string_view name);
// The name ParseDroneTuning reads back: "pa", "ma", "ni" or "sa".
const char* DroneTuningName(DroneTuning tuning);

struct TanpuraSetup {
    DroneTuning tuning = DroneTuning::Pa;
    int octave = 3; // Sa at C#3 or C#4

    bool operator==(const TanpuraSetup&) const = default;
};

inline constexpr int kLowestDroneOctave = 3;
inline constexpr int kHighestDroneOctave = 4;

// Sa's frequency in Hz at no pitch shift: C#3 or C#4 in equal temperament
// from A4 = 440 Hz.
double DroneSaFrequency(int octave);

// The four strings in the order they are plucked, in Hz: the first string
// (pure intervals below Sa: Pa 3/4, Ma 2/3, Ni 15/16; or Sa), Sa, Sa, low Sa.
std::array<double, 4> TanpuraStringFrequencies(const TanpuraSetup& setup);

// When each string is plucked within the cycle, in samples, and the cycle's
// length: even spacing, the rest as long as one gap.
inline constexpr double kTanpuraPluckGapSeconds = 0.8;
std::array<std::size_t, 4> TanpuraPluckOffsets(std::uint32_t sampleRate);
std::size_t TanpuraCycleLength(std::uint32_t sampleRate);

// One string's part of a cycle, plucked at its start: it rings, and the
// finger's stop fades it to exactly zero at the cycle's last sample.
std::vector<float> RenderTanpuraString(double frequency, std::uint32_t sampleRate);

// One cycle as 16-bit samples at sampleRate. Each string rings until the
// finger stops it just before its next pluck, and a string's ring runs over
// the cycle's end into its start, so the loop joins itself without a step.
// Allocates and takes some tens of milliseconds: call it off the
// audio threads.
std::vector<std::int16_t> RenderTanpuraLoop(const TanpuraSetup& setup, std::uint32_t sampleRate);

} // namespace lorvanta
