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

// Treble head tuned to C#4: its upper modes stand on the harmonic series of
// kF0, while the first mode sits a little sharp of it, as on a real drum.
constexpr double kF0 = 277.18;
constexpr double kFirstMode = 1.09;
// The open centre strokes ring almost only on the first mode: they are tuned
// as a whole so that it stands on C#4, in tune with the drone.
constexpr double kOpenF0 = kF0 / kFirstMode;
// Bass head open pitch G#2, and its mode ratios.
constexpr double kBassHz = 103.83;
constexpr std::array<double, 6> kBassRatios{1.0, 2.0, 3.01, 4.01, 4.69, 5.63};
constexpr std::array<double, 6> kBassAmps{1.0, 0.45, 0.22, 0.12, 0.07, 0.05};

// The degenerate treble modes split by a fixed offset in Hz (heard as a slow
// beating); the harmonic the stroke leans on beats more deeply.
constexpr std::array<double, 5> kSplitHz{0.0, 0.5, 0.8, 1.1, 1.4};
constexpr double kSplitWeight = 0.22;
constexpr double kLeadSplitWeight = 0.35;

// Inharmonic modes of the treble head that colour the attack only.
constexpr std::array<double, 3> kAttackRatios{5.73, 6.51, 7.35};
constexpr std::array<double, 3> kAttackShares{1.0, 0.7, 0.5};

// Strike settling: a head starts sharp under the blow. The bass head, slack
// and large, starts 3 to 4 % sharp and takes a tenth of a second to settle.
constexpr double kTrebleSettle = 0.015;
constexpr double kSoftSettle = 0.006;
constexpr double kDampedSettle = 0.008;
constexpr double kBassSettle = 0.05;
constexpr double kTrebleSettleTau = 0.025;
constexpr double kDampedSettleTau = 0.020;
constexpr double kBassSettleTau = 0.08;

// The Ge strokes' knock stays below this.
constexpr double kKnockCornerHz = 2500.0;

using Five = std::array<double, 5>;

// A treble stroke: per mode (first mode, then h2 to h5) the amplitude, the
// strike's decay, and the share that rings on with ringTau. Closed strokes
// add the thump of the fingers pressing the head: a low mode, short-lived.
struct TrebleRecipe {
    Five amps;
    Five taus;
    Five ring{};
    double ringTau = 0.0;
    bool rings = false;  // sustained stroke: split modes
    int leadSplit = 0;   // harmonic (1-based) that beats most, 0 for none
    double attack = 0.0; // level of the inharmonic attack modes
    double attackTau = 0.03;
    double thumpHz = 0.0;
    double thump = 0.0;
    double thumpTau = 0.02;
};

std::vector<Partial> TreblePartials(const TrebleRecipe& recipe) {
    std::vector<Partial> partials;
    for (int k = 0; k < 5; ++k) {
        if (recipe.amps[k] == 0.0) {
            continue;
        }
        Partial p;
        p.ratio = k == 0 ? kFirstMode : k + 1;
        p.amplitude = recipe.amps[k];
        p.tau = recipe.taus[k];
        p.ring = recipe.ring[k];
        p.ringTau = recipe.ringTau;
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
    if (recipe.thump > 0.0) {
        Partial p;
        p.ratio = recipe.thumpHz / kF0;
        p.amplitude = recipe.thump;
        p.tau = recipe.thumpTau;
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

std::uint64_t Seed(int id, int part) {
    return 0x4C4F5256414E5441ULL +
           static_cast<std::uint64_t>(id + 1000 * part) * 0x9E3779B97F4A7C15ULL;
}

NoiseBurst Noise(int id, double centreHz, double q, double duration, double level,
                 double tau = 0.0) {
    NoiseBurst noise;
    noise.centreHz = centreHz;
    noise.q = q;
    noise.duration = duration;
    noise.level = level;
    noise.tau = tau > 0.0 ? tau : duration / 4.0;
    noise.seed = Seed(id, 0);
    return noise;
}

// The knock of a hand on the bass head: a low noise burst with no hiss.
NoiseBurst Knock(int id, double centreHz, double q, double duration, double level) {
    NoiseBurst noise = Noise(id, centreHz, q, duration, level);
    noise.lowPassHz = kKnockCornerHz;
    return noise;
}

// The crack of skin on skin that starts every stroke: a few milliseconds of
// broadband noise, seeded apart from the stroke's other noise.
NoiseBurst Crack(int id, double level) {
    NoiseBurst noise;
    noise.centreHz = 3500.0;
    noise.q = 0.4;
    noise.duration = 0.005;
    noise.tau = 0.0012;
    noise.level = level;
    noise.seed = Seed(id, 1);
    return noise;
}

// A bass stroke on the standard ratios: amplitudes, decays, a pitch curve,
// the hand's knock and the crack.
void AddBass(std::vector<double>& out, int id, const PitchCurve& pitch,
             std::span<const double> amps, std::span<const double> taus, const NoiseBurst& knock,
             double crack) {
    const std::vector<Partial> partials = BassPartials(amps, taus);
    AddPartials(out, pitch, partials);
    AddNoise(out, knock);
    AddNoise(out, Crack(id, crack));
}

void AddTreble(std::vector<double>& out, int id, const PitchCurve& pitch,
               const TrebleRecipe& recipe, const NoiseBurst& noise, double crack,
               double start = 0.0, double gain = 1.0) {
    const std::vector<Partial> partials = TreblePartials(recipe);
    AddPartials(out, pitch, partials, start, gain);
    AddNoise(out, noise, start, gain);
    AddNoise(out, Crack(id, crack), start, gain);
}

PitchCurve Treble(double settle = kTrebleSettle, double f0 = kF0) {
    return PitchCurve::Fixed(f0, settle, kTrebleSettleTau);
}

PitchCurve Damped() {
    return PitchCurve::Fixed(kF0, kDampedSettle, kDampedSettleTau);
}

// A rubbed stroke rising a semitone.
PitchCurve Rubbed(double glideEnd) {
    return PitchCurve::Contour(kF0, {{0.0, 0.0}, {glideEnd, 1.0}});
}

PitchCurve Bass(double hz) {
    return PitchCurve::Fixed(hz, kBassSettle, kBassSettleTau);
}

PitchCurve BassContour(double hz, std::vector<PitchCurve::Point> points) {
    return PitchCurve::Contour(hz, std::move(points), kBassSettle, kBassSettleTau);
}

// The heel's pressure on the bass head as played: it raises the pitch by
// about five semitones when pressed in and lowers it again when lifted.
constexpr double kHeelSemitones = 4.7;

// Closed strokes: the fingers stay on the head, which thumps below 200 Hz
// under a bright, broadband attack.
constexpr Five kClosedAmps{0.25, 0.5, 0.35, 0.25, 0.2};
constexpr Five kClosedTaus{0.010, 0.009, 0.007, 0.006, 0.005};
constexpr TrebleRecipe kTe{kClosedAmps, kClosedTaus, {},    0.0, false, 0,
                           0.15,        0.006,       180.0, 1.0, 0.012};

std::vector<double> Render(int id, std::size_t frames) {
    std::vector<double> out(frames, 0.0);
    switch (id) {
    case 0:
        break;

    // Bass strokes.
    case 1: // Pressed Ge: the heel presses in after the strike and eases off again.
        AddBass(
            out, id,
            BassContour(kBassHz,
                        {{0.07, 0.0}, {0.22, kHeelSemitones}, {0.27, kHeelSemitones}, {0.65, 0.7}}),
            kBassAmps, std::array{0.16, 0.10, 0.07, 0.05, 0.04, 0.03},
            Knock(id, 600, 0.7, 0.030, 1.2), 1.0);
        break;
    case 2: // Closed Ge: heel already pressed, short and higher, sagging a little.
        AddBass(out, id, BassContour(kBassHz, {{0.05, 5.0}, {0.40, 4.4}}),
                std::array{1.0, 0.35, 0.25, 0.1}, std::array{0.075, 0.05, 0.04, 0.03},
                Knock(id, 700, 0.7, 0.030, 0.8), 0.8);
        break;
    case 3: // Open Ge: free ringing bass.
        AddBass(out, id, Bass(kBassHz), kBassAmps, std::array{0.60, 0.35, 0.22, 0.15, 0.10, 0.08},
                Knock(id, 600, 0.7, 0.030, 1.3), 1.0);
        break;
    case 4: // Fast Sliding Ge: a quick push up eight semitones.
        AddBass(out, id, BassContour(kBassHz, {{0.01, 0.0}, {0.15, 8.0}}), kBassAmps,
                std::array{0.08, 0.05, 0.04, 0.03, 0.025, 0.02}, Knock(id, 600, 0.7, 0.030, 1.0),
                1.0);
        break;
    case 5: // Delayed Sliding Ge: rings open, then slides up a fifth.
        AddBass(out, id, BassContour(kBassHz, {{0.2, 0.0}, {0.55, 7.0}}), kBassAmps,
                std::array{0.27, 0.16, 0.10, 0.07, 0.05, 0.04}, Knock(id, 600, 0.7, 0.030, 1.3),
                1.0);
        break;
    case 6: { // First Closed then Open Ge: the heel lifts, the head falls and rings.
        const PitchCurve pitch = BassContour(kBassHz, {{0.06, kHeelSemitones}, {0.26, 0.0}});
        constexpr std::array<double, 6> amps{1.0, 0.5, 0.25, 0.12, 0.06, 0.04};
        // Decay shape of the open head, scaled from a closed to an open first mode.
        constexpr std::array<double, 6> shape{0.60, 0.35, 0.22, 0.15, 0.10, 0.08};
        std::vector<Partial> partials = BassPartials(amps, shape);
        for (Partial& p : partials) {
            p.releaseTau = p.tau / shape[0] * 0.5;
            p.tau = p.tau / shape[0] * 0.09;
        }
        AddPartials(out, pitch, partials);
        AddNoise(out, Knock(id, 650, 0.7, 0.030, 0.9));
        AddNoise(out, Crack(id, 0.8));
        break;
    }
    case 7: // Ki / Ke: flat hand on the bass head, mostly noise.
        AddBass(out, id, Bass(166), std::array{0.35, 0.1}, std::array{0.030, 0.020},
                Noise(id, 900, 0.6, 0.060, 1.0, 0.012), 0.3);
        break;
    case 8: // Gin: a short, damped bass, the heel lifting.
        AddBass(out, id, BassContour(kBassHz, {{0.05, kHeelSemitones}, {0.25, 0.0}}),
                std::array{1.0, 0.5, 0.2, 0.1}, std::array{0.07, 0.045, 0.03, 0.02},
                Knock(id, 650, 0.7, 0.030, 0.8), 0.8);
        break;
    case 9:
    case 10: { // Thap: a palm slap on the bass head.
        const double t = id == 9 ? 0.040 : 0.055;
        AddBass(out, id, Bass(88.3), std::array{1.0, 0.2, 0.05}, std::array{t, 0.6 * t, 0.4 * t},
                Noise(id, 250, 0.7, 0.050, 0.5, 0.015), 0.6);
        break;
    }
    case 11: // Kat / Tichki: a finger click.
        AddBass(out, id, Bass(187), std::array{0.2}, std::array{0.020},
                Noise(id, 1200, 0.7, 0.050, 1.0, 0.009), 0.4);
        break;

    // Treble rim strokes: a loud strike damped within a few tens of
    // milliseconds, then a quiet ring on the second and third modes.
    case 12: // Na: the ring finger damps the first mode, h2 leads.
        AddTreble(out, id, Treble(),
                  {{0.01, 1.0, 0.6, 0.4, 0.3},
                   {0.02, 0.022, 0.018, 0.014, 0.011},
                   {0.0, 0.17, 0.12, 0.04, 0.0},
                   0.26,
                   true,
                   2,
                   0.3,
                   0.012},
                  Noise(id, 3000, 0.8, 0.012, 0.8, 0.003), 1.0);
        break;
    case 13: // Sur: open stroke between rim and centre.
        AddTreble(out, id, Treble(kTrebleSettle, kOpenF0),
                  {{1.0, 0.15, 0.6, 0.3, 0.15},
                   {0.16, 0.12, 0.10, 0.08, 0.06},
                   {},
                   0.0,
                   true,
                   3,
                   0.5,
                   0.015},
                  Noise(id, 2500, 0.7, 0.020, 1.0, 0.006), 1.2);
        break;
    case 14: // Tin: on the maidan, the third mode leads.
        AddTreble(out, id, Treble(),
                  {{0.01, 0.35, 1.0, 0.3, 0.2},
                   {0.02, 0.02, 0.022, 0.015, 0.012},
                   {0.0, 0.1, 0.14, 0.03, 0.0},
                   0.15,
                   true,
                   3,
                   0.3,
                   0.012},
                  Noise(id, 3000, 0.8, 0.012, 0.8, 0.003), 1.0);
        break;
    case 29: // Dhin, treble part: Na with more of the third mode.
        AddTreble(out, id, Treble(),
                  {{0.02, 1.0, 0.9, 0.35, 0.2},
                   {0.02, 0.022, 0.02, 0.015, 0.012},
                   {0.0, 0.15, 0.12, 0.04, 0.0},
                   0.28,
                   true,
                   2,
                   0.3,
                   0.012},
                  Noise(id, 3000, 0.8, 0.012, 0.8, 0.003), 1.0);
        break;
    case 18: // Ta: a rim stroke damped at once.
        AddTreble(out, id, Damped(),
                  {{0.02, 1.0, 0.5, 0.4, 0.3},
                   {0.008, 0.010, 0.008, 0.007, 0.006},
                   {0.0, 0.06, 0.03, 0.0, 0.0},
                   0.2,
                   false,
                   0,
                   0.3,
                   0.008},
                  Noise(id, 3500, 0.7, 0.012, 1.6, 0.003), 1.2);
        break;
    case 23: // Ghasee Ra: a rim stroke rubbed up a semitone.
        AddTreble(out, id, Rubbed(0.120),
                  {{0.05, 1.0, 0.8, 0.3, 0.15},
                   {0.025, 0.03, 0.025, 0.02, 0.015},
                   {0.0, 0.12, 0.08, 0.0, 0.0},
                   0.12,
                   false,
                   0,
                   0.2,
                   0.012},
                  Noise(id, 2500, 0.5, 0.100, 0.15, 0.020), 0.8);
        break;

    // Closed treble strokes.
    case 15: // Ti / Te.
        AddTreble(out, id, Damped(), kTe, Noise(id, 3500, 0.6, 0.020, 2.2, 0.004), 1.0);
        break;
    case 16: // Strong Ra.
        AddTreble(out, id, Damped(),
                  {kClosedAmps, kClosedTaus, {}, 0.0, false, 0, 0.15, 0.006, 185.0, 1.0, 0.02},
                  Noise(id, 4000, 0.5, 0.030, 1.6, 0.008), 1.0);
        break;
    case 17: // Soft Ra: the same stroke, lighter.
        AddTreble(out, id, Treble(kSoftSettle),
                  {kClosedAmps, kClosedTaus, {}, 0.0, false, 0, 0.1, 0.006, 185.0, 1.0, 0.016},
                  Noise(id, 4000, 0.5, 0.025, 1.5, 0.006), 0.9);
        break;
    case 19: // Te.
        AddTreble(out, id, Damped(), kTe, Noise(id, 2800, 0.6, 0.020, 2.4, 0.004), 1.0);
        break;
    case 25: { // Tra: two quick Te-like hits, the second louder.
        AddTreble(out, id, Damped(), kTe, Noise(id, 2800, 0.6, 0.020, 2.0, 0.004), 1.0, 0.0, 0.7);
        AddTreble(out, id + 100, Damped(), kTe, Noise(id + 100, 2800, 0.6, 0.020, 2.0, 0.004), 1.0,
                  0.032, 1.0);
        break;
    }

    // Open centre strokes: almost nothing but the first mode.
    case 20: // Tu / Tun.
        AddTreble(out, id, Treble(kTrebleSettle, kOpenF0),
                  {{1.0, 0.025, 0.025, 0.01, 0.005},
                   {0.36, 0.25, 0.20, 0.15, 0.10},
                   {},
                   0.0,
                   true,
                   0,
                   0.04,
                   0.01},
                  Noise(id, 1500, 0.6, 0.030, 0.3, 0.008), 1.0);
        break;
    case 26: // Din.
        AddTreble(out, id, Treble(kTrebleSettle, kOpenF0),
                  {{1.0, 0.03, 0.03, 0.015, 0.01},
                   {0.36, 0.25, 0.20, 0.15, 0.10},
                   {},
                   0.0,
                   true,
                   2,
                   0.05,
                   0.01},
                  Noise(id, 1500, 0.6, 0.030, 0.35, 0.008), 1.0);
        break;
    case 27: // Soft Din.
        AddTreble(out, id, Treble(kSoftSettle, kOpenF0),
                  {{1.0, 0.025, 0.02, 0.01, 0.005},
                   {0.33, 0.25, 0.20, 0.15, 0.10},
                   {},
                   0.0,
                   true,
                   0,
                   0.04,
                   0.01},
                  Noise(id, 2000, 0.6, 0.030, 0.45, 0.008), 1.2);
        break;
    case 28: // Soft Dhi: a soft centre stroke, damped.
        AddTreble(out, id, Treble(kSoftSettle, kOpenF0),
                  {{1.0, 0.03, 0.03, 0.01, 0.005},
                   {0.075, 0.06, 0.045, 0.035, 0.03},
                   {},
                   0.0,
                   false,
                   0,
                   0.03,
                   0.01},
                  Noise(id, 1500, 0.6, 0.030, 0.3, 0.008), 1.0);
        break;
    case 22: // Ghasee Dhi: a centre stroke rubbed up a semitone.
        AddTreble(out, id, Rubbed(0.150),
                  {{1.0, 0.025, 0.02, 0.01, 0.005},
                   {0.09, 0.06, 0.045, 0.035, 0.03},
                   {},
                   0.0,
                   false,
                   0,
                   0.05,
                   0.01},
                  Noise(id, 1500, 0.5, 0.120, 0.03, 0.040), 0.6);
        break;

    // Flat-hand treble strokes.
    case 21: // Ne: a light tap, barely pitched.
        AddTreble(out, id, Treble(kSoftSettle),
                  {{0.0, 0.3, 0.2, 0.0, 0.0}, {0.003, 0.003, 0.0025, 0.002, 0.002}},
                  Noise(id, 3500, 1.2, 0.004, 1.0, 0.001), 0.3);
        break;
    case 24: // Ka: flat, noisy slap.
        AddTreble(out, id, Damped(), {{0.3, 0.2, 0.0, 0.0, 0.0}, {0.020, 0.015, 0.01, 0.01, 0.01}},
                  Noise(id, 1500, 0.7, 0.050, 1.0, 0.010), 0.4);
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
