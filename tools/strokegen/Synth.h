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

// Fundamental frequency against time: held at startHz until glideStart, a
// smoothstep glide in log-frequency to endHz by glideEnd, then held. A struck
// head starts slightly sharp and settles: the result is multiplied by
// 1 + settleDepth * e^(-t / settleTau).
struct PitchCurve {
    double startHz = 0.0;
    double endHz = 0.0;
    double glideStart = 0.0;
    double glideEnd = 0.0;
    double settleDepth = 0.0;
    double settleTau = 0.03;

    static PitchCurve Fixed(double hz, double settleDepth = 0.0, double settleTau = 0.03);
    static PitchCurve Glide(double fromHz, double toHz, double t0, double t1,
                            double settleDepth = 0.0, double settleTau = 0.03);

    // 0 before the glide, 1 after it, smoothstep in between.
    double Progress(double t) const;
    double At(double t) const;
};

// One mode: amplitude * e^(-t / tau) * sin(ratio * phase). A nearly degenerate
// mode pair is rendered as a second sine splitHz above, taking splitWeight of
// the amplitude. A mode whose damping changes with the glide (a released bass
// head) moves its tau towards releaseTau along the glide's progress.
struct Partial {
    double ratio = 1.0;
    double amplitude = 0.0;
    double tau = 0.1;
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
