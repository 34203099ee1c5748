#pragma once

// What the renderer does to a recording before it mixes it: the humanised
// variation of a hit (level, pitch, brightness, timing) and the bass drum's
// own tuning. Every variation is drawn from a seed, never from a clock, so
// the same Taal always renders to the same bytes.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace lorvanta {

// Resamples a whole stroke so that its pitch rises by factor (it gets
// 1/factor as long). The program gives the renderer libsamplerate's; without
// one the renderer interpolates.
using StrokeResampler =
    std::function<std::vector<std::int16_t>(std::span<const std::int16_t> stroke, double factor)>;

// Distinct variations of each stroke a humanised Taal is rendered with; a bol
// takes one by its place, so memory still follows the distinct bols.
inline constexpr std::uint32_t kHitVariants = 4;

// How one hit differs from the recording, at a humanise amount (0 to 100 %).
struct HitVariation {
    float levelDb = 0.0f; // up to +-1.5 dB at 100 %
    float cents = 0.0f;   // up to +-8 cents
    float tilt = 0.0f;    // brightness: -1 darker to +1 brighter, gently
    bool operator==(const HitVariation&) const = default;
};

// Variation `variant` (below kHitVariants) of the stroke `stroke` on a drum.
HitVariation VariationOf(std::uint32_t variant, std::uint32_t stroke, float humanise);
// The variant a bol takes at a place of the Taal (0 at humanise 0).
std::uint32_t VariantAt(std::size_t bolIndex, float humanise);
// A bol's timing at a place of the Taal: up to +-3 ms at 100 %, in samples at rate.
std::int32_t TimingAt(std::size_t bolIndex, float humanise, std::uint32_t rate);

// The recording (little-endian 16-bit samples) raised by cents and tilted in
// brightness. Cents beyond the humanised ones go through the resampler when
// there is one.
std::vector<std::int16_t> ShapeStroke(std::span<const unsigned char> samples, float cents,
                                      float tilt, const StrokeResampler& resampler);

} // namespace lorvanta
