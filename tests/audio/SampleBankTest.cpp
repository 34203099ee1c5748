// The sample bank: the mixing arithmetic and the resource steps'
// failures.

#include "AudioTestSupport.h"

#include "audio/SampleBank.h"
#include "model/Sound.h"

#include <gtest/gtest.h>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

constexpr SoundId kTestSound = 12; // replaced by a made-to-measure stroke

CSound Sound(SoundId id, float emphasis) {
    return MakeBol({1.0f, id, 0, emphasis})->pitch;
}

} // namespace

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
        {{100, -200, 32767, -32768, 1, -2},
         {1, 2, 3, 4, 5, -32767},
         0.0f,
         6,
         {101, -198, 32767, -32764, 6, -32768}},
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
        EXPECT_EQ(Sound(c.id, c.emphasis).MixInto(block.data(), c.count, bank, sink), 0u);
        EXPECT_EQ(block, c.mixed) << testing::PrintToString(c.stroke) << " at " << c.emphasis;
        EXPECT_TRUE(sink.Messages().empty());
    }
}

TEST(MixInto, AFailedStepShowsItsMessageAndLeavesTheBlockUnchanged) {
    struct Case {
        FaultyBank::Step step;
        std::uint32_t status;
        std::string message;
    };
    const Case cases[] = {
        {FaultyBank::Step::Module, 12, "Error 0x7e: Cannot get handle for " + ProgramPath()},
        {FaultyBank::Step::Find, 8, "Error 0x716: Cannot find sound pitch 12"},
        {FaultyBank::Step::Load, 9, "Error 0x714: Cannot load sound pitch 12"},
        {FaultyBank::Step::Lock, 10, "Error 0x5: Cannot get handle for pitch 12"}};
    for (const Case& c : cases) {
        FaultyBank bank;
        bank.failing = c.step;
        RecordingMessageSink sink;
        std::vector<std::int16_t> block(8, 4);
        EXPECT_EQ(Sound(kTestSound, 0.0f).MixInto(block.data(), 8, bank, sink), c.status);
        EXPECT_EQ(block, std::vector<std::int16_t>(8, 4));
        EXPECT_EQ(Texts(sink), std::vector<std::string>{c.message});
    }
}

TEST(RenderInto, ClearsThenMixesBothSounds) {
    CSampleBank bank;
    RecordingMessageSink sink;
    ASSERT_TRUE(bank.ReplaceStroke(3, StrokeImage({1000, 1000, 1000})));
    ASSERT_TRUE(bank.ReplaceStroke(12, StrokeImage({5, 5})));
    auto bol = MakeBol({1.0f, 12, 3, 0.0f, 0.0f});
    std::vector<std::int16_t> block(4, 99);
    EXPECT_EQ(bol->RenderInto(block.data(), 4, bank, sink), 0u);
    EXPECT_EQ(block, (std::vector<std::int16_t>{1005, 1005, 1000, 0}));
}

TEST(SampleBankStrokes, TheSilenceCannotBeReplacedAndOthersComeBack) {
    CSampleBank bank;
    const auto builtIn = bank.StrokeImage(5);
    const std::uint64_t generation = bank.Generation();
    EXPECT_FALSE(bank.ReplaceStroke(0, StrokeImage({1})));
    EXPECT_FALSE(bank.ReplaceStroke(30, StrokeImage({1})));
    EXPECT_FALSE(bank.ReplaceStroke(5, {1, 2, 3}));
    EXPECT_EQ(bank.Generation(), generation);
    ASSERT_TRUE(bank.ReplaceStroke(5, StrokeImage({1, 2})));
    EXPECT_EQ(bank.StrokeImage(5).size(), 48u);
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
