// Strokes that ring on until their drum is struck again, humanised hits and
// the bass drum's tuning (cut mode: RendererTest).

#include "AudioTestSupport.h"

#include "audio/StrokeShaping.h"
#include "audio/StrokeStyle.h"
#include "audio/TaalRenderer.h"
#include "common/RenderMeasures.h"
#include "common/StrokeAnalysis.h"
#include "model/LorvantaDoc.h"
#include "persistence/TaalFile.h"
#include "soundfiles/SoundFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <set>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

constexpr StrokeStyle kRing{StrokeEndings::Ring, 0.0f, 0.0f};

std::vector<std::int16_t> ImageSamples(const TaalImage& image) {
    std::vector<unsigned char> bytes(image.DataSize());
    std::size_t hint = 0;
    image.CopyData(0, bytes, hint);
    return SamplesOf(bytes);
}

std::vector<std::int16_t> BlockSamples(const BolBlock& block) {
    std::vector<unsigned char> bytes(2 * std::size_t{block.Length()});
    block.CopyBytes(0, bytes.data(), bytes.size());
    return SamplesOf(bytes);
}

// Strokes of a constant value, long enough to ring through a few bols, so
// that each drum's ring reads as a number.
void UseConstantStrokes(CSampleBank& bank) {
    for (const auto& [id, value] :
         {std::pair{12u, 1000}, {14u, 3000}, {3u, 100}, {2u, 30}, {24u, 10}}) {
        ASSERT_TRUE(bank.ReplaceStroke(
            id, StrokeImage(std::vector<std::int16_t>(80000, static_cast<std::int16_t>(value)))));
    }
}

// These bols in ring mode on the constant strokes, or on a built-in kit.
struct Ringing {
    explicit Ringing(const std::vector<BolSpec>& bols, std::optional<BuiltInKit> kit = {},
                     const StrokeStyle& style = kRing)
        : bank(kit.value_or(BuiltInKit::Synthesised)) {
        if (!kit)
            UseConstantStrokes(bank);
        FillTaal(taal, bols);
        renderer.SetStrokeStyle(style);
    }
    // The image rendered and built, as samples.
    std::vector<std::int16_t> Build() {
        EXPECT_EQ(renderer.InitialUpdate(), AudioStatus::Ok);
        EXPECT_EQ(renderer.BuildTaalImage(), AudioStatus::Ok);
        return ImageSamples(renderer.Image());
    }
    CSampleBank bank;
    RecordingMessageSink sink;
    CTaal taal;
    CTaalRenderer renderer{taal, bank, sink};
};

// --- The damping rules -------------------------------------------------------

TEST(StrokeEndings, TheTableSaysWhichDrumEachSoundStrikesAndHowFastItDamps) {
    EXPECT_EQ(StrokeEndingOf(0).drum, Drum::None);
    for (SoundId id : {12u, 13u, 14u, 20u, 26u, 29u})
        EXPECT_EQ(StrokeEndingOf(id).drum, Drum::Treble) << id;
    for (SoundId id : {1u, 3u, 5u, 6u})
        EXPECT_EQ(StrokeEndingOf(id).drum, Drum::Bass) << id;
    // The closed strokes of the left hand damp the bass drum within about 5 ms.
    for (SoundId id : {2u, 4u, 7u, 8u, 9u, 10u, 11u, 24u}) {
        EXPECT_EQ(StrokeEndingOf(id).drum, Drum::Bass) << id;
        EXPECT_LE(StrokeEndingOf(id).dampMs, 5.0f) << id;
    }
    EXPECT_EQ(StrokeEndingOf(kUnknownSoundId).drum, Drum::None);
}

// Which drum rings under which bol: the sum of the constant rings in the
// middle of each slot (1000 Na, 3000 Tin, 100 Open Ge, 30 Closed Ge, 10 Ka).
TEST(RingMode, EachDrumRingsUntilItIsStruckAgain) {
    struct Case {
        const char* what;
        std::vector<BolSpec> bols;
        std::vector<int> middles;
    };
    const Case cases[] = {
        {"the bass rings under treble-only bols and silence; Tin damps Na",
         {{1.0f, 12, 3}, {1.0f, 12, 0}, {1.0f, 0, 0}, {1.0f, 14, 0}},
         {1100, 1100, 1100, 3100}},
        {"Ka in the pitch slot damps the bass drum, the treble rings on",
         {{1.0f, 12, 3}, {1.0f, 24, 0}, {1.0f, 0, 0}},
         {1100, 1010, 1010}},
        {"the closed Ge damps the open one and the open one the closed",
         {{1.0f, 0, 3}, {1.0f, 0, 2}, {1.0f, 0, 0}},
         {100, 30, 30}},
        {"tails wrap over the cycle's end into its start",
         {{1.0f, 12, 0}, {1.0f, 0, 3}},
         {1100, 1100}},
        {"silence alone sounds nothing", {{1.0f, 0, 0}, {0.5f, 0, 0}}, {0, 0}},
    };
    for (const Case& c : cases) {
        Ringing r(c.bols);
        const auto x = r.Build();
        const auto& starts = r.renderer.BolStarts();
        std::vector<int> middles;
        for (std::size_t i = 0; i < c.bols.size(); ++i)
            middles.push_back(x[(starts[i] + starts[i + 1]) / 2]);
        EXPECT_EQ(middles, c.middles) << c.what;
    }
}

// The ring image reads the same in any chunks, from any byte: playback and
// Save Sound read it differently.
TEST(RingMode, ReadsTheSameInAnyChunks) {
    Ringing r({{1.0f, 12, 3}, {0.25f, 14, 0}, {0.5f, 0, 2}, {0.25f, 26, 0}, {1.0f, 0, 0}},
              BuiltInKit::Recorded, kDefaultStrokeStyle);
    r.Build();
    const TaalImage& image = r.renderer.Image();
    std::vector<unsigned char> whole(image.DataSize());
    std::size_t hint = 0;
    ASSERT_EQ(image.CopyData(0, whole, hint), whole.size());
    for (const std::size_t chunk : {1u, 7u, 440u, 511u, 65536u}) {
        std::vector<unsigned char> pieces(whole.size());
        for (std::size_t at = 0; at < pieces.size(); at += chunk)
            image.CopyData(at, std::span(pieces).subspan(at, std::min(chunk, pieces.size() - at)),
                           hint);
        EXPECT_EQ(pieces, whole) << chunk;
    }
}

// A damped ring fades out linearly over its damping time: never a step.
TEST(RingMode, ADampedRingFadesOutOverTheDampingTime) {
    Ringing r({{1.0f, 0, 3}, {1.0f, 0, 2}});
    const auto x = r.Build();
    const std::size_t at = r.renderer.BolStarts()[1];
    const std::size_t damp = 110; // 5 ms at 22050 Hz
    EXPECT_EQ(x[at - 1], 100);
    EXPECT_NEAR(x[at + damp / 2], 30 + 50, 1);
    EXPECT_EQ(x[at + damp], 30);
    for (std::size_t n = at + 1; n < at + damp; ++n)
        EXPECT_LE(std::abs(x[n] - x[n - 1]), 2) << n;
}

// The bundled thekas, recorded kit: ring mode is the literal ring (each drum
// ringing to its next strike, wrapped), with cut mode's bol starts and none of
// its clicks at the bol boundaries.
TEST(RingMode, BundledThekasRingLiterallyWithoutClicks) {
    CSampleBank bank(BuiltInKit::Recorded);
    RecordingMessageSink sink;
    int cutClicks = 0;
    for (const char* name : {"Keherwa", "Teentaal"}) {
        CLorvantaDoc doc;
        OpenTaalFile(doc, std::string(LORVANTA_SOURCE_DIR) + "/Taals/" + name + ".tal", sink);
        ASSERT_GT(doc.Taal().Count(), 0) << name;
        for (const auto& [bpm, factor] : {std::pair{100.0, 1.0f}, {400.0, 1.0594631f}}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(bpm));
            CTaalRenderer renderer(doc.Taal(), bank, sink);
            renderer.SetPitch(factor);
            renderer.SetTempo(static_cast<float>(60.0 / bpm));
            const double rate = renderer.PlaybackRate();
            std::vector<std::uint64_t> cutStarts;
            for (const StrokeStyle& style : {StrokeStyle{}, kRing}) {
                renderer.SetStrokeStyle(style);
                ASSERT_EQ(renderer.RenderAllBols(), AudioStatus::Ok);
                ASSERT_EQ(renderer.BuildTaalImage(), AudioStatus::Ok);
                const auto x = ImageSamples(renderer.Image());
                const std::size_t bols = renderer.Image().BolCount();
                // Each bol's own strokes, and each drum's strikes for the literal ring.
                std::vector<std::vector<std::int16_t>> attacks(bols);
                std::array<std::vector<LiteralStrike>, 2> strikes;
                std::vector<std::vector<std::int16_t>> kept;
                kept.reserve(2 * bols);
                for (std::size_t i = 0; i < bols; ++i) {
                    const BolCell& cell = renderer.Cells()[i];
                    for (std::size_t drum = 0; drum < 2; ++drum) {
                        const auto& block = cell.block ? cell.block : cell.strikes[drum].block;
                        if (!block || (cell.block && drum == 1))
                            continue;
                        kept.push_back(BlockSamples(*block));
                        auto& attack = attacks[i];
                        attack.resize(std::max(attack.size(), kept.back().size()));
                        for (std::size_t n = 0; n < kept.back().size(); ++n)
                            attack[n] = static_cast<std::int16_t>(attack[n] + kept.back()[n]);
                        strikes[drum].push_back(
                            {static_cast<std::size_t>(renderer.BolStarts()[i]),
                             static_cast<std::size_t>(cell.strikes[drum].dampMs * 0.001 * rate),
                             kept.back()});
                    }
                }
                const int clicks = BoundaryClicks(x, renderer.BolStarts(), attacks, rate);
                if (style.endings == StrokeEndings::Cut) {
                    cutClicks += clicks;
                    cutStarts.assign(renderer.BolStarts().begin(), renderer.BolStarts().end());
                    continue;
                }
                EXPECT_EQ(clicks, 0);
                EXPECT_TRUE(std::ranges::equal(renderer.BolStarts(), cutStarts));
                std::vector<double> literal(x.size());
                for (const auto& drum : strikes)
                    AddLiteralRing(drum, literal);
                double worst = 0.0;
                for (std::size_t n = 0; n < x.size(); ++n)
                    worst = std::max(worst, std::abs(std::clamp(literal[n], -32768.0, 32767.0) -
                                                     static_cast<double>(x[n])));
                EXPECT_LE(worst, 2.0);
            }
        }
    }
    EXPECT_GT(cutClicks, 0); // the measure finds the clicks it is there for
    EXPECT_TRUE(sink.Messages().empty());
}

// --- Humanise ------------------------------------------------------------------

TEST(Humanise, VariationsStayWithinTheirBoundsAndVanishAtZero) {
    std::set<std::uint32_t> variants;
    for (std::size_t place = 0; place < 64; ++place) {
        variants.insert(VariantAt(place, 100.0f));
        EXPECT_EQ(VariantAt(place, 0.0f), 0u);
        EXPECT_LE(std::abs(TimingAt(place, 100.0f, 22050)), 67); // 3 ms
        EXPECT_LE(std::abs(TimingAt(place, 50.0f, 22050)), 34);
        EXPECT_EQ(TimingAt(place, 0.0f, 22050), 0);
    }
    EXPECT_EQ(variants.size(), kHitVariants);
    for (std::uint32_t variant = 0; variant < kHitVariants; ++variant) {
        for (std::uint32_t stroke = 1; stroke < kSoundCount; ++stroke) {
            const HitVariation hit = VariationOf(variant, stroke, 100.0f);
            EXPECT_LE(std::abs(hit.levelDb), 1.5f);
            EXPECT_LE(std::abs(hit.cents), 8.0f);
            EXPECT_LE(std::abs(hit.tilt), 1.0f);
            EXPECT_EQ(VariationOf(variant, stroke, 0.0f), HitVariation{});
        }
    }
}

// The same Taal renders to the same bytes every time; 0 % sounds equal bols
// alike, 100 % makes the repeats of a bol within the cycle differ, from the
// same few blocks per distinct stroke.
TEST(Humanise, IsDeterministicAndMakesRepeatsDiffer) {
    auto render = [](float humanise, std::vector<std::int16_t>& samples) {
        Ringing r(std::vector<BolSpec>(16, {0.5f, 12, 3}), BuiltInKit::Recorded,
                  {StrokeEndings::Ring, humanise, 0.0f});
        samples = r.Build();
        EXPECT_TRUE(r.sink.Messages().empty());
        std::set<const BolBlock*> blocks;
        for (const BolCell& cell : r.renderer.Cells())
            for (const auto& strike : cell.strikes)
                blocks.insert(strike.block.get());
        return blocks.size();
    };
    std::vector<std::int16_t> a, b, plain;
    EXPECT_EQ(render(0.0f, plain), 2u);
    EXPECT_LE(render(100.0f, a), 2 * kHitVariants);
    render(100.0f, b);
    EXPECT_EQ(a, b);
    const std::size_t slot = plain.size() / 16;
    // At 0 % every slot sounds alike once the rings have settled into the loop.
    for (std::size_t i = 1; i < 16; ++i)
        EXPECT_TRUE(std::equal(plain.begin() + slot, plain.begin() + 2 * slot,
                               plain.begin() + static_cast<std::ptrdiff_t>(i * slot)))
            << i;
    for (std::size_t i = 1; i < 16; ++i)
        EXPECT_FALSE(std::equal(a.begin() + static_cast<std::ptrdiff_t>((i - 1) * slot),
                                a.begin() + static_cast<std::ptrdiff_t>(i * slot),
                                a.begin() + static_cast<std::ptrdiff_t>(i * slot)))
            << i;
}

// --- The bass drum's tuning -----------------------------------------------------

TEST(BassTuning, MovesTheBassDrumAloneThroughTheResampler) {
    Ringing r({{1.0f, 12, 3}}, BuiltInKit::Recorded);
    CTaalRenderer& renderer = r.renderer;
    renderer.SetStrokeResampler(ResampleStroke);
    std::vector<std::vector<std::int16_t>> treble, bass;
    for (float semitones : {0.0f, 5.0f, -5.0f}) {
        renderer.SetStrokeStyle({StrokeEndings::Ring, 0.0f, semitones});
        ASSERT_EQ(renderer.RenderAllBols(), AudioStatus::Ok);
        treble.push_back(BlockSamples(*renderer.Cells()[0].strikes[0].block));
        bass.push_back(BlockSamples(*renderer.Cells()[0].strikes[1].block));
    }
    EXPECT_EQ(treble[1], treble[0]);
    EXPECT_EQ(treble[2], treble[0]);
    // Five semitones up the open Ge is 2^(-5/12) as long, down 2^(5/12).
    EXPECT_NEAR(static_cast<double>(bass[1].size()) / bass[0].size(), std::pow(2.0, -5.0 / 12.0),
                0.001);
    EXPECT_NEAR(static_cast<double>(bass[2].size()) / bass[0].size(), std::pow(2.0, 5.0 / 12.0),
                0.001);
    const double settled = Pitch(bass[1], 0.3 / std::pow(2.0, 5.0 / 12.0), 0.6);
    EXPECT_NEAR(Cents(settled, Pitch(bass[0], 0.3, 1.0)), 500.0, 15.0);
    EXPECT_TRUE(r.sink.Messages().empty());
}

} // namespace
