#pragma once

// Building blocks of the stroke synthesiser: decaying partials on a pitch
// curve, filtered noise bursts, and the finishing pass that turns a signal
// into 16-bit samples. Everything is plain double arithmetic with fixed seeds,
// so a given build produces the same bits on every run.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lorvanta::strokegen {

inline constexpr int kSampleRate = 22050;

// splitmix64: small, fast, and the same sequence everywhere.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next();
    // Uniform in [-1, 1).
    double NextSigned();

private:
    std::uint64_t m_state;
};

// Fundamental frequency against time: baseHz moved by a pitch contour in
// semitones, held before its first point and after its last, and a smoothstep
// in log-frequency between successive points (a heel pressing into the bass
// head, or lifting off it). A struck head starts slightly sharp and settles:
// the result is multiplied by 1 + settleDepth * e^(-t / settleTau).
struct PitchCurve {
    struct Point {
        double t;
        double semitones;
    };

    double baseHz = 0.0;
    std::vector<Point> points;
    double settleDepth = 0.0;
    double settleTau = 0.03;

    static PitchCurve Fixed(double hz, double settleDepth = 0.0, double settleTau = 0.03);
    static PitchCurve Contour(double hz, std::vector<Point> points, double settleDepth = 0.0,
                              double settleTau = 0.03);

    double Semitones(double t) const;
    // How far the contour has moved from its first point towards its last:
    // 0 to 1 for a contour that moves one way.
    double Progress(double t) const;
    double At(double t) const;
};

// One mode: amplitude * envelope(t) * sin(ratio * phase). The envelope is
// e^(-t / tau), except that a share `ring` of the amplitude decays with
// ringTau instead: a loud, quickly damped strike over a quiet ring. A nearly
// degenerate mode pair is rendered as a second sine splitHz above, taking
// splitWeight of the amplitude. A mode whose damping changes with the pitch
// contour (a released bass head) moves its tau towards releaseTau along the
// contour's progress.
struct Partial {
    double ratio = 1.0;
    double amplitude = 0.0;
    double tau = 0.1;
    double ring = 0.0;
    double ringTau = 0.0;
    double splitHz = 0.0;
    double splitWeight = 0.0;
    double releaseTau = 0.0;
};

// Adds the partials, starting at `start` seconds, scaled by gain.
void AddPartials(std::vector<double>& out, const PitchCurve& pitch,
                 std::span<const Partial> partials, double start = 0.0, double gain = 1.0);

// White noise through a band-pass (centreHz, q) and a low-pass (7 kHz by
// default, so that playing the bank pitched up stays soft), normalised to peak
// 1, shaped by a 0.5 ms onset and e^(-t / tau), and cut at duration with a
// short taper.
struct NoiseBurst {
    double centreHz = 1000.0;
    double q = 1.0;
    double lowPassHz = 7000.0;
    double duration = 0.02;
    double level = 0.0;
    double tau = 0.005;
    std::uint64_t seed = 1;
};

void AddNoise(std::vector<double>& out, const NoiseBurst& noise, double start = 0.0,
              double gain = 1.0);

// Cuts the signal to `frames`, fades the last max(16, frames / 10) frames to
// zero, removes the mean, scales the peak to `peak` and rounds to 16 bits. The
// first and last samples are exactly zero.
std::vector<std::int16_t> Finish(std::vector<double> signal, std::size_t frames, double peak);

} // namespace lorvanta::strokegen
