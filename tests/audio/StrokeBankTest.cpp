// The embedded strokes of both built-in kits: format, levels, how real
// strokes of each kind sound, tuning, and the generators' bytes.

#include "AudioTestSupport.h"

#include "audio/StrokeData.h"
#include "common/StrokeAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>

namespace lorvanta {
namespace {

bool IsSoft(int id) {
    return id == 17 || id == 21 || id == 27 || id == 28;
}

std::vector<std::int16_t> Samples(int id, BuiltInKit kit) {
    const EmbeddedWave& wave = BuiltInWaves(kit)[static_cast<std::size_t>(id)];
    return test::SamplesOf(std::span(wave.bytes, wave.size).subspan(44));
}

// The kits this build carries.
std::vector<BuiltInKit> Kits() {
    if (HasBuiltInKit(BuiltInKit::Recorded))
        return {BuiltInKit::Synthesised, BuiltInKit::Recorded};
    return {BuiltInKit::Synthesised};
}

// Canonical WAVs (the silence 10 samples long). Every stroke peaks at the
// kit level (lower for the soft ones), starts and ends at zero, ends in
// near-silence and carries no offset.
TEST(StrokeBank, EveryStrokeIsACanonicalWavWithTheLevelsAndEnds) {
    for (BuiltInKit kit : Kits()) {
        const auto waves = BuiltInWaves(kit);
        ASSERT_EQ(waves.size(), kEmbeddedWaveCount);
        for (int id = 0; id < static_cast<int>(kEmbeddedWaveCount); ++id) {
            SCOPED_TRACE(testing::Message() << "kit " << static_cast<int>(kit) << " id " << id);
            const EmbeddedWave& wave = waves[static_cast<std::size_t>(id)];
            EXPECT_EQ(wave.resourceId, id == 0 ? 131 : 132 + id);
            // 16-bit mono PCM at 22050 Hz in the canonical 44-byte header.
            EXPECT_TRUE(std::ranges::equal(std::span(wave.bytes, 44),
                                           MakeWaveHeader(22050, std::uint32_t(wave.size - 44))));
            const std::vector<std::int16_t> x = Samples(id, kit);
            int peak = 0;
            double sum = 0.0;
            for (std::int16_t s : x)
                peak = std::max(peak, std::abs(static_cast<int>(s))), sum += s;
            if (id == 0) {
                EXPECT_EQ(std::pair(x.size(), peak), std::pair(std::size_t{10}, 0));
                continue;
            }
            EXPECT_TRUE(peak <= 16383 && peak >= (IsSoft(id) ? 5000 : 14000)) << peak;
            EXPECT_TRUE(x.front() == 0 && x.back() == 0);
            const std::size_t tail = std::max<std::size_t>(32, x.size() / 100);
            for (const int s : std::span(x).last(tail))
                ASSERT_LE(std::abs(s), 16);
            EXPECT_LE(std::abs(sum / static_cast<double>(x.size())), 1.0);
        }
    }
}

// What recordings of a real tabla show, per kind of stroke; both kits must
// fall within. T20 (the decay by 20 dB) in seconds; the centroid of the first
// 100 ms in Hz.
struct Kind {
    const char* name;
    std::vector<int> ids;
    std::pair<double, double> t20, centroid;
};

const std::array<Kind, 11> kKinds{{
    {"rim", {12, 14, 23, 29}, {0.03, 0.17}, {700, 1600}},
    {"damped rim", {18}, {0.01, 0.06}, {1000, 3000}},
    {"half open", {13}, {0.2, 0.5}, {700, 1500}},
    {"open centre", {20, 26, 27}, {0.5, 1.3}, {350, 700}},
    {"damped centre", {22, 28}, {0.12, 0.4}, {350, 800}},
    {"closed", {15, 16, 17, 19, 25}, {0.015, 0.065}, {1200, 3200}},
    {"flat hand", {7, 11, 21, 24}, {0.005, 0.1}, {600, 3500}},
    {"slap", {9, 10}, {0.02, 0.15}, {200, 700}},
    {"open bass", {3}, {0.8, 2.5}, {220, 400}},
    {"gliding bass", {1, 5, 6}, {0.2, 1.2}, {220, 400}},
    {"damped bass", {2, 4, 8}, {0.08, 0.3}, {220, 400}},
}};

class StrokeKind : public testing::TestWithParam<std::tuple<BuiltInKit, int>> {};

TEST_P(StrokeKind, DecaysAndSoundsAsBrightAsARealStrokeOfItsKind) {
    const auto [kit, id] = GetParam();
    if (!HasBuiltInKit(kit))
        GTEST_SKIP() << "built without this kit";
    const auto kind = std::ranges::find_if(
        kKinds, [id](const Kind& k) { return std::ranges::find(k.ids, id) != k.ids.end(); });
    ASSERT_NE(kind, kKinds.end());
    const std::vector<std::int16_t> x = Samples(id, kit);
    const double t20 = test::T20(x), centroid = test::AttackCentroid(x);
    EXPECT_TRUE(t20 >= kind->t20.first && t20 <= kind->t20.second) << kind->name << " " << t20;
    EXPECT_TRUE(centroid >= kind->centroid.first && centroid <= kind->centroid.second)
        << kind->name << " " << centroid;
}

INSTANTIATE_TEST_SUITE_P(BothKits, StrokeKind,
                         testing::Combine(testing::Values(BuiltInKit::Synthesised,
                                                          BuiltInKit::Recorded),
                                          testing::Range(1, static_cast<int>(kEmbeddedWaveCount))));

// Every kit is in tune with the drone: the strongest partial of each ringing
// treble stroke's ring (50-300 ms after the attack) stands within 10 cents of
// C# or G#, and the open bass settles on G#2.
TEST(StrokeBank, KitsAreTunedToTheDrone) {
    for (BuiltInKit kit : Kits()) {
        SCOPED_TRACE(static_cast<int>(kit));
        for (int id : {12, 13, 14, 20, 26, 27, 28, 29}) {
            const double hz = test::RingingPartial(Samples(id, kit));
            EXPECT_LE(std::abs(test::CentsFromDrone(hz)), 10.0) << "stroke " << id << " " << hz;
        }
        EXPECT_LE(std::abs(test::Cents(test::Pitch(Samples(3, kit), 0.3, 1.0), 103.83)), 10.0);
    }
}

// The measure itself: C# and G# in any octave are in tune, a quarter tone is not.
TEST(StrokeBank, CentsFromTheDroneFindTheNearestSaOrPa) {
    for (const auto& [hz, cents] : {std::pair{277.1826, 0.0},
                                    {554.3653, 0.0},
                                    {415.3047, 0.0},
                                    {830.6094, 0.0},
                                    {285.3, 50.0},
                                    {305.0, 165.6}}) {
        EXPECT_NEAR(test::CentsFromDrone(hz), cents, 0.2) << hz;
    }
}

// Each generator, run now, writes the very bytes the library carries.
void ExpectDeterministicAndEmbedded(const std::string& tool, const std::string& options,
                                    std::span<const EmbeddedWave> waves) {
    const test::TempDir dir;
    const std::string command =
        "\"" + tool + "\" " + options + " --wav-dir \"" + dir.Path().string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (std::size_t id = 0; id < waves.size(); ++id)
        EXPECT_TRUE(std::ranges::equal(test::Slurp(dir.Path() / (std::to_string(id) + ".wav")),
                                       std::span(waves[id].bytes, waves[id].size)))
            << id;
}

TEST(StrokeGenerators, WriteTheEmbeddedData) {
    ExpectDeterministicAndEmbedded(LORVANTA_STROKEGEN, "", EmbeddedWaves());
#ifdef LORVANTA_STROKEKIT
    ExpectDeterministicAndEmbedded(LORVANTA_STROKEKIT,
                                   std::string("--kit \"") + LORVANTA_STROKEKIT_TABLE +
                                       "\" --samples \"" + LORVANTA_TABLA_SAMPLES + "\"",
                                   BuiltInWaves(BuiltInKit::Recorded));
#endif
}

} // namespace
} // namespace lorvanta
