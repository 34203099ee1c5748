// The playing beat and bol: the arithmetic, and the sequence delivered while a
// 16-beat Taal plays.
#include "PlaybackTestSupport.h"

#include <cmath>

namespace lorvanta::test {
namespace {

class PlayingPositionTest : public PlaybackFixture {};

TEST_F(PlayingPositionTest, BeatAndBolFollowTheOffsetWithTheTieBreakAtBolStarts) {
    Open({1.0f, 0.5f}); // slots 13230 and 6615: 39690 bytes
    renderer->BuildTaalImage();
    const TaalImage& image = renderer->Image();
    ASSERT_EQ(image.DataSize(), 39690u);
    const float length = doc.Taal().Total();

    // Byte 26460 is sample 13230, the start of bol 1: beat 2.0 and still bol 0.
    PlayingPosition p = ComputePlayingPosition(26460, 0, length, image);
    EXPECT_EQ(p.beat, 2.0f);
    EXPECT_EQ(p.bolIndex, 0u);
    p = ComputePlayingPosition(26462, 0, length, image);
    EXPECT_EQ(p.bolIndex, 1u);
    // Sample 0 matches no bol.
    p = ComputePlayingPosition(0, 0, length, image);
    EXPECT_EQ(p.beat, 1.0f);
    EXPECT_EQ(p.bolIndex, 0u);
    // The lag takes the offset back, round the cycle.
    p = ComputePlayingPosition(100, 3520, length, image);
    EXPECT_EQ(p.offset, 39690u - 3420u);
    EXPECT_EQ(p.bolIndex, 1u);
    // A reader position beyond the data wraps too.
    p = ComputePlayingPosition(39690 + 26460, 0, length, image);
    EXPECT_EQ(p.beat, 2.0f);
    // An image without samples gives the first beat.
    p = ComputePlayingPosition(1234, 56, 4.0f, TaalImage(WaveHeader{}));
    EXPECT_EQ(p.beat, 1.0f);
    EXPECT_EQ(p.bolIndex, 0u);
}

TEST_F(PlayingPositionTest, SixteenBeatsRunFromOneToJustUnderSeventeenThenStartAgain) {
    Open(std::vector<float>(16, 1.0f)); // 16 * 13230 samples: 423360 bytes
    engine->OnAudioPlay();
    const int chunksPerCycle = 423360 / 440 + 1;
    Step(2 * chunksPerCycle);
    const std::vector<PlayingPosition> positions = Positions();

    ASSERT_GT(positions.size(), 2u * 900u);
    float lowest = 100.0f;
    float highest = 0.0f;
    int wraps = 0;
    std::vector<bool> bolSeen(16, false);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const PlayingPosition& p = positions[i];
        lowest = std::min(lowest, p.beat);
        highest = std::max(highest, p.beat);
        ASSERT_LT(p.bolIndex, 16u);
        bolSeen[p.bolIndex] = true;
        // The bol is the one whose beat is sounding (the tie-break aside).
        const std::uint64_t sample = p.offset / 2;
        if (sample % 13230 != 0) {
            EXPECT_EQ(p.bolIndex, sample / 13230);
        }
        EXPECT_EQ(p.beat, static_cast<float>(p.offset) / 423360.0f * 16.0f + 1.0f);
        if (i > 0) {
            EXPECT_EQ(p.previousBeat, positions[i - 1].beat);
            if (p.beat < p.previousBeat)
                ++wraps;
        }
    }
    EXPECT_GE(lowest, 1.0f);
    EXPECT_LT(lowest, 1.02f); // within a chunk of the start
    EXPECT_LT(highest, 17.0f);
    EXPECT_GT(highest, 16.99f);
    EXPECT_EQ(wraps, 2);
    for (int bol = 0; bol < 16; ++bol)
        EXPECT_TRUE(bolSeen[bol]) << bol;
    EXPECT_EQ(engine->LastBeatPosition(), positions.back().beat);
    EXPECT_EQ(engine->PlayingBolIndex(), positions.back().bolIndex);
}

TEST_F(PlayingPositionTest, ThePositionIsWhatIsHeardShownFromTheStart) {
    // An output latency of 300 samples: what the ring and the output still
    // hold comes off what was read.
    Open(std::vector<float>(4, 1.0f), 300);
    engine->OnAudioPlayFromSelected(2);
    // The starting beat is shown at once, before anything has played.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Positions().empty())
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    EXPECT_EQ(Positions().front().beat, 3.0f);
    Step(20);
    EXPECT_EQ(Positions().back().offset, 2u * 26460u + 20u * 440u - 600u);
}

} // namespace
} // namespace lorvanta::test
