#pragma once

// Small measurements over 16-bit stroke recordings: spectra, decay, pitch and
// brightness. Shared by the stroke tests and the recorded kit's --measure mode,
// independent of the synthesiser.

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

namespace lorvanta::test {

inline constexpr double kRate = 22050.0;

// In-place radix-2 FFT; the size must be a power of two.
inline void Fft(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0, 0.0);
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

// Magnitude spectrum of the first `frames` samples under a Hann window,
// zero-padded to `size` points; bin k is k * kRate / size Hz.
struct Spectrum {
    std::vector<double> magnitude;
    double binHz = 0.0;

    // The strongest bin within ±tolerance of hz, refined by a parabola.
    struct Peak {
        double hz;
        double magnitude;
    };
    Peak PeakNear(double hz, double tolerance) const {
        return Strongest(hz * (1.0 - tolerance), hz * (1.0 + tolerance));
    }
    Peak Strongest(double loHz, double hiHz) const {
        const auto lo = static_cast<std::size_t>(std::ceil(loHz / binHz));
        const auto hi = std::min(magnitude.size() - 2, static_cast<std::size_t>(hiHz / binHz));
        std::size_t best = lo;
        for (std::size_t k = lo; k <= hi; ++k)
            if (magnitude[k] > magnitude[best])
                best = k;
        const double a = magnitude[best - 1], b = magnitude[best], c = magnitude[best + 1];
        const double curve = a - 2.0 * b + c;
        // At the edge of the range the best bin need not be a maximum: keep
        // the refinement within half a bin.
        const double offset = curve != 0.0 ? std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : 0.0;
        return {(static_cast<double>(best) + offset) * binHz, b};
    }
    // Magnitude-weighted mean frequency.
    double Centroid() const {
        double weighted = 0.0, total = 0.0;
        for (std::size_t k = 0; k < magnitude.size(); ++k) {
            weighted += static_cast<double>(k) * binHz * magnitude[k];
            total += magnitude[k];
        }
        return weighted / total;
    }
};

inline Spectrum HannSpectrum(std::span<const std::int16_t> x, std::size_t frames,
                             std::size_t size) {
    frames = std::min(frames, x.size());
    std::vector<std::complex<double>> a(size);
    for (std::size_t n = 0; n < frames; ++n) {
        const double w = 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * static_cast<double>(n) /
                                               static_cast<double>(frames)));
        a[n] = w * x[n];
    }
    Fft(a);
    Spectrum s;
    s.binHz = kRate / static_cast<double>(size);
    s.magnitude.resize(size / 2 + 1);
    for (std::size_t k = 0; k < s.magnitude.size(); ++k)
        s.magnitude[k] = std::abs(a[k]);
    return s;
}

inline double Decibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

// Seconds from the start until the RMS of successive 10 ms windows first falls
// 20 dB below its maximum (after that maximum).
inline double T20(std::span<const std::int16_t> x) {
    const std::size_t window = 220;
    std::vector<double> rms;
    for (std::size_t start = 0; start + window <= x.size(); start += window) {
        double sum = 0.0;
        for (std::size_t n = start; n < start + window; ++n)
            sum += static_cast<double>(x[n]) * x[n];
        rms.push_back(std::sqrt(sum / window));
    }
    const auto loudest = std::max_element(rms.begin(), rms.end());
    for (auto it = loudest; it != rms.end(); ++it)
        if (*it <= *loudest / 10.0)
            return static_cast<double>(it - rms.begin()) * window / kRate;
    return static_cast<double>(x.size()) / kRate;
}

// Fundamental frequency between t0 and t1 seconds by the YIN difference
// function, searching 60 to 400 Hz.
inline double Pitch(std::span<const std::int16_t> x, double t0, double t1) {
    const auto begin = static_cast<std::size_t>(t0 * kRate);
    const auto end = std::min(x.size(), static_cast<std::size_t>(t1 * kRate));
    const std::size_t maxLag = static_cast<std::size_t>(kRate / 60.0);
    const std::size_t minLag = static_cast<std::size_t>(kRate / 400.0);
    if (end <= begin + maxLag + 64)
        return 0.0;
    const std::size_t width = end - begin - maxLag - 1;
    std::vector<double> cmnd(maxLag + 2, 1.0);
    double running = 0.0;
    for (std::size_t lag = 1; lag <= maxLag + 1; ++lag) {
        double d = 0.0;
        for (std::size_t n = 0; n < width; ++n) {
            const double diff = static_cast<double>(x[begin + n]) - x[begin + n + lag];
            d += diff * diff;
        }
        running += d;
        cmnd[lag] = running > 0.0 ? d * static_cast<double>(lag) / running : 1.0;
    }
    std::size_t lag = minLag;
    while (lag < maxLag && cmnd[lag] >= 0.15)
        ++lag;
    if (lag == maxLag) {
        lag = static_cast<std::size_t>(
            std::min_element(cmnd.begin() + minLag, cmnd.begin() + maxLag) - cmnd.begin());
    }
    while (lag < maxLag && cmnd[lag + 1] < cmnd[lag])
        ++lag;
    const double a = cmnd[lag - 1], b = cmnd[lag], c = cmnd[lag + 1];
    const double curve = a - 2.0 * b + c;
    const double offset = curve != 0.0 ? 0.5 * (a - c) / curve : 0.0;
    return kRate / (static_cast<double>(lag) + offset);
}

// The treble head's upper modes h2 to h5 read as one harmonic series. The
// series is found by the best harmonic sum over 250 to 320 Hz (so a first mode
// sharp of the series does not pull it), each mode then taken as the
// strongest peak within 1.5% of k * f0, and f0 fitted to them by least squares.
// The window starts 10 ms in, after the strike's noise.
struct ModeSeries {
    double f0 = 0.0;
    std::array<double, 6> hz{};    // h1 to h5 at index 1 to 5
    std::array<double, 6> level{}; // dB against the strongest of them
};

inline ModeSeries UpperModeSeries(std::span<const std::int16_t> x) {
    const std::size_t skip = std::min<std::size_t>(220, x.size());
    const Spectrum s = HannSpectrum(x.subspan(skip), 4096, 16384);
    double best = 0.0, bestScore = -1e300;
    for (double f = 250.0; f <= 320.0; f += 0.1) {
        double score = 0.0;
        for (int k = 2; k <= 5; ++k)
            score += std::log(s.PeakNear(k * f, 0.004).magnitude + 1e-9);
        if (score > bestScore) {
            bestScore = score;
            best = f;
        }
    }
    ModeSeries series;
    double weighted = 0.0, squares = 0.0, loudest = 0.0;
    std::array<double, 6> magnitude{};
    for (int k = 1; k <= 5; ++k) {
        const Spectrum::Peak peak = s.PeakNear(k * best, 0.015);
        series.hz[k] = peak.hz;
        magnitude[k] = peak.magnitude;
        loudest = std::max(loudest, peak.magnitude);
        if (k >= 2) {
            weighted += k * peak.hz;
            squares += k * k;
        }
    }
    for (int k = 1; k <= 5; ++k)
        series.level[k] = Decibels(magnitude[k] / loudest);
    series.f0 = weighted / squares;
    return series;
}

// The strongest spectral peak between loHz and hiHz over the first 4096
// frames: the mode a stroke sounds most.
inline double DominantMode(std::span<const std::int16_t> x, double loHz, double hiHz) {
    return HannSpectrum(x, 4096, 16384).Strongest(loHz, hiHz).hz;
}

inline double Cents(double hz, double reference) {
    return 1200.0 * std::log2(hz / reference);
}

// The attack: the loudest sample of the first 100 ms.
inline std::size_t AttackIndex(std::span<const std::int16_t> x) {
    const std::size_t end = std::min(x.size(), static_cast<std::size_t>(0.1 * kRate));
    std::size_t best = 0;
    for (std::size_t n = 0; n < end; ++n)
        if (std::abs(static_cast<int>(x[n])) > std::abs(static_cast<int>(x[best])))
            best = n;
    return best;
}

// The strongest partial of a ringing stroke: the largest spectral peak
// between 200 and 1500 Hz over 50 to 300 ms after the attack (Hann window,
// zero-padded). 0 for a stroke too short to ring that long.
inline double RingingPartial(std::span<const std::int16_t> x) {
    const std::size_t from = AttackIndex(x) + static_cast<std::size_t>(0.05 * kRate);
    const auto frames = static_cast<std::size_t>(0.25 * kRate);
    if (x.size() < from + frames)
        return 0.0;
    return HannSpectrum(x.subspan(from), frames, 65536).Strongest(200.0, 1500.0).hz;
}

// Cents from the nearest C# in any octave, or G# (its third harmonic's
// octaves), whichever is nearer; the sign says sharp (+) or flat (-).
inline double CentsFromDrone(double hz) {
    auto from = [hz](double reference) {
        const double c = std::fmod(1200.0 * std::log2(hz / reference), 1200.0);
        const double wrapped = c < 0.0 ? c + 1200.0 : c;
        return wrapped >= 600.0 ? wrapped - 1200.0 : wrapped;
    };
    const double sa = from(277.1826), pa = from(415.3047);
    return std::abs(sa) <= std::abs(pa) ? sa : pa;
}

// Brightness over the attack: the centroid of the first 100 ms.
inline double AttackCentroid(std::span<const std::int16_t> x) {
    return HannSpectrum(x, 2205, 8192).Centroid();
}

// The crack of the strike: the centroid of the first 5 ms.
inline double CrackCentroid(std::span<const std::int16_t> x) {
    return HannSpectrum(x, 110, 4096).Centroid();
}

// RMS between t0 and t1 seconds in dB against the loudest 10 ms of the stroke.
inline double LevelDb(std::span<const std::int16_t> x, double t0, double t1) {
    auto rms = [&](std::size_t a, std::size_t b) {
        double sum = 0.0;
        for (std::size_t n = a; n < b; ++n)
            sum += static_cast<double>(x[n]) * x[n];
        return b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0.0;
    };
    double loudest = 0.0;
    for (std::size_t start = 0; start + 220 <= x.size(); start += 110)
        loudest = std::max(loudest, rms(start, start + 220));
    const auto a = std::min(x.size(), static_cast<std::size_t>(t0 * kRate));
    const auto b = std::min(x.size(), static_cast<std::size_t>(t1 * kRate));
    return Decibels(std::max(rms(a, b), 1e-9) / loudest);
}

} // namespace lorvanta::test
