#include "Synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace lorvanta::strokegen {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A second-order section in direct form I.
class Biquad {
public:
    static Biquad BandPass(double centreHz, double q) {
        const double w0 = kTwoPi * centreHz / kSampleRate;
        const double alpha = std::sin(w0) / (2.0 * q);
        return Biquad(alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * std::cos(w0), 1.0 - alpha);
    }
    static Biquad LowPass(double cornerHz) {
        const double w0 = kTwoPi * cornerHz / kSampleRate;
        // Q = 1/sqrt(2): maximally flat.
        const double alpha = std::sin(w0) / std::numbers::sqrt2;
        const double c = std::cos(w0);
        return Biquad((1.0 - c) / 2.0, 1.0 - c, (1.0 - c) / 2.0, 1.0 + alpha, -2.0 * c,
                      1.0 - alpha);
    }

    double Process(double x) {
        const double y = m_b0 * x + m_b1 * m_x1 + m_b2 * m_x2 - m_a1 * m_y1 - m_a2 * m_y2;
        m_x2 = m_x1;
        m_x1 = x;
        m_y2 = m_y1;
        m_y1 = y;
        return y;
    }

private:
    Biquad(double b0, double b1, double b2, double a0, double a1, double a2)
        : m_b0(b0 / a0), m_b1(b1 / a0), m_b2(b2 / a0), m_a1(a1 / a0), m_a2(a2 / a0) {}

    double m_b0, m_b1, m_b2, m_a1, m_a2;
    double m_x1 = 0.0, m_x2 = 0.0, m_y1 = 0.0, m_y2 = 0.0;
};

constexpr double kNoiseOnset = 0.0005;
constexpr double kNoiseTaper = 0.002;

std::size_t FrameAt(double seconds) {
    return static_cast<std::size_t>(std::floor(seconds * kSampleRate + 0.5));
}

} // namespace

std::uint64_t SplitMix64::Next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double SplitMix64::NextSigned() {
    // 53 random bits scaled exactly into [0, 2), then shifted.
    return static_cast<double>(Next() >> 11) * 0x1.0p-52 - 1.0;
}

PitchCurve PitchCurve::Fixed(double hz, double settleDepth, double settleTau) {
    return Contour(hz, {}, settleDepth, settleTau);
}

PitchCurve PitchCurve::Contour(double hz, std::vector<Point> points, double settleDepth,
                               double settleTau) {
    PitchCurve curve;
    curve.baseHz = hz;
    curve.points = std::move(points);
    curve.settleDepth = settleDepth;
    curve.settleTau = settleTau;
    return curve;
}

double PitchCurve::Semitones(double t) const {
    if (points.empty()) {
        return 0.0;
    }
    if (t <= points.front().t) {
        return points.front().semitones;
    }
    for (std::size_t i = 1; i < points.size(); ++i) {
        const Point& a = points[i - 1];
        const Point& b = points[i];
        if (t < b.t) {
            const double u = (t - a.t) / (b.t - a.t);
            return a.semitones + (b.semitones - a.semitones) * u * u * (3.0 - 2.0 * u);
        }
    }
    return points.back().semitones;
}

double PitchCurve::Progress(double t) const {
    if (points.size() < 2 || points.back().semitones == points.front().semitones) {
        return 0.0;
    }
    return (Semitones(t) - points.front().semitones) /
           (points.back().semitones - points.front().semitones);
}

double PitchCurve::At(double t) const {
    double hz = baseHz;
    if (!points.empty()) {
        hz *= std::exp2(Semitones(t) / 12.0);
    }
    if (settleDepth != 0.0) {
        hz *= 1.0 + settleDepth * std::exp(-t / settleTau);
    }
    return hz;
}

void AddPartials(std::vector<double>& out, const PitchCurve& pitch,
                 std::span<const Partial> partials, double start, double gain) {
    const std::size_t first = FrameAt(start);
    if (first >= out.size()) {
        return;
    }
    const std::size_t count = out.size() - first;

    // The phase of the fundamental, shared by every partial.
    std::vector<double> phase(count);
    double phi = 0.0;
    for (std::size_t n = 0; n < count; ++n) {
        phase[n] = phi;
        phi += kTwoPi * pitch.At(static_cast<double>(n) / kSampleRate) / kSampleRate;
    }

    for (const Partial& partial : partials) {
        const double mainAmp = gain * partial.amplitude * (1.0 - partial.splitWeight);
        const double splitAmp = gain * partial.amplitude * partial.splitWeight;
        const bool releases = partial.releaseTau > 0.0;
        double logEnvelope = 0.0;
        for (std::size_t n = 0; n < count; ++n) {
            const double t = static_cast<double>(n) / kSampleRate;
            double envelope;
            if (releases) {
                envelope = std::exp(logEnvelope);
                const double tau =
                    partial.tau * std::pow(partial.releaseTau / partial.tau, pitch.Progress(t));
                logEnvelope -= 1.0 / (tau * kSampleRate);
            } else {
                envelope = std::exp(-t / partial.tau);
            }
            if (partial.ring > 0.0) {
                envelope =
                    (1.0 - partial.ring) * envelope + partial.ring * std::exp(-t / partial.ringTau);
            }
            const double arg = partial.ratio * phase[n];
            double value = mainAmp * std::sin(arg);
            if (splitAmp != 0.0) {
                value += splitAmp * std::sin(arg + kTwoPi * partial.splitHz * t);
            }
            out[first + n] += envelope * value;
        }
    }
}

void AddNoise(std::vector<double>& out, const NoiseBurst& noise, double start, double gain) {
    const std::size_t first = FrameAt(start);
    const std::size_t length = FrameAt(noise.duration);
    if (first >= out.size() || length == 0) {
        return;
    }

    SplitMix64 rng(noise.seed);
    Biquad bandPass = Biquad::BandPass(noise.centreHz, noise.q);
    Biquad lowPass = Biquad::LowPass(noise.lowPassHz);
    std::vector<double> burst(length);
    double peak = 0.0;
    for (double& value : burst) {
        value = lowPass.Process(bandPass.Process(rng.NextSigned()));
        peak = std::max(peak, std::abs(value));
    }
    if (peak == 0.0) {
        return;
    }

    const std::size_t onset = std::max<std::size_t>(1, FrameAt(kNoiseOnset));
    const std::size_t taper = std::min(length, std::max<std::size_t>(2, FrameAt(kNoiseTaper)));
    const double scale = gain * noise.level / peak;
    for (std::size_t n = 0; n < length && first + n < out.size(); ++n) {
        const double t = static_cast<double>(n) / kSampleRate;
        double envelope = std::exp(-t / noise.tau);
        if (n < onset) {
            envelope *= static_cast<double>(n) / static_cast<double>(onset);
        }
        if (n >= length - taper) {
            const double u =
                static_cast<double>(n - (length - taper) + 1) / static_cast<double>(taper);
            envelope *= 0.5 * (1.0 + std::cos(std::numbers::pi * u));
        }
        out[first + n] += scale * envelope * burst[n];
    }
}

std::vector<std::int16_t> Finish(std::vector<double> signal, std::size_t frames, double peak) {
    signal.resize(frames, 0.0);
    std::vector<std::int16_t> samples(frames, 0);
    if (frames < 3) {
        return samples;
    }

    const std::size_t fade = std::min(frames, std::max<std::size_t>(16, frames / 10));
    for (std::size_t i = 0; i < fade; ++i) {
        const double u = static_cast<double>(i) / static_cast<double>(fade - 1);
        signal[frames - fade + i] *= 0.5 * (1.0 + std::cos(std::numbers::pi * u));
    }

    // Remove the mean with a Hann-shaped offset: it keeps both ends at zero
    // and lies far below the audible range.
    const double span = static_cast<double>(frames - 1);
    double sum = 0.0;
    double weights = 0.0;
    std::vector<double> window(frames);
    for (std::size_t n = 0; n < frames; ++n) {
        window[n] = 0.5 * (1.0 - std::cos(kTwoPi * static_cast<double>(n) / span));
        sum += signal[n];
        weights += window[n];
    }
    const double offset = sum / weights;
    double loudest = 0.0;
    for (std::size_t n = 0; n < frames; ++n) {
        signal[n] -= offset * window[n];
        loudest = std::max(loudest, std::abs(signal[n]));
    }
    if (loudest == 0.0) {
        return samples;
    }

    const double scale = peak / loudest;
    for (std::size_t n = 1; n + 1 < frames; ++n) {
        const double value = std::floor(signal[n] * scale + 0.5);
        samples[n] = static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
    }
    return samples;
}

} // namespace lorvanta::strokegen
