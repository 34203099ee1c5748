// The sample bank: resource ids, the mixing arithmetic and the resource steps'
// failures.

#include "AudioTestSupport.h"

#include "audio/SampleBank.h"
#include "model/Sound.h"

#include <gtest/gtest.h>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

constexpr SoundId kTestSound = 12; // "Na", replaced by a made-to-measure stroke

CSound Sound(SoundId id, float emphasis, std::string name = "Na") {
    CSound sound;
    sound.soundId = id;
    sound.emphasis = emphasis;
    sound.name = std::move(name);
    return sound;
}

} // namespace

TEST(SampleResources, LookupMapsIdsToResourcesAndUnknownIdsToSilence) {
    EXPECT_EQ(LookupSampleResource(0), 131);
    EXPECT_EQ(LookupSampleResource(1), 133);
    EXPECT_EQ(LookupSampleResource(12), 144);
    EXPECT_EQ(LookupSampleResource(29), 161);
    EXPECT_EQ(LookupSampleResource(30), 131);
    EXPECT_EQ(LookupSampleResource(0xFFFFFFFFu), 131);
}

TEST(SampleResources, EveryResourceIsFoundWithItsWholeImage) {
    CSampleBank bank;
    for (SoundId id = 0; id < kSoundCount; ++id) {
        const RecordingAccess access = bank.Access(LookupSampleResource(id));
        ASSERT_TRUE(access.Ok()) << id;
        EXPECT_EQ(access.bytes.data(), bank.StrokeImage(id).data()) << "used in place";
        EXPECT_EQ(access.SampleCount(), (access.bytes.size() - 44) / 2);
    }
    const RecordingAccess missing = bank.Access(132);
    EXPECT_EQ(missing.status, kStatusSoundNotFound);
}

TEST(MixInto, GainOfZeroDecibelsAddsTheSamplesUnchanged) {
    CSampleBank bank;
    RecordingMessageSink sink;
    ASSERT_TRUE(bank.ReplaceStroke(kTestSound, StrokeImage({100, -200, 32767, -32768, 1})));
    std::vector<std::int16_t> block{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(Sound(kTestSound, 0.0f).MixInto(block.data(), 6, bank, sink), 0u);
    EXPECT_EQ(block, (std::vector<std::int16_t>{101, -198, -32766, -32764, 6, 6}));
    EXPECT_TRUE(sink.Messages().empty());
}

TEST(MixInto, MinusTwentyDecibelsIsATenthTruncatedTowardZero) {
    CSampleBank bank;
    RecordingMessageSink sink;
    EXPECT_EQ(EmphasisGain(-20.0f), 0.1f);
    EXPECT_EQ(EmphasisGain(0.0f), 1.0f);
    ASSERT_TRUE(bank.ReplaceStroke(kTestSound, StrokeImage({15, -15, 19, -19, 9, -9, 30000})));
    std::vector<std::int16_t> block(7, 0);
    Sound(kTestSound, -20.0f).MixInto(block.data(), 7, bank, sink);
    // -15 * 0.1 = -1.5 contributes -1, not -2.
    EXPECT_EQ(block, (std::vector<std::int16_t>{1, -1, 1, -1, 0, 0, 3000}));
}

TEST(MixInto, SumsWrapAroundWithoutClipping) {
    CSampleBank bank;
    RecordingMessageSink sink;
    ASSERT_TRUE(bank.ReplaceStroke(kTestSound, StrokeImage({10000, -10000, 20000})));
    std::vector<std::int16_t> block{30000, -30000, 0};
    Sound(kTestSound, 0.0f).MixInto(block.data(), 3, bank, sink);
    EXPECT_EQ(block[0], -25536);
    EXPECT_EQ(block[1], 25536);
    // +6 dB nearly doubles: 20000 * 1.9952623 = 39905.2 -> 39905, whose low 16 bits read -25631.
    std::fill(block.begin(), block.end(), 0);
    Sound(kTestSound, 6.0f).MixInto(block.data(), 3, bank, sink);
    EXPECT_EQ(block[2], -25631);
}

TEST(MixInto, ProductsOutsideTheIntegerRangeAddNothing) {
    CSampleBank bank;
    RecordingMessageSink sink;
    ASSERT_TRUE(bank.ReplaceStroke(kTestSound, StrokeImage({1, 0, -1, 32767})));
    // An emphasis no file allows, but a legacy record can carry: the gain is
    // infinite, 0 * inf is NaN, and none of it may reach an integer unchecked.
    std::vector<std::int16_t> block{5, 5, 5, 5};
    EXPECT_EQ(Sound(kTestSound, 32767.0f).MixInto(block.data(), 4, bank, sink), 0u);
    EXPECT_EQ(block, (std::vector<std::int16_t>{5, 5, 5, 5}));
    // Large but finite: 32767 * 1e5 passes 2^31 and adds nothing; 1 * 1e5 adds 100000's low bits.
    Sound(kTestSound, 100.0f).MixInto(block.data(), 4, bank, sink);
    EXPECT_EQ(block[0], static_cast<std::int16_t>(5 + static_cast<std::uint16_t>(100000)));
    EXPECT_EQ(block[3], 5);
}

TEST(MixInto, CountLimitsTheSamplesAndALongerBlockKeepsItsTail) {
    CSampleBank bank;
    RecordingMessageSink sink;
    ASSERT_TRUE(bank.ReplaceStroke(kTestSound, StrokeImage({1, 2, 3, 4})));
    std::vector<std::int16_t> block(6, 7);
    Sound(kTestSound, 0.0f).MixInto(block.data(), 2, bank, sink);
    EXPECT_EQ(block, (std::vector<std::int16_t>{8, 9, 7, 7, 7, 7}));
    Sound(kTestSound, 0.0f).MixInto(block.data(), 6, bank, sink);
    EXPECT_EQ(block, (std::vector<std::int16_t>{9, 11, 10, 11, 7, 7}));
    EXPECT_EQ(Sound(kTestSound, 0.0f).MixInto(block.data(), 0, bank, sink), 0u);
    EXPECT_TRUE(sink.Messages().empty());
}

TEST(MixInto, SilenceAndUnknownIdsLeaveTheBlockAsItWas) {
    CSampleBank bank;
    RecordingMessageSink sink;
    std::vector<std::int16_t> block(20, -3);
    for (const SoundId id : {0u, 30u, 1000u}) {
        EXPECT_EQ(Sound(id, 20.0f).MixInto(block.data(), 20, bank, sink), 0u);
        EXPECT_EQ(block, std::vector<std::int16_t>(20, -3));
    }
}

TEST(MixInto, BuiltInStrokesMixFromTheirDataAfterTheHeader) {
    CSampleBank bank;
    RecordingMessageSink sink;
    const auto image = bank.StrokeImage(kTestSound);
    const auto recording = SamplesOf(image.subspan(44));
    std::vector<std::int16_t> block(recording.size() + 10, 0);
    Sound(kTestSound, 0.0f)
        .MixInto(block.data(), static_cast<std::uint32_t>(block.size()), bank, sink);
    EXPECT_TRUE(std::equal(recording.begin(), recording.end(), block.begin()));
    EXPECT_EQ(block.back(), 0);
}

struct FailureCase {
    FaultyBank::Step step;
    std::uint32_t status;
    const char* message;
};

class MixFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(MixFailure, ShowsTheStepsMessageAndLeavesTheBlockUnchanged) {
    FaultyBank bank;
    bank.failing = GetParam().step;
    RecordingMessageSink sink;
    std::vector<std::int16_t> block(8, 4);
    EXPECT_EQ(Sound(kTestSound, 0.0f, "Na").MixInto(block.data(), 8, bank, sink),
              GetParam().status);
    EXPECT_EQ(block, std::vector<std::int16_t>(8, 4));
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].kind, MessageKind::Error);
    std::string expected = GetParam().message;
    if (GetParam().step == FaultyBank::Step::Module)
        expected += ProgramPath();
    EXPECT_EQ(sink.Messages()[0].text, expected);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, MixFailure,
    ::testing::Values(
        FailureCase{FaultyBank::Step::Module, 12, "Error 0x7e: Cannot get handle for "},
        FailureCase{FaultyBank::Step::Find, 8, "Error 0x716: Cannot find sound Na"},
        FailureCase{FaultyBank::Step::Load, 9, "Error 0x714: Cannot load sound Na"},
        FailureCase{FaultyBank::Step::Lock, 10, "Error 0x5: Cannot get handle for Na"}));

TEST(RenderInto, ClearsThenMixesBothSoundsAndReportsTheFirstFailure) {
    FaultyBank bank;
    RecordingMessageSink sink;
    ASSERT_TRUE(bank.ReplaceStroke(3, StrokeImage({1000, 1000, 1000})));
    ASSERT_TRUE(bank.ReplaceStroke(12, StrokeImage({5, 5})));
    auto bol = MakeBol({1.0f, 12, 3, 0.0f, 0.0f});
    std::vector<std::int16_t> block(4, 99);
    EXPECT_EQ(bol->RenderInto(block.data(), 4, bank, sink), 0u);
    EXPECT_EQ(block, (std::vector<std::int16_t>{1005, 1005, 1000, 0}));

    bank.failing = FaultyBank::Step::Find;
    bank.resource = LookupSampleResource(3);
    EXPECT_EQ(bol->RenderInto(block.data(), 4, bank, sink), 8u);
    bank.resource = LookupSampleResource(12);
    bank.failing = FaultyBank::Step::Load;
    EXPECT_EQ(bol->RenderInto(block.data(), 4, bank, sink), 9u);
    EXPECT_EQ(sink.Messages().size(), 2u);
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
    EXPECT_TRUE(bank.IsReplaced(5));
    EXPECT_EQ(bank.StrokeImage(5).size(), 48u);
    EXPECT_NE(bank.Generation(), generation);
    bank.RestoreBuiltInStrokes();
    EXPECT_FALSE(bank.IsReplaced(5));
    EXPECT_EQ(bank.StrokeImage(5).data(), builtIn.data());
}
