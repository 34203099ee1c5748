// Making sound: mixing, resource failures, what an edit renders again, the
// audition, the drums' levels, and random Taals against the literal image.

#include "AudioTestSupport.h"

#include "audio/BolAudition.h"
#include "audio/DrumLevels.h"
#include "audio/TaalRenderer.h"
#include "model/Sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <ranges>
#include <tuple>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

constexpr SoundId kTestSound = 12; // replaced by a made-to-measure stroke

CSound Sound(SoundId id, float emphasis) {
    return MakeBol({1.0f, id, 0, emphasis})->pitch;
}

TEST(MixInto, AddsTheScaledStrokeTruncatedAndClampsTheSum) {
    using Samples = std::vector<std::int16_t>;
    struct Case {
        Samples stroke, block;
        float emphasis;
        std::uint32_t count;
        Samples mixed;
        SoundId id = kTestSound;
    };
    const Case cases[] = {
        // 0 dB adds the samples unchanged; sums past full scale clamp.
        {{100, 32767, -32768, -2}, {1, 3, 4, -32767}, 0.0f, 4, {101, 32767, -32764, -32768}},
        // -20 dB is a tenth truncated toward zero: -1.5 contributes -1.
        {{15, -15, 19, -19, 9, -9, 30000}, Samples(7), -20.0f, 7, {1, -1, 1, -1, 0, 0, 3000}},
        // +6 dB: 20000 * 1.9952623 = 39905 clamps, unless the block takes it back
        // into range: the whole product counts.
        {{0, 20000, 20000, -20000}, {0, 0, -10000, 10000}, 6.0f, 4, {0, 32767, 29905, -29905}},
        // An infinite gain (an emphasis only a legacy record carries) makes
        // 0 * inf NaN, which adds nothing; huge products clamp.
        {{1, 0, -1, 32767}, {5, 5, 5, 5}, 32767.0f, 4, {32767, 5, -32768, 32767}},
        // The count limits the samples; a block longer than the stroke keeps its tail.
        {{1, 2, 3, 4}, Samples(6, 7), 0.0f, 2, {8, 9, 7, 7, 7, 7}},
        {{1, 2, 3, 4}, Samples(6, 7), 0.0f, 6, {8, 9, 10, 11, 7, 7}},
        // Silence and unknown ids leave the block as it was.
        {{1}, Samples(3, -3), 20.0f, 3, Samples(3, -3), 0},
        {{1}, Samples(3, -3), 20.0f, 3, Samples(3, -3), 30},
    };
    for (const Case& c : cases) {
        CSampleBank bank;
        RecordingMessageSink sink;
        ASSERT_TRUE(bank.ReplaceStroke(kTestSound, StrokeImage(c.stroke)));
        Samples block = c.block;
        EXPECT_EQ(Sound(c.id, c.emphasis).MixInto(block.data(), c.count, bank, sink),
                  AudioStatus::Ok);
        EXPECT_EQ(block, c.mixed) << testing::PrintToString(c.stroke) << " at " << c.emphasis;
        EXPECT_TRUE(sink.Messages().empty());
    }
}

TEST(MixInto, AFailedStepShowsItsMessageAndLeavesTheBlockUnchanged) {
    using Step = FaultyBank::Step;
    for (const auto& [step, status, message] :
         {std::tuple(Step::Module, AudioStatus::NoModule,
                     "Error 0x7e: Cannot get handle for " + ProgramPath()),
          {Step::Find, AudioStatus::SoundNotFound, "Error 0x716: Cannot find sound pitch 12"},
          {Step::Load, AudioStatus::SoundNotLoaded, "Error 0x714: Cannot load sound pitch 12"},
          {Step::Lock, AudioStatus::SoundNotLocked, "Error 0x5: Cannot get handle for pitch 12"}}) {
        FaultyBank bank;
        bank.failing = step;
        RecordingMessageSink sink;
        std::vector<std::int16_t> block(8, 4);
        EXPECT_EQ(Sound(kTestSound, 0.0f).MixInto(block.data(), 8, bank, sink), status);
        EXPECT_EQ(block, std::vector<std::int16_t>(8, 4));
        EXPECT_EQ(Texts(sink), std::vector<std::string>{message});
    }
}

TEST(RenderInto, ClearsThenMixesBothSounds) {
    CSampleBank bank;
    RecordingMessageSink sink;
    ASSERT_TRUE(bank.ReplaceStroke(3, StrokeImage({1000, 1000, 1000})));
    ASSERT_TRUE(bank.ReplaceStroke(12, StrokeImage({5, 5})));
    auto bol = MakeBol({1.0f, 12, 3, 0.0f, 0.0f});
    std::vector<std::int16_t> block(4, 99);
    EXPECT_EQ(bol->RenderInto(block.data(), 4, bank, sink), AudioStatus::Ok);
    EXPECT_EQ(block, (std::vector<std::int16_t>{1005, 1005, 1000, 0}));
}

TEST(SampleBankStrokes, TheSilenceCannotBeReplacedAndOthersComeBack) {
    CSampleBank bank;
    const auto builtIn = bank.StrokeImage(5);
    const std::uint64_t generation = bank.Generation();
    EXPECT_FALSE(bank.ReplaceStroke(0, StrokeImage({1})));
    EXPECT_FALSE(bank.ReplaceStroke(5, {1, 2, 3}));
    EXPECT_EQ(bank.Generation(), generation);
    ASSERT_TRUE(bank.ReplaceStroke(5, StrokeImage({1, 2})));
    EXPECT_NE(bank.Generation(), generation);
    // Another built-in kit keeps the replacement; restoring brings back the kit's own.
    if (HasBuiltInKit(BuiltInKit::Recorded)) {
        EXPECT_TRUE(bank.UseBuiltInKit(BuiltInKit::Recorded));
        EXPECT_EQ(bank.StrokeImage(12).data(), BuiltInWaves(BuiltInKit::Recorded)[12].bytes);
        EXPECT_EQ(bank.StrokeImage(5).size(), 48u);
        EXPECT_TRUE(bank.UseBuiltInKit(BuiltInKit::Synthesised));
    }
    bank.RestoreBuiltInStrokes();
    EXPECT_FALSE(bank.IsReplaced(5));
    EXPECT_EQ(bank.StrokeImage(5).data(), builtIn.data());
}

class Renderer : public ::testing::Test {
protected:
    // Renders since the last call.
    std::size_t Renders() {
        const std::size_t count = renderer.RenderCount() - m_counted;
        m_counted = renderer.RenderCount();
        return count;
    }

    CTaal taal;
    FaultyBank bank; // fails nothing until told to
    RecordingMessageSink sink;
    CTaalRenderer renderer{taal, bank, sink};
    std::size_t m_counted = 0;
};

TEST_F(Renderer, TheCeilingDecidesWhatIsRenderedAgain) {
    FillTaal(taal, {{1.0f, 12, 3, 2.0f, 2.0f}, {1.0f, 7, 0}, {1.0f, 14, 1}});
    ASSERT_EQ(renderer.InitialUpdate(), AudioStatus::Ok);
    ASSERT_EQ(renderer.EmphasisCeiling(), 4.0f);
    Renders();

    taal.BolAt(1)->pitch.emphasis = 4.0f; // up to the ceiling: that bol only
    ASSERT_EQ(renderer.ApplyBolEdit(1), AudioStatus::Ok);
    EXPECT_EQ(Renders(), 1u);
    taal.BolAt(2)->bass.emphasis = 5.0f; // above it: every bol
    ASSERT_EQ(renderer.ApplyBolEdit(2), AudioStatus::Ok);
    EXPECT_EQ(Renders(), 3u);
    EXPECT_EQ(renderer.EmphasisCeiling(), 5.0f);

    // A quiet new bol, at the head or the tail: itself only, in its place.
    taal.Insert(0, MakeBol({0.5f, 20}));
    ASSERT_EQ(renderer.InsertBolView(0), AudioStatus::Ok);
    taal.Insert(-1, MakeBol({0.25f, 20}));
    ASSERT_EQ(renderer.InsertBolView(-1), AudioStatus::Ok);
    EXPECT_EQ(Renders(), 2u);
    ASSERT_EQ(renderer.Cells().size(), 5u);
    EXPECT_EQ(renderer.Cells()[0].sampleCount, 33075u);
    EXPECT_EQ(renderer.Cells()[2].sampleCount, 66150u);

    // Removing a quiet bol renders nothing; removing the loudest, everything.
    taal.Remove(2);
    std::optional<BolCell> removed = renderer.RemoveBolView(2);
    ASSERT_TRUE(removed.has_value());
    EXPECT_EQ(Renders(), 0u);
    taal.Remove(3);
    renderer.RemoveBolView(3);
    EXPECT_EQ(Renders(), 3u);
    EXPECT_EQ(renderer.EmphasisCeiling(), 4.0f);

    // A cell coming back (undo) keeps its block and renders nothing.
    taal.Insert(0, MakeBol({0.5f, 20}));
    ASSERT_EQ(renderer.InsertBolView(0, removed), AudioStatus::Ok);
    EXPECT_EQ(Renders(), 0u);
    EXPECT_EQ(renderer.Cells()[1].block, removed->block);
}

TEST_F(Renderer, AFailedBolIsSilentAndTheLastBolsStatusIsShown) {
    FillTaal(taal, {{1.0f, 7}, {1.0f, 12}});
    bank.failing = FaultyBank::Step::Find;
    bank.resource = LookupSampleResource(12);
    EXPECT_EQ(renderer.InitialUpdate(), AudioStatus::SoundNotFound);
    EXPECT_EQ(Texts(sink), (std::vector<std::string>{"Error 0x716: Cannot find sound pitch 12",
                                                     "Cannot load bol Bol 1 into memory.",
                                                     "Error 0x8 occured while loading Taal"}));
    EXPECT_EQ(renderer.Cells()[1].block, nullptr);
    ASSERT_EQ(renderer.BuildTaalImage(), AudioStatus::Ok);
    std::vector<unsigned char> image(static_cast<std::size_t>(renderer.ImageSize()));
    renderer.Image().CopyBytes(0, image);
    EXPECT_TRUE(std::all_of(image.begin() + 44 + 2 * 13230, image.end(), [](int b) { return !b; }));
}

TEST(Audition, LevelIsLoweredOnlyAboveZeroDecibelsAndAFailureReleasesTheBuffer) {
    FaultyBank bank;
    RecordingMessageSink sink;
    CBolAudition audition(bank, sink);
    // Pitch and bass emphases, and how far both are lowered.
    for (const auto& [pitch, bass, lowered] :
         {std::tuple(-3.0f, -3.0f, 0.0f), {3.0f, 3.0f, 3.0f}, {5.0f, -1.0f, 2.0f}}) {
        ASSERT_EQ(audition.Render(*MakeBol({7.5f, 12, 3, pitch, bass})), AudioStatus::Ok);
        const auto image = audition.Image();
        ASSERT_EQ(image.size(), 88244u); // two seconds, whatever the duration
        std::vector<std::int16_t> block(44100);
        MakeBol({1.0f, 12, 3, pitch - lowered, bass - lowered})
            ->RenderInto(block.data(), 44100, bank, sink);
        EXPECT_EQ(SamplesOf(image.subspan(44)), block) << pitch << " " << bass;
    }
    bank.failing = FaultyBank::Step::Load;
    bank.resource = LookupSampleResource(3);
    EXPECT_EQ(audition.Render(*MakeBol({1.0f, 12, 3})), AudioStatus::SoundNotLoaded);
    EXPECT_FALSE(audition.HasBuffer());
    EXPECT_TRUE(audition.Image().empty());
}

// --- The drums' levels ---------------------------------------------------

TEST(DrumLevels, TextIsOffOrDecibelsInRange) {
    for (const char* text : {"off", "-40", "6", "+3", "-6.5"}) {
        const std::optional<DrumLevel> level = ParseDrumLevel(text);
        ASSERT_TRUE(level) << text;
        EXPECT_EQ(ParseDrumLevel(DrumLevelText(*level)), level) << text;
    }
    EXPECT_EQ(ParseDrumLevel("+3"), DrumLevel{3.0f});
    EXPECT_EQ(ParseDrumLevel("off"), (DrumLevel{0.0f, true}));
    for (const char* text : {"6.01", "-40.5", "", "+", "+-3", "nan", "-inf", "3dB", " 3", "OFF"})
        EXPECT_FALSE(ParseDrumLevel(text)) << text;
    EXPECT_EQ((DrumLevel{std::nanf(""), true}.Clamped()), (DrumLevel{0.0f, true}));
}

// Each drum's strokes at its gain (master included) in the rendered blocks,
// stored or computed, with the mixing's saturation: a treble-only, a
// bass-only and a two-drum bol, rendered again on one renderer for each mix.
// The audition of the two-drum bol sounds the same samples.
TEST(DrumLevels, EachDrumIsScaledByItsGainAndSaturatesWithoutWrapping) {
    const std::vector<std::int16_t> treble{1000, -1000, 20000, -20000, 7};
    const std::vector<std::int16_t> bass{-3000, 3000, 16000, -16000, 0};
    CSampleBank bank;
    RecordingMessageSink sink;
    ASSERT_TRUE(bank.ReplaceStroke(12, StrokeImage(treble)));
    ASSERT_TRUE(bank.ReplaceStroke(3, StrokeImage(bass)));
    CTaal taal;
    FillTaal(taal, {{1.0f, 12, 0}, {1.0f, 0, 3}, {1.0f, 12, 3}});
    constexpr DrumLevel kOff{0.0f, true};
    // The levels, and the factor each drum's samples take (-6 dB is 0.501).
    const std::tuple<DrumLevels, double, double> cases[] = {
        {{}, 1.0, 1.0},
        {{kOff, {-6.0f}}, 0.0, 0.5},
        {{{}, kOff, {-6.0f}}, 0.5, 0.0},
        {{{6.0f}, {}, {6.0f}}, 4.0, 2.0}, // 20000 and 16000 saturate
        {{{-40.0f}, {}, kOff}, 0.0, 0.0},
    };
    const auto clamped = [](double value) { return std::clamp(value, -32768.0, 32767.0); };
    for (const std::size_t budget : {CTaalRenderer::kDefaultStoredSampleBudget, std::size_t{0}}) {
        CTaalRenderer renderer(taal, bank, sink);
        renderer.SetStoredSampleBudget(budget);
        for (const auto& [levels, trebleFactor, bassFactor] : cases) {
            renderer.SetDrumLevels(levels);
            ASSERT_EQ(renderer.RenderAllBols(), AudioStatus::Ok);
            std::vector<std::vector<std::int16_t>> blocks;
            for (const BolCell& cell : renderer.Cells()) {
                std::vector<unsigned char> bytes(2 * std::size_t{cell.block->Length()});
                cell.block->CopyBytes(0, bytes.data(), bytes.size());
                blocks.push_back(SamplesOf(bytes));
            }
            for (std::size_t i = 0; i < treble.size(); ++i) {
                const double bassAlone = clamped(bass[i] * bassFactor);
                const double expected[] = {clamped(treble[i] * trebleFactor), bassAlone,
                                           clamped(bassAlone + treble[i] * trebleFactor)};
                for (std::size_t bol = 0; bol < 3; ++bol)
                    EXPECT_NEAR(blocks[bol][i], expected[bol],
                                1.0 + 0.006 * std::abs(expected[bol]))
                        << "bol " << bol << " sample " << i << " at " << trebleFactor << "/"
                        << bassFactor;
            }
            CBolAudition audition(bank, sink);
            ASSERT_EQ(audition.Render(*taal.BolAt(2), levels), AudioStatus::Ok);
            EXPECT_EQ(SamplesOf(audition.Image().subspan(44, 2 * treble.size())), blocks[2]);
        }
    }
    EXPECT_TRUE(sink.Messages().empty());
}

// The literal image: whole blocks of 6 seconds per beat, the slots copied out
// one after the other.

float Ceiling(const CTaal& taal) {
    return std::ranges::max(taal.Bols() | std::views::transform([](const auto& bol) {
                                return bol->pitch.emphasis + bol->bass.emphasis;
                            }));
}

// A bol block exactly as the program makes it: count samples for 6 seconds per
// beat at the rate, cleared, then both sounds mixed at their emphases lowered
// by half the ceiling.
inline std::vector<std::int16_t> LiteralBlock(const CBol2& bol, float ceiling, std::uint32_t rate,
                                              const CSampleBank& bank, MessageSink& sink) {
    const std::uint32_t count = TruncateToU32(static_cast<float>(rate) * (bol.duration * 6.0f));
    std::vector<std::int16_t> block(count);
    CBol2 copy = bol;
    copy.bass.emphasis -= 0.5f * ceiling;
    copy.pitch.emphasis -= 0.5f * ceiling;
    if (copy.RenderInto(block.data(), count, bank, sink) != AudioStatus::Ok)
        block.clear();
    return block;
}

// The image made the literal way: header, then for each bol the first slot
// samples of its whole block, zeros where the slot passes the block's end.
inline std::vector<unsigned char> LiteralImage(const CTaal& taal,
                                               const std::vector<std::vector<std::int16_t>>& blocks,
                                               float secondsPerBeat, std::uint32_t rate) {
    std::vector<std::int16_t> samples;
    std::size_t i = 0;
    for (const auto& bol : taal.Bols()) {
        const std::uint32_t slot = TruncateToU32(
            static_cast<float>(bol->duration * secondsPerBeat) * static_cast<float>(rate));
        const auto& block = blocks[i++];
        for (std::uint32_t j = 0; j < slot; ++j)
            samples.push_back(j < block.size() ? block[j] : 0);
    }
    auto image = StrokeImage(samples);
    PutLe32(image, 24, rate);
    PutLe32(image, 28, 2 * rate);
    return image;
}

// The parameter is the seed; it also picks the stored-sample budget.
class VirtualImage : public ::testing::TestWithParam<std::uint32_t> {};

float Pick(std::mt19937& random, std::initializer_list<float> values) {
    return *(values.begin() + random() % values.size());
}

std::vector<BolSpec> RandomBols(std::mt19937& random) {
    std::uniform_int_distribution<int> count(1, 9);
    std::uniform_int_distribution<SoundId> sound(0, 31);
    std::uniform_real_distribution<float> emphasis(-20.0f, 20.0f);
    std::uniform_real_distribution<float> duration(0.001f, 2.0f);
    std::bernoulli_distribution often(0.6);
    std::vector<BolSpec> bols(static_cast<std::size_t>(count(random)));
    for (BolSpec& bol : bols) {
        bol.pitch = sound(random);
        bol.bass = sound(random);
        // Mostly the values people use, so that some bols share blocks.
        bol.duration = often(random) ? Pick(random, {0.25f, 0.5f, 1.0f, 2.0f}) : duration(random);
        bol.pitchEmphasis = often(random) ? Pick(random, {0.0f, -3.0f, 6.0f}) : emphasis(random);
        bol.bassEmphasis = often(random) ? 0.0f : emphasis(random);
    }
    return bols;
}

TEST_P(VirtualImage, EqualsTheLiteralImage) {
    std::mt19937 random(GetParam());
    std::uniform_real_distribution<double> logBpm(1.0, 3.0); // 10 to 1000 bpm
    std::uniform_int_distribution<int> semitones(-6, 6);

    CTaal taal;
    CSampleBank bank;
    RecordingMessageSink sink;
    // A replaced stroke takes part like the built-in ones.
    bank.ReplaceStroke(22, StrokeImage(std::vector<std::int16_t>(3000, -1234)));
    CTaalRenderer renderer(taal, bank, sink);
    // 0 makes every block compute its samples.
    const std::size_t budgets[] = {0, CTaalRenderer::kDefaultStoredSampleBudget, 100000};
    renderer.SetStoredSampleBudget(budgets[GetParam() % 3]);
    FillTaal(taal, RandomBols(random));

    // Rendered at one pitch, built at another: blocks are not rendered again
    // for a pitch change, so slots may outrun them.
    const float renderFactor = static_cast<float>(std::pow(2.0, semitones(random) / 12.0));
    renderer.SetPitch(renderFactor);
    ASSERT_EQ(renderer.InitialUpdate(), AudioStatus::Ok);
    const std::uint32_t renderRate = renderer.PlaybackRate();
    std::vector<std::vector<std::int16_t>> blocks;
    for (const auto& bol : taal.Bols())
        blocks.push_back(LiteralBlock(*bol, Ceiling(taal), renderRate, bank, sink));

    // Some bols stretched afterwards, as Expand does, without rendering.
    std::bernoulli_distribution stretch(0.2);
    for (const auto& bol : taal.Bols())
        if (stretch(random))
            bol->duration *= 3.0f;

    const float buildFactor = static_cast<float>(std::pow(2.0, semitones(random) / 12.0));
    const float secondsPerBeat = static_cast<float>(60.0 / std::pow(10.0, logBpm(random)));
    renderer.SetPitch(buildFactor);
    renderer.SetTempo(secondsPerBeat);
    ASSERT_EQ(renderer.BuildTaalImage(), AudioStatus::Ok);

    const auto literal = LiteralImage(taal, blocks, secondsPerBeat, renderer.PlaybackRate());
    ASSERT_EQ(renderer.ImageSize(), literal.size());
    EXPECT_TRUE(sink.Messages().empty());

    std::vector<unsigned char> whole(literal.size());
    ASSERT_EQ(renderer.Image().CopyBytes(0, whole), whole.size());
    EXPECT_EQ(whole, literal);
}

// Seeds of each stored-sample budget (the seed modulo 3).
INSTANTIATE_TEST_SUITE_P(RandomTaals, VirtualImage, ::testing::Values(1u, 2u, 3u, 8u, 15u, 16u));

} // namespace
