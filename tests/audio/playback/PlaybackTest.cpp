// The playback engine on the hand-stepped capture output: what is heard (the
// cycle looped byte for byte; the starting points of Play, Play from Selected,
// Pause and Stop; the image rebuilt while it plays), the playing beat and bol,
// setting the engine up and down, and the Play Bol audition.
#include "PlaybackTestSupport.h"

#include "../AudioTestSupport.h"

#include "audio/StrokeKit.h"
#include "audio/WaveFormat.h"

#include <algorithm>
#include <numeric>

namespace lorvanta::test {
namespace {

constexpr std::uint32_t kRingSamples = 1760;

using StreamingTest = PlaybackFixture;
using PlayingPositionTest = PlaybackFixture;
using EngineLifecycleTest = PlaybackFixture;

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

TEST_F(StreamingTest, PauseGoesOnWhereItPausedAndOtherStartsStartAfresh) {
    Open({1.0f, 1.0f, 1.0f, 1.0f});
    const auto cycle = Cycle();
    const auto pauseMidChunk = [this] {
        engine->OnAudioPlay();
        Step(37);
        device->AdvanceFrames(100);
        engine->OnAudioPause();
    };
    pauseMidChunk();
    EXPECT_TRUE(engine->IsPaused() && engine->CanPlay() && !engine->CanStop());
    device->AdvanceFrames(5000); // nothing plays while paused
    engine->OnAudioStop();       // does nothing while paused
    engine->OnAudioPlay();
    device->AdvanceFrames(120); // to the end of the chunk paused in
    WaitForFeeder();
    Step(100);
    auto heard = Heard();
    EXPECT_TRUE(heard == Looped(cycle, 0, heard.size()));
    EXPECT_EQ(engine->Ring()->Underruns(), 0u);

    // Play from Selected after Pause starts at that bol.
    engine->OnAudioStop();
    EXPECT_FALSE(engine->IsPlaying() || engine->IsPaused());
    pauseMidChunk();
    device->ClearCaptured();
    engine->OnAudioPlayFromSelected(2);
    Step(20);
    heard = Heard();
    EXPECT_TRUE(heard == Looped(cycle, 2 * 13230, heard.size()));

    // A new Taal ends a pause as Stop would: Play starts at the cycle's start.
    engine->OnAudioStop();
    pauseMidChunk();
    device->ClearCaptured();
    engine->OnTaalReplaced();
    EXPECT_FALSE(engine->IsPaused());
    EXPECT_EQ(engine->LastBeatPosition(), 1.0f);
    engine->OnAudioPlay();
    Step(10);
    EXPECT_TRUE(Heard() == Looped(cycle, 0, 10 * 220));
}

TEST_F(StreamingTest, ChangesWhilePlayingRebuildTheImageAtTheSameFraction) {
    Open({1.0f, 1.0f, 1.0f, 1.0f}); // 105840 bytes at 100 bpm
    const auto oldCycle = Cycle();
    engine->OnAudioPlay();
    // The reader runs one ring ahead of what is heard: 3520 + 112 * 440 bytes
    // is 52800, just short of half the cycle.
    Step(112);
    const std::size_t heardBefore = Heard().size();
    ASSERT_EQ(ReaderPosition(), 52800u);
    renderer->SetTempo(0.5f); // 120 bpm: 88200 bytes
    const auto newCycle = Cycle();
    const std::uint64_t readerAfter = ReaderPosition();
    EXPECT_NEAR(readerAfter / 88200.0, 52800.0 / 105840, 2.0 / 88200);
    EXPECT_EQ(readerAfter % 2, 0u);
    Step(100);
    // What the ring held is heard out, then the new cycle from the reader's
    // new position on.
    auto expected = Looped(oldCycle, 0, heardBefore + kRingSamples);
    const auto newPart = Looped(newCycle, readerAfter / 2, 100 * 220 - kRingSamples);
    expected.insert(expected.end(), newPart.begin(), newPart.end());
    EXPECT_TRUE(Heard() == expected);

    // An edit: the same fraction of the new cycle, and the position is the
    // new cycle's, five beats long.
    const double before = Fraction();
    doc.Taal().Append(std::make_unique<CBol2>(*doc.Taal().BolAt(0)));
    doc.Taal().Recalculate(-1);
    renderer->InsertBolView(3);
    engine->OnTaalEdited();
    EXPECT_EQ(renderer->Image().BolCount(), 5u);
    EXPECT_NEAR(Fraction(), before, 1e-4);
    Step(20);
    const PlayingPosition p = Positions().back();
    EXPECT_EQ(p.beat, static_cast<float>(p.offset) / 110250.0f * 5.0f + 1.0f);

    // A pitch change moves the ring to the new rate at once.
    renderer->SetPitch(1.0594631f); // +1 semitone
    EXPECT_EQ(engine->Ring()->Frequency(), 23361u);

    // A Taal left empty is not played on.
    doc.Taal().RemoveAll();
    doc.SetEmpty(true);
    engine->OnTaalEdited();
    EXPECT_FALSE(engine->IsPlaying());
}

// Another kit while playing: the image is rebuilt from the new strokes at the
// same fraction of the cycle (heard from there as any rebuild is, above).
TEST_F(StreamingTest, AnotherKitIsRebuiltAtTheSameFraction) {
    if (!HasBuiltInKit(BuiltInKit::Recorded))
        GTEST_SKIP() << "this build has one kit";
    ApplyKitChoice(bank, {BuiltInKit::Synthesised, {}}, sink);
    Open({1.0f, 0.5f, 0.5f, 1.0f});
    engine->OnAudioPlay();
    Step(150);
    const double before = Fraction();
    const auto old = Cycle();
    // What the grid does when the kit changes.
    ApplyKitChoice(bank, {BuiltInKit::Recorded, {}}, sink);
    renderer->RenderAllBols();
    engine->OnTaalEdited();
    EXPECT_NEAR(Fraction(), before, 1e-4);
    const auto cycle = Cycle();
    ASSERT_EQ(cycle.size(), old.size());
    EXPECT_NE(cycle, old);
    Step(20);
    EXPECT_TRUE(engine->IsPlaying());
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(StreamingTest, ALostRingIsRestoredAndRefilledFromTheCycleStart) {
    Open({1.0f, 0.5f});
    const auto cycle = Cycle();
    engine->OnAudioPlay();
    Step(30);
    device->SimulateLoss(2); // the device is back at the third attempt
    Step(1);
    EXPECT_TRUE(engine->IsPlaying());
    // The ring now holds the cycle's first 3520 bytes; it plays on from its
    // position (31 chunks played: chunk 7 of the ring).
    device->ClearCaptured();
    Step(1);
    EXPECT_TRUE(Heard() == Looped(cycle, 7 * 220, 220));
}

TEST_F(PlayingPositionTest, BeatAndBolFollowTheOffsetWithTheTieBreakAtBolStarts) {
    Open({1.0f, 0.5f}); // slots 13230 and 6615: 39690 bytes
    const TaalImage& image = renderer->Image();
    ASSERT_EQ(image.DataSize(), 39690u);
    struct Case {
        std::uint64_t read, lag;
        float beat; // negative: not checked
        std::uint32_t bol;
    };
    const Case cases[] = {
        {26460, 0, 2.0f, 0},                          // sample 13230 starts bol 1: still bol 0
        {26462, 0, -1.0f, 1},        {0, 0, 1.0f, 0}, // sample 0 matches no bol
        {100, 3520, -1.0f, 1},       // the lag takes the offset back, round the cycle
        {39690 + 26460, 0, 2.0f, 0}, // a reader position beyond the data wraps
    };
    for (const Case& c : cases) {
        const PlayingPosition p = ComputePlayingPosition(c.read, c.lag, 1.5f, image);
        EXPECT_TRUE(c.beat < 0.0f || p.beat == c.beat) << c.read << ": " << p.beat;
        EXPECT_EQ(p.offset, (c.read + 39690 - c.lag) % 39690) << c.read;
        EXPECT_EQ(p.bolIndex, c.bol) << c.read;
    }
    // An image without samples gives the first beat.
    const PlayingPosition p = ComputePlayingPosition(1234, 56, 4.0f, TaalImage(WaveHeader{}));
    EXPECT_EQ(std::pair(p.beat, p.bolIndex), std::pair(1.0f, 0u));
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

TEST_F(EngineLifecycleTest, SetUpAndShutDownOnceAndWithoutSoundNothingPlays) {
    Open({1.0f, 0.5f});
    EXPECT_EQ(engine->InitDirectSound(), 0u); // again: nothing to do
    EXPECT_EQ(engine->Ring()->Size(), 3520u);
    // Shutting down stops the thread before releasing the ring.
    engine->OnAudioPlay();
    Step(3);
    engine->ShutdownDirectSound();
    EXPECT_EQ(engine->FeedingThreadExitCode(), kFeedingExitStopped);
    EXPECT_EQ(engine->Ring(), nullptr);
    EXPECT_FALSE(engine->IsInitialized());

    // The message names no platform's sound library.
    EXPECT_EQ(SoundInitFailureMessage(29).text,
              "Error initializing sound output (error code = 29)");

    // Without sound Play does nothing and says nothing.
    CPlaybackEngine silent(doc, *renderer, sink,
                           [](std::unique_ptr<OutputDevice>&) { return kHrNoDriver; });
    ASSERT_EQ(silent.InitDirectSound(), kSoundStatusNoDevice);
    engine.reset(); // the renderer serves one engine at a time
    silent.OnAudioPlay();
    EXPECT_FALSE(silent.IsPlaying());
    EXPECT_TRUE(sink.Messages().empty());
    EXPECT_EQ(silent.PlayAudition(StrokeImage({1, 2, 3, 4})), kHrNotInitialized);
}

TEST_F(EngineLifecycleTest, NothingToPlayIsRefused) {
    Open({});
    engine->OnAudioPlay();
    EXPECT_FALSE(engine->IsPlaying());
    EXPECT_FALSE(engine->CanPlay());
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].text, "You must load a Taal before playing it");
}

TEST_F(EngineLifecycleTest, TheAuditionPlaysOnceAfterStoppingTheTaal) {
    Open({1.0f});
    engine->OnAudioPlay();
    Step(2);
    std::vector<std::int16_t> samples(3000);
    std::iota(samples.begin(), samples.end(), 1);
    auto image = StrokeImage(samples);
    ASSERT_EQ(engine->PlayAudition(image), kHrOk);
    EXPECT_FALSE(engine->IsPlaying());
    const std::uint64_t first = engine->Audition()->Serial();
    std::fill(image.begin() + kWaveHeaderSize, image.end(), 0); // the caller's memory is free
    device->AdvanceFrames(5000);
    const auto heardFirst = device->Captured(first);
    EXPECT_TRUE(std::equal(heardFirst.begin(), heardFirst.end(), samples.begin()));
    EXPECT_EQ(heardFirst.size(), samples.size()); // once, whole
    EXPECT_FALSE(engine->Audition()->IsPlaying());

    image[22] = 2; // stereo
    EXPECT_EQ(engine->PlayAudition(image), kHrInvalidArg);
}

} // namespace
} // namespace lorvanta::test
