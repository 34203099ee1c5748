#include "audio/StrokeShaping.h"

#include <algorithm>
#include <cmath>

namespace lorvanta {

namespace {

// A well-mixed 32-bit hash (splitmix-style finaliser) of a few numbers.
std::uint32_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>((x ^ (x >> 31)) >> 32);
}

// A value in [-1, 1] from a hash.
float Signed(std::uint32_t hash) {
    return static_cast<float>(static_cast<double>(hash) / 2147483647.5 - 1.0);
}

std::int16_t Saturate(double value) {
    return static_cast<std::int16_t>(std::clamp(std::lround(value), -32768l, 32767l));
}

// Catmull-Rom interpolation: enough for the few cents a hit varies by.
std::vector<std::int16_t> Interpolate(std::span<const std::int16_t> x, double factor) {
    if (x.empty())
        return {};
    const auto length = static_cast<std::size_t>(static_cast<double>(x.size()) / factor);
    std::vector<std::int16_t> y(length);
    auto at = [&](std::ptrdiff_t i) {
        return i < 0 || i >= static_cast<std::ptrdiff_t>(x.size())
                   ? 0.0
                   : static_cast<double>(x[static_cast<std::size_t>(i)]);
    };
    for (std::size_t k = 0; k < length; ++k) {
        const double t = static_cast<double>(k) * factor;
        const auto i = static_cast<std::ptrdiff_t>(t);
        const double f = t - static_cast<double>(i);
        const double p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
        y[k] = Saturate(
            p1 + 0.5 * f *
                     (p2 - p0 +
                      f * (2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3 + f * (3.0 * (p1 - p2) + p3 - p0))));
    }
    return y;
}

} // namespace

HitVariation VariationOf(std::uint32_t variant, std::uint32_t stroke, float humanise) {
    if (!(humanise > 0.0f))
        return {};
    const float amount = std::min(humanise, 100.0f) / 100.0f;
    const std::uint64_t seed = (std::uint64_t{stroke} << 8 | variant) * 4;
    return {1.5f * amount * Signed(Mix(seed)), 8.0f * amount * Signed(Mix(seed + 1)),
            amount * Signed(Mix(seed + 2))};
}

std::uint32_t VariantAt(std::size_t bolIndex, float humanise) {
    return humanise > 0.0f ? Mix(std::uint64_t{bolIndex} << 1) % kHitVariants : 0;
}

std::int32_t TimingAt(std::size_t bolIndex, float humanise, std::uint32_t rate) {
    if (!(humanise > 0.0f))
        return 0;
    const double seconds =
        0.003 * std::min(humanise, 100.0f) / 100.0 * Signed(Mix(std::uint64_t{bolIndex} << 1 | 1));
    return static_cast<std::int32_t>(std::lround(seconds * rate));
}

std::vector<std::int16_t> ShapeStroke(std::span<const unsigned char> samples, float cents,
                                      float tilt, const StrokeResampler& resampler) {
    std::vector<std::int16_t> x(samples.size() / 2);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(samples[2 * i] | samples[2 * i + 1] << 8));
    if (cents != 0.0f) {
        const double factor = std::pow(2.0, static_cast<double>(cents) / 1200.0);
        // Beyond a humanised hit's few cents, the whole stroke is resampled properly.
        x = std::abs(cents) > 10.0f && resampler ? resampler(x, factor) : Interpolate(x, factor);
    }
    if (tilt != 0.0f) {
        // A gentle shelf around 1.5 kHz: up to about +-2 dB above it, made by
        // adding or taking away the part a one-pole low-pass leaves out.
        const double a = std::exp(-2.0 * 3.14159265358979 * 1500.0 / 22050.0);
        const double amount = 0.26 * static_cast<double>(tilt);
        double low = 0.0;
        for (std::int16_t& sample : x) {
            low = (1.0 - a) * sample + a * low;
            sample = Saturate(sample + amount * (sample - low));
        }
    }
    return x;
}

} // namespace lorvanta
