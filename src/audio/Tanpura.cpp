#include "audio/Tanpura.h"

#include "audio/JawariString.h"
#include "model/Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <numbers>
#include <string>

namespace lorvanta {

namespace {

constexpr double kFingerStopSeconds = 0.04; // the finger's touch before a pluck
constexpr double kLoopPeak = 0.5;           // of full scale; the mix adds the tabla
constexpr std::array<double, 4> kStringLevels = {1.0, 0.9, 0.9, 1.0};

} // namespace

namespace {
constexpr std::array<const char*, 4> kTuningNames{"pa", "ma", "ni", "sa"};
} // namespace

std::optional<DroneTuning> ParseDroneTuning(std::string_view name) {
    const std::string lower = ToLower(name);
    for (std::size_t i = 0; i < kTuningNames.size(); ++i)
        if (lower == kTuningNames[i])
            return static_cast<DroneTuning>(i);
    return std::nullopt;
}

const char* DroneTuningName(DroneTuning tuning) {
    return kTuningNames[static_cast<std::size_t>(tuning)];
}

double DroneSaFrequency(int octave) {
    // C#4 is 8 semitones below A4; each octave halves or doubles it.
    return 440.0 * std::pow(2.0, -8.0 / 12.0) * std::pow(2.0, octave - 4);
}

std::array<double, 4> TanpuraStringFrequencies(const TanpuraSetup& setup) {
    const double sa = DroneSaFrequency(setup.octave);
    double ratio = 1.0;
    switch (setup.tuning) {
    case DroneTuning::Pa:
        ratio = 3.0 / 4.0;
        break;
    case DroneTuning::Ma:
        ratio = 2.0 / 3.0;
        break;
    case DroneTuning::Ni:
        ratio = 15.0 / 16.0;
        break;
    case DroneTuning::Sa:
        break;
    }
    return {sa * ratio, sa, sa, sa / 2.0};
}

std::array<std::size_t, 4> TanpuraPluckOffsets(std::uint32_t sampleRate) {
    const auto gap = static_cast<std::size_t>(std::lround(kTanpuraPluckGapSeconds * sampleRate));
    return {0, gap, 2 * gap, 3 * gap};
}

std::size_t TanpuraCycleLength(std::uint32_t sampleRate) {
    return 5 * static_cast<std::size_t>(std::lround(kTanpuraPluckGapSeconds * sampleRate));
}

std::vector<float> RenderTanpuraString(double frequency, std::uint32_t sampleRate) {
    const std::size_t length = TanpuraCycleLength(sampleRate);
    const std::size_t stop = std::min<std::size_t>(
        length / 2, static_cast<std::size_t>(std::lround(kFingerStopSeconds * sampleRate)));
    std::vector<float> ring(length);
    CJawariString(frequency, sampleRate).Render(ring);
    // The finger stops the string over the last moments before it plucks it
    // again: a raised-cosine fade that reaches silence exactly.
    for (std::size_t n = 0; n < stop; ++n) {
        const double fade = 0.5 + 0.5 * std::cos(std::numbers::pi * static_cast<double>(n + 1) /
                                                 static_cast<double>(stop));
        ring[length - stop + n] *= static_cast<float>(fade);
    }
    return ring;
}

std::vector<std::int16_t> RenderTanpuraLoop(const TanpuraSetup& setup, std::uint32_t sampleRate) {
    const std::size_t length = TanpuraCycleLength(sampleRate);
    const std::array<double, 4> frequencies = TanpuraStringFrequencies(setup);
    const std::array<std::size_t, 4> offsets = TanpuraPluckOffsets(sampleRate);

    std::vector<float> mix(length, 0.0f);
    for (std::size_t s = 0; s < frequencies.size(); ++s) {
        const std::vector<float> ring = RenderTanpuraString(frequencies[s], sampleRate);
        for (std::size_t n = 0; n < length; ++n)
            mix[(offsets[s] + n) % length] += static_cast<float>(kStringLevels[s]) * ring[n];
    }

    float peak = 0.0f;
    for (const float value : mix)
        peak = std::max(peak, std::abs(value));
    const double scale = peak > 0.0f ? kLoopPeak * 32767.0 / peak : 0.0;
    std::vector<std::int16_t> loop(length);
    for (std::size_t n = 0; n < length; ++n)
        loop[n] = static_cast<std::int16_t>(std::lround(scale * mix[n]));
    return loop;
}

} // namespace lorvanta
