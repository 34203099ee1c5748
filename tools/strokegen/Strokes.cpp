#include "Strokes.h"

#include "Synth.h"

#include <array>
#include <cmath>
#include <span>
#include <stdexcept>

// The tabla's treble head is loaded so that its modes fall into near-harmonic
// groups: pitched treble strokes are a fundamental and four harmonics. Rim
// strokes damp the fundamental (the second harmonic leads), open centre strokes
// ring on it, flat-hand strokes are short and noisy. The bass head is tuned
// low; pressing the heel into it raises the pitch while it rings.

namespace lorvanta::strokegen {

namespace {

struct StrokeInfo {
    const char* name;
    std::size_t frames;
    bool soft;
};

constexpr std::array<StrokeInfo, kStrokeCount> kStrokes{{
    {"Silence", 10, false},
    {"Pressed Ge", 36095, false},
    {"Closed Ge", 12831, false},
    {"Open Ge", 66786, false},
    {"Fast Sliding Ge", 4231, false},
    {"Delayed Sliding Ge", 16863, false},
    {"First Closed then Open Ge", 40576, false},
    {"Ki / Ke", 6016, false},
    {"Gin", 4252, false},
    {"Thap1", 5919, false},
    {"Thap2", 7280, false},
    {"Kat / Tichki", 3535, false},
    {"Na", 50815, false},
    {"Sur", 40659, false},
    {"Tin", 41822, false},
    {"Ti / Te", 3328, false},
    {"Strong Ra", 3554, false},
    {"Soft Ra", 3912, true},
    {"Ta", 2927, false},
    {"Te", 3247, false},
    {"Tu / Tun", 54529, false},
    {"Ne", 474, true},
    {"Ghasee Dhi", 7488, false},
    {"Ghasee Ra", 5687, false},
    {"Ka", 5774, false},
    {"Tra", 3247, false},
    {"Din", 56480, false},
    {"Soft Din", 70826, true},
    {"Soft Dhi", 7198, true},
    {"Dhin (treble)", 43091, false},
}};

// Peaks of about -7 dBFS for full strokes and -13 dBFS for soft ones, so that a
// treble and a bass stroke sum to well below full scale.
constexpr double kLoudPeak = 14600.0;
constexpr double kSoftPeak = 7300.0;

// Treble head tuned to C#4.
constexpr double kF0 = 277.18;
// Bass head open pitch G#2, and its mode ratios.
constexpr double kBassHz = 103.83;
constexpr std::array<double, 6> kBassRatios{1.0, 2.0, 3.01, 4.01, 4.69, 5.63};
constexpr std::array<double, 6> kBassAmps{1.0, 0.30, 0.12, 0.06, 0.03, 0.02};

// Frequency ratio of an equal-tempered semitone.
constexpr double kSemitone = 1.0594630943592953;

// The degenerate treble modes split by a fixed offset in Hz (heard as a slow
// beating); the harmonic the stroke leans on beats more deeply.
constexpr std::array<double, 5> kSplitHz{0.0, 0.5, 0.8, 1.1, 1.4};
constexpr double kSplitWeight = 0.22;
constexpr double kLeadSplitWeight = 0.35;

// Inharmonic modes of the treble head that colour the attack only.
constexpr std::array<double, 3> kAttackRatios{5.73, 6.51, 7.35};
constexpr std::array<double, 3> kAttackShares{1.0, 0.7, 0.5};

// Strike settling: the head starts slightly sharp under the blow.
constexpr double kTrebleSettle = 0.015;
constexpr double kSoftSettle = 0.006;
constexpr double kDampedSettle = 0.008;
constexpr double kBassSettle = 0.012;
constexpr double kTrebleSettleTau = 0.025;
constexpr double kDampedSettleTau = 0.020;
constexpr double kBassSettleTau = 0.035;

// The Ge strokes' thud stays below this.
constexpr double kThudCornerHz = 1000.0;

using Five = std::array<double, 5>;

struct TrebleRecipe {
    Five amps;
    Five taus;
    bool rings = false;  // sustained stroke: split modes
    int leadSplit = 0;   // harmonic (1-based) that beats most, 0 for none
    double attack = 0.0; // level of the inharmonic attack modes
    double attackTau = 0.03;
};

std::vector<Partial> TreblePartials(const TrebleRecipe& recipe) {
    std::vector<Partial> partials;
    for (int k = 0; k < 5; ++k) {
        if (recipe.amps[k] == 0.0) {
            continue;
        }
        Partial p;
        p.ratio = k + 1;
        p.amplitude = recipe.amps[k];
        p.tau = recipe.taus[k];
        if (recipe.rings && k > 0) {
            p.splitHz = kSplitHz[k];
            p.splitWeight = (k + 1 == recipe.leadSplit) ? kLeadSplitWeight : kSplitWeight;
        }
        partials.push_back(p);
    }
    for (std::size_t i = 0; i < kAttackRatios.size() && recipe.attack > 0.0; ++i) {
        Partial p;
        p.ratio = kAttackRatios[i];
        p.amplitude = recipe.attack * kAttackShares[i];
        p.tau = recipe.attackTau;
        partials.push_back(p);
    }
    return partials;
}

std::vector<Partial> BassPartials(std::span<const double> amps, std::span<const double> taus) {
    std::vector<Partial> partials;
    for (std::size_t k = 0; k < amps.size(); ++k) {
        Partial p;
        p.ratio = kBassRatios.at(k);
        p.amplitude = amps[k];
        p.tau = taus[k];
        partials.push_back(p);
    }
    return partials;
}

NoiseBurst Noise(int id, double centreHz, double q, double duration, double level,
                 double tau = 0.0) {
    NoiseBurst noise;
    noise.centreHz = centreHz;
    noise.q = q;
    noise.duration = duration;
    noise.level = level;
    noise.tau = tau > 0.0 ? tau : duration / 4.0;
    noise.seed = 0x4C4F5256414E5441ULL + static_cast<std::uint64_t>(id) * 0x9E3779B97F4A7C15ULL;
    return noise;
}

// The thud of a hand on the bass head: a low noise burst with no hiss.
NoiseBurst Thud(int id, double centreHz, double q, double duration, double level) {
    NoiseBurst noise = Noise(id, centreHz, q, duration, level);
    noise.lowPassHz = kThudCornerHz;
    return noise;
}

// A bass stroke on the standard ratios, amplitudes and a pitch curve.
void AddBass(std::vector<double>& out, const PitchCurve& pitch, std::span<const double> amps,
             std::span<const double> taus, const NoiseBurst& noise) {
    const std::vector<Partial> partials = BassPartials(amps, taus);
    AddPartials(out, pitch, partials);
    AddNoise(out, noise);
}

void AddTreble(std::vector<double>& out, const PitchCurve& pitch, const TrebleRecipe& recipe,
               const NoiseBurst& noise, double start = 0.0, double gain = 1.0) {
    const std::vector<Partial> partials = TreblePartials(recipe);
    AddPartials(out, pitch, partials, start, gain);
    AddNoise(out, noise, start, gain);
}

PitchCurve Treble(double settle = kTrebleSettle) {
    return PitchCurve::Fixed(kF0, settle, kTrebleSettleTau);
}

PitchCurve Damped() {
    return PitchCurve::Fixed(kF0, kDampedSettle, kDampedSettleTau);
}

PitchCurve Bass(double hz) {
    return PitchCurve::Fixed(hz, kBassSettle, kBassSettleTau);
}

PitchCurve BassGlide(double fromHz, double toHz, double t0, double t1) {
    return PitchCurve::Glide(fromHz, toHz, t0, t1, kBassSettle, kBassSettleTau);
}

// The Te stroke: damped by the fingers at once, bright and short.
constexpr TrebleRecipe kTe{
    {0.4, 1.0, 0.6, 0.3, 0.2}, {0.025, 0.025, 0.018, 0.012, 0.010}, false, 0, 0.08, 0.015};

std::vector<double> Render(int id, std::size_t frames) {
    std::vector<double> out(frames, 0.0);
    switch (id) {
    case 0:
        break;

    // Bass strokes.
    case 1: // Pressed Ge: the heel presses in after the strike, +5 semitones.
        AddBass(out, BassGlide(kBassHz, kBassHz * std::pow(kSemitone, 5), 0.010, 0.150), kBassAmps,
                std::array{0.42, 0.25, 0.15, 0.10, 0.08, 0.06}, Thud(id, 400, 0.8, 0.020, 0.25));
        break;
    case 2: // Closed Ge: heel already pressed, short and higher (D3).
        AddBass(out, Bass(146.83), std::array{1.0, 0.15, 0.05, 0.02},
                std::array{0.13, 0.07, 0.05, 0.04}, Thud(id, 250, 0.8, 0.030, 0.35));
        break;
    case 3: // Open Ge: free ringing bass.
        AddBass(out, Bass(kBassHz), kBassAmps, std::array{0.60, 0.35, 0.22, 0.15, 0.10, 0.08},
                Thud(id, 400, 0.8, 0.020, 0.2));
        break;
    case 4: // Fast Sliding Ge: a quick push up a fifth.
        AddBass(out, BassGlide(kBassHz, kBassHz * std::pow(kSemitone, 7), 0.020, 0.120), kBassAmps,
                std::array{0.05, 0.035, 0.03, 0.025, 0.02, 0.02}, Thud(id, 400, 0.8, 0.020, 0.25));
        break;
    case 5: // Delayed Sliding Ge: rings open, then slides up a fifth.
        AddBass(out, BassGlide(kBassHz, kBassHz * std::pow(kSemitone, 7), 0.200, 0.550), kBassAmps,
                std::array{0.25, 0.15, 0.10, 0.07, 0.05, 0.04}, Thud(id, 400, 0.8, 0.020, 0.2));
        break;
    case 6: { // First Closed then Open Ge: the heel lifts, the head falls and rings.
        const PitchCurve pitch = BassGlide(130.81, kBassHz, 0.250, 0.330);
        constexpr std::array<double, 6> amps{1.0, 0.25, 0.1, 0.05, 0.03, 0.02};
        // Decay shape of the open head, scaled from a closed to an open h1.
        constexpr std::array<double, 6> shape{0.60, 0.35, 0.22, 0.15, 0.10, 0.08};
        std::vector<Partial> partials = BassPartials(amps, shape);
        for (Partial& p : partials) {
            p.releaseTau = p.tau / shape[0] * 0.45;
            p.tau = p.tau / shape[0] * 0.12;
        }
        AddPartials(out, pitch, partials);
        AddNoise(out, Thud(id, 250, 0.8, 0.030, 0.3));
        break;
    }
    case 7: // Ki / Ke: flat hand on the bass head, mostly noise.
        AddBass(out, Bass(166), std::array{0.35, 0.1}, std::array{0.030, 0.020},
                Noise(id, 900, 0.6, 0.060, 1.0, 0.012));
        break;
    case 8: // Gin: a short, damped bass.
        AddBass(out, Bass(116.5), std::array{1.0, 0.25, 0.1}, std::array{0.045, 0.030, 0.020},
                Thud(id, 350, 0.8, 0.020, 0.3));
        break;
    case 9:
    case 10: { // Thap: a palm slap on the bass head.
        const double t = id == 9 ? 0.040 : 0.055;
        AddBass(out, Bass(88.3), std::array{1.0, 0.2, 0.05}, std::array{t, 0.6 * t, 0.4 * t},
                Noise(id, 250, 0.7, 0.050, 0.5, 0.015));
        break;
    }
    case 11: // Kat / Tichki: a finger click.
        AddBass(out, Bass(187), std::array{0.2}, std::array{0.020},
                Noise(id, 1200, 0.7, 0.050, 1.0, 0.009));
        break;

    // Treble strokes.
    case 12: // Na: rim stroke, fundamental damped by the ring finger.
        AddTreble(out, Treble(),
                  {{0.12, 1.0, 0.55, 0.30, 0.18}, {0.25, 0.42, 0.30, 0.22, 0.16}, true, 2, 0.12},
                  Noise(id, 3000, 1.0, 0.006, 0.35));
        break;
    case 13: // Sur: open stroke between rim and centre.
        AddTreble(out, Treble(),
                  {{1.0, 0.75, 0.5, 0.28, 0.15}, {0.40, 0.38, 0.28, 0.20, 0.15}, true, 2, 0.07},
                  Noise(id, 2000, 1.0, 0.006, 0.2));
        break;
    case 14: // Tin: on the maidan, the third harmonic beating.
        AddTreble(out, Treble(),
                  {{0.25, 1.0, 0.7, 0.3, 0.15}, {0.30, 0.40, 0.30, 0.20, 0.14}, true, 3, 0.09},
                  Noise(id, 2000, 1.0, 0.006, 0.2));
        break;
    case 15: // Ti / Te: damped at once.
        AddTreble(
            out, Damped(),
            {{0.5, 1.0, 0.5, 0.3, 0.2}, {0.025, 0.020, 0.015, 0.012, 0.010}, false, 0, 0.08, 0.012},
            Noise(id, 2500, 0.8, 0.020, 0.6, 0.006));
        break;
    case 16: // Strong Ra.
        AddTreble(
            out, Damped(),
            {{0.6, 1.0, 0.5, 0.3, 0.2}, {0.030, 0.025, 0.018, 0.014, 0.010}, false, 0, 0.08, 0.015},
            Noise(id, 2500, 0.8, 0.020, 0.7, 0.006));
        break;
    case 17: // Soft Ra: the same stroke, lighter and darker.
        AddTreble(
            out, Treble(kSoftSettle),
            {{0.6, 1.0, 0.5, 0.3, 0.2}, {0.030, 0.025, 0.018, 0.014, 0.010}, false, 0, 0.04, 0.015},
            Noise(id, 1800, 0.8, 0.020, 0.42, 0.006));
        break;
    case 18: // Ta: sharp rim stroke, damped.
        AddTreble(
            out, Damped(),
            {{0.1, 1.0, 0.5, 0.3, 0.2}, {0.020, 0.035, 0.025, 0.018, 0.012}, false, 0, 0.10, 0.020},
            Noise(id, 3000, 1.0, 0.010, 0.45, 0.004));
        break;
    case 19: // Te.
        AddTreble(out, Damped(), kTe, Noise(id, 2800, 0.8, 0.020, 0.6, 0.005));
        break;
    case 20: // Tu / Tun: open centre stroke ringing on the fundamental.
        AddTreble(out, Treble(),
                  {{1.0, 0.3, 0.12, 0.05, 0.03}, {0.45, 0.30, 0.20, 0.15, 0.10}, true, 0, 0.04},
                  Noise(id, 800, 0.8, 0.010, 0.15));
        break;
    case 21: // Ne: a light tap, barely pitched.
        AddTreble(out, Treble(kSoftSettle),
                  {{0.0, 0.3, 0.2, 0.0, 0.0}, {0.003, 0.003, 0.0025, 0.002, 0.002}, false, 0, 0.0},
                  Noise(id, 3500, 1.2, 0.004, 1.0, 0.001));
        break;
    case 22: // Ghasee Dhi: rubbed, rising a semitone.
        AddTreble(out, PitchCurve::Glide(kF0, kF0 * kSemitone, 0.0, 0.150, 0.0),
                  {{0.8, 1.0, 0.5, 0.25, 0.12}, {0.07, 0.06, 0.045, 0.035, 0.03}, false, 0, 0.03},
                  Noise(id, 1500, 0.5, 0.120, 0.25, 0.040));
        break;
    case 23: // Ghasee Ra.
        AddTreble(out, PitchCurve::Glide(kF0, kF0 * kSemitone, 0.0, 0.120, 0.0),
                  {{0.5, 1.0, 0.5, 0.3, 0.15}, {0.05, 0.045, 0.035, 0.03, 0.025}, false, 0, 0.03},
                  Noise(id, 2000, 0.5, 0.100, 0.35, 0.030));
        break;
    case 24: // Ka: flat, noisy slap.
        AddTreble(out, Damped(),
                  {{0.3, 0.2, 0.0, 0.0, 0.0}, {0.020, 0.015, 0.01, 0.01, 0.01}, false, 0, 0.0},
                  Noise(id, 1500, 0.7, 0.050, 1.0, 0.010));
        break;
    case 25: { // Tra: two quick Te-like hits, the second louder.
        AddTreble(out, Damped(), kTe, Noise(id, 2800, 0.8, 0.020, 0.6, 0.005), 0.0, 0.7);
        AddTreble(out, Damped(), kTe, Noise(id + 100, 2800, 0.8, 0.020, 0.6, 0.005), 0.032, 1.0);
        break;
    }
    case 26: // Din: open centre stroke with a ringing second harmonic.
        AddTreble(out, Treble(),
                  {{1.0, 0.5, 0.3, 0.15, 0.10}, {0.46, 0.35, 0.25, 0.18, 0.12}, true, 2, 0.05},
                  Noise(id, 1200, 0.8, 0.010, 0.2));
        break;
    case 27: // Soft Din.
        AddTreble(out, Treble(kSoftSettle),
                  {{1.0, 0.3, 0.12, 0.05, 0.02}, {0.55, 0.40, 0.28, 0.20, 0.14}, true, 0, 0.02},
                  Noise(id, 800, 0.8, 0.010, 0.08));
        break;
    case 28: // Soft Dhi: a soft, closed centre stroke.
        AddTreble(out, Treble(kSoftSettle),
                  {{1.0, 0.7, 0.3, 0.12, 0.05}, {0.07, 0.06, 0.045, 0.035, 0.03}, false, 0, 0.02},
                  Noise(id, 1200, 0.8, 0.010, 0.12));
        break;
    case 29: // Dhin, treble part.
        AddTreble(out, Treble(),
                  {{0.6, 1.0, 0.6, 0.3, 0.2}, {0.42, 0.40, 0.30, 0.20, 0.15}, true, 2, 0.07},
                  Noise(id, 2000, 1.0, 0.006, 0.2));
        break;
    default:
        throw std::out_of_range("no such stroke");
    }
    return out;
}

} // namespace

std::size_t StrokeFrames(int id) {
    return kStrokes.at(static_cast<std::size_t>(id)).frames;
}

std::uint16_t StrokeResourceId(int id) {
    if (id < 0 || id >= kStrokeCount) {
        throw std::out_of_range("no such stroke");
    }
    return static_cast<std::uint16_t>(id == 0 ? 131 : 132 + id);
}

const char* StrokeName(int id) {
    return kStrokes.at(static_cast<std::size_t>(id)).name;
}

std::vector<std::int16_t> MakeStroke(int id) {
    const StrokeInfo& info = kStrokes.at(static_cast<std::size_t>(id));
    return Finish(Render(id, info.frames), info.frames, info.soft ? kSoftPeak : kLoudPeak);
}

} // namespace lorvanta::strokegen
