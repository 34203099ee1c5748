// What is heard while the engine streams the Taal image: the cycle looped byte
// for byte, the starting points of Play, Play from Selected, Pause and Stop,
// and the image rebuilt while it plays.
#include "PlaybackTestSupport.h"

#include <algorithm>

namespace lorvanta::test {
namespace {

constexpr std::uint32_t kRingSamples = 1760;

class StreamingTest : public PlaybackFixture {};

TEST_F(StreamingTest, WhatIsHeardIsTheImageLoopedByteForByte) {
    struct Case {
        std::vector<float> durations;
        int chunksPerWake, wakes;
    };
    const Case cases[] = {
        // 13230 + 6615 + 3307 samples: 46304 bytes, not a multiple of 440;
        // more than three cycles.
        {{1.0f, 0.5f, 0.25f}, 1, 330},
        {{0.1f}, 1, 40}, // 1323 samples: a cycle shorter than the ring
        // Three chunks played before the feeding thread wakes: all refilled.
        {{1.0f, 0.5f}, 3, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.durations.size());
        Open(c.durations);
        engine->OnAudioPlay();
        ASSERT_TRUE(engine->IsPlaying());
        Step(c.wakes, c.chunksPerWake * CPlaybackEngine::kNotifySamples);
        const auto heard = Heard();
        ASSERT_EQ(heard.size(), static_cast<std::size_t>(c.wakes * c.chunksPerWake * 220));
        EXPECT_TRUE(heard == Looped(Cycle(), 0, heard.size()));
        EXPECT_EQ(engine->Ring()->Underruns(), 0u);
        EXPECT_EQ(engine->FeedingThreadExitCode(), -1);
        TearDown();
    }
}

TEST_F(StreamingTest, AFeederLateByMoreThanTheRingFallsBackInStep) {
    Open({1.0f, 0.5f, 1.0f});
    const auto cycle = Cycle();
    engine->OnAudioPlay();
    Step(20);
    {
        // The feeding thread is held up while eleven chunks play.
        std::lock_guard hold(renderer->StreamLock());
        device->AdvanceFrames(11 * 220);
    }
    WaitForFeeder();
    const std::uint64_t stale = engine->Ring()->Underruns();
    EXPECT_GT(stale, 0u);
    Step(40);
    // Back in step: no more stale chunks, and from the end of the stall on
    // what is heard is the cycle at the time it is played.
    EXPECT_EQ(engine->Ring()->Underruns(), stale);
    const auto heard = Heard();
    const auto expected = Looped(cycle, 0, heard.size());
    EXPECT_TRUE(std::equal(heard.begin() + 31 * 220, heard.end(), expected.begin() + 31 * 220));
}

TEST_F(StreamingTest, PlayFromSelectedStartsAtTheSelectedBol) {
    Open({1.0f, 1.0f, 1.0f, 1.0f});
    const auto cycle = Cycle();
    engine->OnAudioPlayFromSelected(3);
    ASSERT_TRUE(engine->IsPlaying());
    Step(20);
    const auto heard = Heard();
    // Three one-beat bols at 100 bpm come before: 79380 bytes.
    EXPECT_TRUE(heard == Looped(cycle, 79380 / 2, heard.size()));

    // With none selected it starts at the beginning.
    engine->OnAudioStop();
    device->ClearCaptured();
    engine->OnAudioPlayFromSelected(-1);
    Step(5);
    EXPECT_TRUE(Heard() == Looped(cycle, 0, 5 * 220));
}

TEST_F(StreamingTest, PauseGoesOnWhereItPausedAndStopStartsOver) {
    Open({1.0f, 0.5f, 1.0f});
    const auto cycle = Cycle();
    engine->OnAudioPlay();
    Step(37);
    device->AdvanceFrames(100); // pause in the middle of a chunk
    engine->OnAudioPause();
    EXPECT_TRUE(engine->IsPaused() && engine->CanPlay() && !engine->CanStop());
    const std::size_t before = Heard().size();
    device->AdvanceFrames(5000); // nothing plays while paused
    EXPECT_EQ(Heard().size(), before);
    engine->OnAudioStop(); // does nothing while paused
    EXPECT_TRUE(engine->IsPaused());

    engine->OnAudioPlay();
    EXPECT_FALSE(engine->IsPaused());
    device->AdvanceFrames(120); // to the end of the chunk paused in
    WaitForFeeder();
    Step(100);
    const auto heard = Heard();
    EXPECT_TRUE(heard == Looped(cycle, 0, heard.size()));
    EXPECT_EQ(engine->Ring()->Underruns(), 0u);

    // Stop, then Play, starts over.
    engine->OnAudioStop();
    EXPECT_FALSE(engine->IsPlaying() || engine->IsPaused());
    EXPECT_EQ(engine->LastBeatPosition(), 1.0f);
    device->ClearCaptured();
    engine->OnAudioPlay();
    Step(50);
    EXPECT_TRUE(Heard() == Looped(cycle, 0, 50 * 220));
}

TEST_F(StreamingTest, AfterPausePlayFromSelectedAndANewTaalStartAfresh) {
    Open({1.0f, 1.0f, 1.0f, 1.0f});
    const auto cycle = Cycle();
    const auto pauseMidChunk = [this] {
        engine->OnAudioPlay();
        Step(37);
        device->AdvanceFrames(100);
        engine->OnAudioPause();
        device->ClearCaptured();
    };
    pauseMidChunk();
    engine->OnAudioPlayFromSelected(2);
    Step(20);
    const auto heard = Heard();
    EXPECT_TRUE(heard == Looped(cycle, 2 * 13230, heard.size()));

    // A new Taal ends a pause as Stop would: Play starts at the cycle's start.
    engine->OnAudioStop();
    pauseMidChunk();
    engine->OnTaalReplaced();
    EXPECT_FALSE(engine->IsPaused());
    EXPECT_EQ(engine->LastBeatPosition(), 1.0f);
    engine->OnAudioPlay();
    Step(10);
    EXPECT_TRUE(Heard() == Looped(cycle, 0, 10 * 220));
}

TEST_F(StreamingTest, AnEditWhilePlayingRebuildsTheImageAtTheSameFraction) {
    Open({1.0f, 1.0f, 1.0f, 1.0f});
    engine->OnAudioPlay();
    Step(112);
    const auto fraction = [this] {
        std::lock_guard lock(renderer->StreamLock());
        return static_cast<double>(renderer->Reader().Position()) /
               static_cast<double>(renderer->Reader().DataSize());
    };
    const double before = fraction();
    auto bol = std::make_unique<CBol2>(*doc.Taal().BolAt(0));
    doc.Taal().Append(std::move(bol));
    doc.Taal().Recalculate(-1);
    renderer->InsertBolView(3);
    engine->OnTaalEdited();
    EXPECT_EQ(renderer->Image().BolCount(), 5u);
    EXPECT_NEAR(fraction(), before, 1e-4);
    Step(20);
    // The position is the new cycle's, five beats long.
    const PlayingPosition p = Positions().back();
    EXPECT_EQ(p.beat, static_cast<float>(p.offset) / 132300.0f * 5.0f + 1.0f);

    // A Taal left empty is not played on.
    doc.Taal().RemoveAll();
    doc.SetEmpty(true);
    engine->OnTaalEdited();
    EXPECT_FALSE(engine->IsPlaying());
}

TEST_F(StreamingTest, ATempoChangeHalfwayGoesOnHalfwayThroughTheNewCycle) {
    Open({1.0f, 1.0f, 1.0f, 1.0f}); // 105840 bytes at 100 bpm
    const auto oldCycle = Cycle();
    engine->OnAudioPlay();
    // The reader runs one ring ahead of what is heard: 3520 + 112 * 440 bytes
    // is 52800, just short of half the cycle.
    Step(112);
    const std::size_t heardBefore = Heard().size();
    std::uint64_t readerBefore = 0;
    {
        std::lock_guard lock(renderer->StreamLock());
        readerBefore = renderer->Reader().Position();
    }
    ASSERT_EQ(readerBefore, 52800u);

    renderer->SetTempo(0.5f); // 120 bpm: 88200 bytes
    const auto newCycle = Cycle();
    std::uint64_t readerAfter = 0;
    {
        std::lock_guard lock(renderer->StreamLock());
        readerAfter = renderer->Reader().Position();
    }
    const double before = static_cast<double>(readerBefore) / (oldCycle.size() * 2);
    const double after = static_cast<double>(readerAfter) / (newCycle.size() * 2);
    EXPECT_NEAR(after, before, 2.0 / 88200);
    EXPECT_EQ(readerAfter % 2, 0u);

    Step(100);
    const auto heard = Heard();
    // What the ring held is heard out, then the new cycle from the reader's
    // new position on.
    const auto oldPart = Looped(oldCycle, 0, heardBefore + kRingSamples);
    const auto newPart =
        Looped(newCycle, readerAfter / 2, heard.size() - heardBefore - kRingSamples);
    ASSERT_EQ(heard.size(), oldPart.size() + newPart.size());
    EXPECT_TRUE(std::equal(oldPart.begin(), oldPart.end(), heard.begin()));
    EXPECT_TRUE(std::equal(newPart.begin(), newPart.end(), heard.begin() + oldPart.size()));
}

TEST_F(StreamingTest, APitchChangeWhilePlayingMovesTheRingToTheNewRate) {
    Open({1.0f, 1.0f});
    engine->OnAudioPlay();
    Step(10);
    EXPECT_EQ(engine->Ring()->Frequency(), 22050u);
    renderer->SetPitch(1.0594631f); // +1 semitone
    EXPECT_EQ(engine->Ring()->Frequency(), 23361u);
    EXPECT_EQ(renderer->Slots()[0], 14016u);
    Step(10);
    engine->OnAudioStop();
    // Not playing: the next Play sets it.
    renderer->SetPitch(0.8908987f); // -2 semitones
    EXPECT_EQ(engine->Ring()->Frequency(), 23361u);
    engine->OnAudioPlay();
    EXPECT_EQ(engine->Ring()->Frequency(), renderer->PlaybackRate());
}

TEST_F(StreamingTest, ALostRingIsRestoredAndRefilledFromTheCycleStart) {
    Open({1.0f, 0.5f});
    const auto cycle = Cycle();
    engine->OnAudioPlay();
    Step(30);
    const std::size_t before = Heard().size();
    device->SimulateLoss(2); // the device is back at the third attempt
    Step(1);
    std::uint32_t status = 0;
    ASSERT_EQ(engine->Ring()->GetStatus(&status), kHrOk);
    EXPECT_EQ(status & buffer_status::kLost, 0u);
    EXPECT_TRUE(engine->IsPlaying());
    const auto heard = Heard();
    // Silence while it was lost.
    EXPECT_TRUE(std::all_of(heard.begin() + static_cast<std::ptrdiff_t>(before), heard.end(),
                            [](std::int16_t s) { return s == 0; }));
    // The ring now holds the cycle's first 3520 bytes; it plays on from its
    // position (31 chunks played: chunk 7 of the ring).
    device->ClearCaptured();
    Step(1);
    EXPECT_TRUE(Heard() == Looped(cycle, 7 * 220, 220));
    EXPECT_EQ(engine->FeedingThreadExitCode(), -1);
}

} // namespace
} // namespace lorvanta::test
