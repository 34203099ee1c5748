// The feeding thread and the output's consumer never allocate or free: a
// minute of playback, stepped by hand, with the tempo changing every 100 ms
// and the pitch every 300 ms. The rebuilds themselves (on this thread) may.
#include "../support/AllocationCounter.h"
#include "PlaybackTestSupport.h"

namespace lorvanta::test {
namespace {

class AllocationTest : public PlaybackFixture {
protected:
    std::atomic<std::uint64_t> beats{0};
};

TEST_F(AllocationTest, AMinuteOfPlaybackWithTempoAndPitchChangesAllocatesNothing) {
    onPosition = [this](const PlayingPosition&) { beats.fetch_add(1, std::memory_order_relaxed); };
    Open(std::vector<float>(16, 1.0f), 0, false);
    AllocationScope thisThread(false); // commands and rebuilds run here
    engine->OnAudioPlay();
    ASSERT_TRUE(engine->IsPlaying());
    const float tempos[] = {0.6f, 0.5f, 0.75f, 0.4f, 0.3f};
    const float pitches[] = {1.0f, 1.0594631f, 0.8908987f, 1.4142135f, 0.7071068f};
    const std::uint64_t before = CountedAllocations();
    ArmAllocationCounter(true);
    for (int step = 0; step < 6000; ++step) { // 10 ms each
        if (step % 10 == 9)
            renderer->SetTempo(tempos[(step / 10) % 5]);
        if (step % 30 == 29)
            renderer->SetPitch(pitches[(step / 30) % 5]);
        {
            AllocationScope consumer(true); // the output's side counts
            device->AdvanceTime(std::chrono::milliseconds(10));
        }
        WaitForFeeder();
    }
    ArmAllocationCounter(false);
    EXPECT_EQ(CountedAllocations(), before);
    EXPECT_GT(engine->Refills(), 5000u);
    EXPECT_GT(beats.load(), 5000u);
    EXPECT_EQ(engine->Ring()->Underruns(), 0u);
    EXPECT_EQ(engine->FeedingThreadExitCode(), -1);
}

} // namespace
} // namespace lorvanta::test
