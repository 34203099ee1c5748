#pragma once

// Measurements over a rendered cycle of a Taal (16-bit mono samples at a
// rate): how much of the cycle has no bass, how the samples step at the bol
// boundaries, and a literal render in which each drum rings until it is struck
// again, to compare a ring mode with.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

namespace lorvanta::test {

// The part of the cycle without bass: the render low-passed at 200 Hz (two
// second-order Butterworth sections, run over the cycle twice so that the
// loop's wrap is settled), its RMS in 10 ms frames in dB, and the fraction of
// frames more than 20 dB under the frames' mean power.
inline double BassFreeShare(std::span<const std::int16_t> x, double rate) {
    if (x.empty())
        return 0.0;
    const double w = std::tan(std::numbers::pi * 200.0 / rate);
    const double norm = 1.0 / (1.0 + std::numbers::sqrt2 * w + w * w);
    const double b0 = w * w * norm, b1 = 2.0 * b0, b2 = b0;
    const double a1 = 2.0 * (w * w - 1.0) * norm,
                 a2 = (1.0 - std::numbers::sqrt2 * w + w * w) * norm;
    std::vector<double> y(x.size());
    double s[2][4] = {};
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t n = 0; n < x.size(); ++n) {
            double v = x[n];
            for (auto& st : s) {
                const double out = b0 * v + b1 * st[0] + b2 * st[1] - a1 * st[2] - a2 * st[3];
                st[1] = st[0];
                st[0] = v;
                st[3] = st[2];
                st[2] = out;
                v = out;
            }
            y[n] = v;
        }
    }
    const auto frame = static_cast<std::size_t>(rate * 0.01);
    std::vector<double> levels;
    for (std::size_t start = 0; start + frame <= y.size(); start += frame) {
        double sum = 0.0;
        for (std::size_t n = start; n < start + frame; ++n)
            sum += y[n] * y[n];
        levels.push_back(10.0 * std::log10(std::max(sum / static_cast<double>(frame), 1e-12)));
    }
    if (levels.empty())
        return 0.0;
    // The mean level: the frames' mean power, in dB.
    double power = 0.0;
    for (double level : levels)
        power += std::pow(10.0, level / 10.0);
    const double mean = 10.0 * std::log10(power / static_cast<double>(levels.size()));
    const auto quiet = std::count_if(levels.begin(), levels.end(),
                                     [mean](double level) { return level < mean - 20.0; });
    return static_cast<double>(quiet) / static_cast<double>(levels.size());
}

inline double MedianStep(std::span<const std::int16_t> x) {
    std::vector<int> steps;
    for (std::size_t n = 1; n < x.size(); ++n)
        steps.push_back(std::abs(x[n] - x[n - 1]));
    if (steps.empty())
        return 0.0;
    std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2),
                     steps.end());
    return steps[steps.size() / 2];
}

// The largest |x[n] - x[n-1]| within +-1 ms of sample `at` of the looped cycle.
inline int StepAround(std::span<const std::int16_t> x, std::size_t at, double rate) {
    const auto reach = static_cast<std::ptrdiff_t>(rate * 0.001);
    const auto size = static_cast<std::ptrdiff_t>(x.size());
    int largest = 0;
    for (std::ptrdiff_t d = -reach; d <= reach; ++d) {
        const std::ptrdiff_t n = ((static_cast<std::ptrdiff_t>(at) + d) % size + size) % size;
        const std::ptrdiff_t m = (n + size - 1) % size;
        largest = std::max(
            largest, std::abs(x[static_cast<std::size_t>(n)] - x[static_cast<std::size_t>(m)]));
    }
    return largest;
}

// Bol boundaries whose step is more than `times` the render's median step.
inline int BoundarySteps(std::span<const std::int16_t> x, std::span<const std::uint64_t> bolStarts,
                         double rate, double times = 10.0) {
    if (x.size() < 2)
        return 0;
    const double median = std::max(MedianStep(x), 1.0);
    int count = 0;
    for (std::size_t i = 0; i + 1 < bolStarts.size(); ++i)
        count += StepAround(x, static_cast<std::size_t>(bolStarts[i]), rate) > times * median;
    return count;
}

// Bol boundaries that click: the step within +-1 ms, once the following bol's
// own strokes (attacks[i], starting at bol i's start) are taken out of the
// render, is more than `times` the render's median step. What is left is
// the step the next attack does not cover, such as a ring cut off.
inline int BoundaryClicks(std::span<const std::int16_t> x, std::span<const std::uint64_t> bolStarts,
                          std::span<const std::vector<std::int16_t>> attacks, double rate,
                          double times = 10.0) {
    if (x.size() < 2)
        return 0;
    const double median = std::max(MedianStep(x), 1.0);
    const auto reach = static_cast<std::ptrdiff_t>(rate * 0.001);
    const auto size = static_cast<std::ptrdiff_t>(x.size());
    int count = 0;
    for (std::size_t i = 0; i + 1 < bolStarts.size() && i < attacks.size(); ++i) {
        const auto start = static_cast<std::ptrdiff_t>(bolStarts[i]);
        auto residual = [&](std::ptrdiff_t d) {
            const std::ptrdiff_t n = ((start + d) % size + size) % size;
            const double own = d >= 0 && d < static_cast<std::ptrdiff_t>(attacks[i].size())
                                   ? attacks[i][static_cast<std::size_t>(d)]
                                   : 0.0;
            return x[static_cast<std::size_t>(n)] - own;
        };
        double largest = 0.0;
        for (std::ptrdiff_t d = -reach; d <= reach; ++d)
            largest = std::max(largest, std::abs(residual(d) - residual(d - 1)));
        count += largest > times * median;
    }
    return count;
}

// One stroke of the literal ring: its samples from onset on, until the same
// drum's next strike, which fades it out linearly over that strike's damp.
struct LiteralStrike {
    std::size_t onset = 0;
    std::size_t damp = 0;
    std::span<const std::int16_t> samples;
};

// Mixes one drum's strikes (sorted by onset) into a cycle of `length`
// samples, each ringing until the next strike of the drum, tails wrapped
// over the cycle's end (as many times as they reach).
inline void AddLiteralRing(std::span<const LiteralStrike> strikes, std::vector<double>& cycle) {
    const std::size_t n = strikes.size();
    const std::size_t length = cycle.size();
    for (std::size_t k = 0; k < n && length > 0; ++k) {
        const LiteralStrike& s = strikes[k];
        const LiteralStrike& next = strikes[(k + 1) % n];
        const std::size_t until = next.onset + (k + 1 == n ? length : 0) - s.onset;
        for (std::size_t t = 0; t < s.samples.size(); ++t) {
            double gain = 1.0;
            if (t >= until) {
                if (t >= until + next.damp)
                    break;
                gain = 1.0 - static_cast<double>(t - until) / static_cast<double>(next.damp);
            }
            cycle[(s.onset + t) % length] += gain * s.samples[t];
        }
    }
}

} // namespace lorvanta::test
