// The tanpura: Sa in tune at every pitch shift, the bridge's bloom after each
// pluck, a loop that joins itself, lorvanta-cli drone, and the drone in
// lorvanta-cli render.
#include "AudioTestSupport.h"

#include "audio/JawariString.h"
#include "audio/Tanpura.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <numbers>

namespace lorvanta::test {
namespace {

// |DTFT|^2 of x[from, from + length) under a Hann window at `hz`.
double Power(std::span<const float> x, std::size_t from, std::size_t length, double hz,
             double rate) {
    std::complex<double> sum = 0.0;
    const std::complex<double> step = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
    std::complex<double> turn = 1.0;
    for (std::size_t i = 0; i < length; ++i, turn *= step) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                              static_cast<double>(length));
        sum += w * x[from + i] * turn;
    }
    return std::norm(sum);
}

// The strongest frequency within 40 cents of `near`, in cents from `near`.
double PeakCents(std::span<const float> x, std::size_t from, std::size_t length, double near,
                 double rate) {
    double best = -1.0, bestCents = 0.0;
    for (double cents = -40.0; cents <= 40.0; cents += 0.1) {
        const double power = Power(x, from, length, near * std::exp2(cents / 1200.0), rate);
        if (power > best)
            std::tie(best, bestCents) = std::pair(power, cents);
    }
    return bestCents;
}

// The energy of harmonics 9 and up in a frame of two periods from `from`: a
// Hann window over whole periods keeps each harmonic out of its neighbours.
double EnergyAboveEighth(std::span<const float> x, std::size_t from, double f0, double rate) {
    const auto length = static_cast<std::size_t>(2.0 * rate / f0);
    double energy = 0.0;
    for (int k = 9; k * f0 < rate / 2.0; ++k)
        energy += Power(x, from, length, k * f0, rate);
    return energy;
}

std::vector<float> Floats(std::span<const std::int16_t> samples) {
    return {samples.begin(), samples.end()};
}

// Written by the command line as the program would sound it: the fundamental
// where the two Sa strings ring is Sa (shifted) within 5 cents.
TEST(Drone, SaIsTheDayansNoteShiftedWithThePitchBar) {
    const struct {
        const char* tuning;
        int octave;
        double semitones;
    } cases[] = {{"pa", 3, 0},  {"sa", 4, 0}, {"ni", 3, -6},   {"ma", 4, 6},
                 {"pa", 4, -6}, {"ni", 4, 3}, {"sa", 3, -2.5}, {"ma", 3, 6}};
    for (const auto& c : cases) {
        TempDir dir;
        std::string err;
        const std::string out = (dir / "drone.wav").string();
        ASSERT_EQ(RunCli(LORVANTA_CLI,
                         "drone --tuning " + std::string(c.tuning) + " --octave " +
                             std::to_string(c.octave) + " --pitch " + std::to_string(c.semitones) +
                             " --seconds 4 -o '" + out + "'",
                         dir.Path(), err),
                  0)
            << err;
        const auto bytes = Slurp(out);
        ASSERT_GT(bytes.size(), kWaveHeaderSize);
        const double rate = GetLe32(bytes, kSampleRateOffset);
        const std::vector<float> x = Floats(SamplesOf(std::span(bytes).subspan(kWaveHeaderSize)));
        const double sa = 277.1826 * std::exp2(c.octave - 4 + c.semitones / 12.0);
        // From just after the second Sa string's pluck, over 1.2 s of the loop.
        const double cents = PeakCents(x, 36000, 26000, sa, rate);
        EXPECT_LT(std::abs(cents), 5.0) << c.tuning << " octave " << c.octave << " shift "
                                        << c.semitones << ": " << cents << " cents";
    }
}

// Every tuning and octave: each string's energy above the 8th harmonic blooms
// after its pluck, then falls; the loop, the same at every rendering and at the
// intended level, joins itself (its seam steps no more than the quiet 10 ms before it).
TEST(Tanpura, EveryPluckBloomsAndTheLoopJoinsItself) {
    const double rate = kSampleRate;
    for (const DroneTuning tuning :
         {DroneTuning::Pa, DroneTuning::Ma, DroneTuning::Ni, DroneTuning::Sa}) {
        for (const int octave : {3, 4}) {
            SCOPED_TRACE(::testing::Message()
                         << "octave " << octave << ", tuning " << static_cast<int>(tuning));
            for (const double f0 : TanpuraStringFrequencies({tuning, octave})) {
                std::vector<float> x(2 * kSampleRate);
                CJawariString(f0, kSampleRate).Render(x);
                const auto at = [&](double seconds) {
                    return EnergyAboveEighth(x, static_cast<std::size_t>(seconds * rate), f0, rate);
                };
                double peak = 0.0, peakTime = 0.0;
                for (double t = 0.0; t < 0.5; t += 0.005) {
                    if (const double e = at(t); e > peak)
                        std::tie(peak, peakTime) = std::pair(e, t);
                }
                SCOPED_TRACE(::testing::Message() << f0 << " Hz, peak at " << peakTime << " s");
                EXPECT_TRUE(peakTime >= 0.015 && peakTime <= 0.3);
                EXPECT_GT(peak, 2.0 * at(0.0));
                EXPECT_LT(at(1.5), 0.7 * peak);
            }
            const std::vector<std::int16_t> loop = RenderTanpuraLoop({tuning, octave}, kSampleRate);
            ASSERT_EQ(loop.size(), TanpuraCycleLength(kSampleRate));
            EXPECT_EQ(loop, RenderTanpuraLoop({tuning, octave}, kSampleRate));
            const std::size_t beforeSeam = loop.size() - kSampleRate / 100;
            int largest = 0, largestBeforeSeam = 0, loudest = 0;
            for (std::size_t i = 1; i < loop.size(); ++i) {
                const int step = std::abs(loop[i] - loop[i - 1]);
                largest = std::max(largest, step);
                if (i > beforeSeam)
                    largestBeforeSeam = std::max(largestBeforeSeam, step);
                loudest = std::max(loudest, std::abs(int{loop[i]}));
            }
            const int seam = std::abs(loop.front() - loop.back());
            EXPECT_LE(seam, std::min(largest, largestBeforeSeam));
            EXPECT_NEAR(loudest, 16384, 2);
        }
    }
}

// Each string is stopped before its next pluck: faded over its last 40 ms to
// exactly zero at the cycle's end, so the loop joins without a click.
TEST(Tanpura, EachStringEndsItsCycleInExactSilence) {
    for (const double f0 : TanpuraStringFrequencies({DroneTuning::Pa, 3})) {
        const std::vector<float> ring = RenderTanpuraString(f0, kSampleRate);
        ASSERT_EQ(ring.size(), TanpuraCycleLength(kSampleRate));
        const auto loudest = [&ring](std::size_t from, std::size_t count) {
            float most = 0.0f;
            for (std::size_t i = from; i < from + count; ++i)
                most = std::max(most, std::abs(ring[i]));
            return most;
        };
        const std::size_t fadeStart = ring.size() - kSampleRate * 4 / 100;
        EXPECT_EQ(ring.back(), 0.0f) << f0;
        EXPECT_GT(loudest(fadeStart - kSampleRate / 100, kSampleRate / 100), 0.0f) << f0;
        EXPECT_LT(loudest(ring.size() - kSampleRate / 1000, kSampleRate / 1000),
                  0.01f * loudest(fadeStart - kSampleRate / 100, kSampleRate / 100))
            << f0;
    }
}

// The first string sounds a pure Pa, Ma or Ni below Sa (C#3), or Sa, in the
// loop's first gap, before the other strings are plucked again.
TEST(Tanpura, TheFirstStringIsTunedPurelyBelowSa) {
    const struct {
        const char* name;
        double ratio;
    } cases[] = {{"Pa", 3.0 / 4.0}, {"ma", 2.0 / 3.0}, {"NI", 15.0 / 16.0}, {"sa", 1.0}};
    for (const auto& c : cases) {
        const std::optional<DroneTuning> tuning = ParseDroneTuning(c.name);
        ASSERT_TRUE(tuning) << c.name;
        const std::vector<float> x = Floats(RenderTanpuraLoop({*tuning, 3}, kSampleRate));
        const double cents = PeakCents(x, 1100, 16000, 138.5913 * c.ratio, kSampleRate);
        EXPECT_LT(std::abs(cents), 5.0) << c.name << ": " << cents << " cents";
    }
    EXPECT_EQ(ParseDroneTuning("re"), std::nullopt);
}

TEST(DroneCommand, RefusesBadArgumentsAndWritesNothing) {
    TempDir dir;
    const std::string out = " -o '" + (dir / "d.wav").string() + "'";
    const struct {
        std::string args;
        const char* says;
    } cases[] = {
        {"--seconds 2" + out, "usage:"},
        {"--tuning pa --seconds 2", "usage:"},
        {"--tuning re --seconds 2" + out, "--tuning needs pa, ma, ni or sa"},
        {"--tuning pa --octave 5 --seconds 2" + out, "--octave needs 3 or 4"},
        {"--tuning pa --seconds 0" + out, "--seconds needs a positive number"},
        {"--tuning pa --seconds nan" + out, "--seconds needs a positive number"},
        {"--tuning pa --seconds 2 --pitch 6.5" + out, "Enter a value between -6.0 and 6.0"},
        {"--tuning pa --seconds 2 -o '" + (dir / "d.flac").string() + "'", "must end in .wav"},
        {"--tuning pa --seconds 2 --tempo 100" + out, "usage:"},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(RunCli(LORVANTA_CLI, "drone " + c.args, dir.Path(), err), 64) << c.args;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.args << ": " << err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "d.wav"));
}

// The file holds the loop repeated, 16-bit mono at the shifted playback rate,
// exactly as long as asked.
TEST(DroneCommand, WritesTheLoopAtThePlaybackRate) {
    TempDir dir;
    std::string err;
    ASSERT_EQ(
        RunCli(LORVANTA_CLI,
               "drone --tuning ma --pitch -4 --seconds 9.5 -o '" + (dir / "d.wav").string() + "'",
               dir.Path(), err),
        0)
        << err;
    const auto bytes = Slurp(dir / "d.wav");
    ASSERT_GE(bytes.size(), kWaveHeaderSize);
    const std::uint32_t rate = TruncateToU32(std::exp2(-4.0f / 12.0f) * 22050.0f);
    const auto count = static_cast<std::uint32_t>(std::llround(9.5 * rate));
    EXPECT_TRUE(std::ranges::equal(std::span(bytes).first(kWaveHeaderSize),
                                   MakeWaveHeader(rate, 2 * count)));
    const std::vector<std::int16_t> samples = SamplesOf(std::span(bytes).subspan(kWaveHeaderSize));
    ASSERT_EQ(samples.size(), count);
    const std::vector<std::int16_t> loop = RenderTanpuraLoop({DroneTuning::Ma, 3}, kSampleRate);
    for (std::size_t i = 0; i < samples.size(); i += 997)
        ASSERT_EQ(samples[i], loop[i % loop.size()]) << "sample " << i;
}

// render --drone: the cycle less the one without the drone is a drone whose Sa
// follows --pitch (in WAV and FLAC); the drone options refused out of range.
TEST(RenderWithDrone, SaFollowsThePitchAndBadOptionsAreRefused) {
    TempDir dir;
    const std::string taal = "'" + std::string(LORVANTA_SOURCE_DIR) + "/Taals/Teentaal.tal'";
    std::string err;
    const auto render = [&](const std::string& args, const std::string& out) {
        return RunCli(LORVANTA_CLI, "render " + taal + " -o '" + (dir / out).string() + "' " + args,
                      dir.Path(), err);
    };
    for (const double semitones : {-6.0, 0.0, 4.5, 6.0}) {
        const std::string pitch = "--pitch " + std::to_string(semitones);
        ASSERT_EQ(render(pitch, "plain.wav"), 0) << err;
        ASSERT_EQ(render(pitch + " --drone sa --drone-level 0", "drone.wav"), 0) << err;
        const auto plain = Slurp(dir / "plain.wav"), mixed = Slurp(dir / "drone.wav");
        ASSERT_EQ(plain.size(), mixed.size());
        ASSERT_GT(plain.size(), kWaveHeaderSize);
        ASSERT_TRUE(std::equal(plain.begin(), plain.begin() + kWaveHeaderSize, mixed.begin()));
        const auto a = SamplesOf(std::span(plain).subspan(kWaveHeaderSize));
        const auto b = SamplesOf(std::span(mixed).subspan(kWaveHeaderSize));
        std::vector<float> drone(a.size());
        for (std::size_t i = 0; i < a.size(); ++i)
            drone[i] = static_cast<float>(b[i] - a[i]);
        ASSERT_GT(drone.size(), 62000u);
        const double rate = GetLe32(mixed, kSampleRateOffset);
        const double cents =
            PeakCents(drone, 36000, 26000, 277.1826 * std::exp2(-1.0 + semitones / 12.0), rate);
        EXPECT_LT(std::abs(cents), 5.0) << semitones << " semitones: " << cents << " cents";
        // A FLAC file holds the same mixed samples at the same rate.
        if (semitones != 4.5)
            continue;
        ASSERT_EQ(render(pitch + " --drone sa --drone-level 0", "drone.flac"), 0) << err;
        SF_INFO info{};
        SNDFILE* flac = sf_open((dir / "drone.flac").string().c_str(), SFM_READ, &info);
        ASSERT_NE(flac, nullptr);
        std::vector<short> decoded(static_cast<std::size_t>(info.frames));
        sf_readf_short(flac, decoded.data(), info.frames);
        sf_close(flac);
        EXPECT_EQ(info.samplerate, static_cast<int>(rate));
        EXPECT_TRUE(std::equal(b.begin(), b.end(), decoded.begin(), decoded.end()));
    }
    for (const char* args :
         {"--drone-level 3", "--drone-octave 4", "--drone re", "--drone pa --drone-level 13",
          "--drone pa --drone-level x", "--drone ma --drone-octave 5"})
        EXPECT_EQ(render(args, "refused.wav"), 64) << args;
    EXPECT_FALSE(std::filesystem::exists(dir / "refused.wav"));
}

} // namespace
} // namespace lorvanta::test
