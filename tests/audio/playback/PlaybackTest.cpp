// The playback engine on the hand-stepped capture output: what is heard (the
// cycle looped byte for byte; the starting points of Play, Play from Selected,
// Pause and Stop; the image rebuilt while it plays), the playing beat and bol,
// setting the engine up and down, the Play Bol audition, the drone mixed in,
// and no allocation on the audio side.
#include "../AudioTestSupport.h"

#include "audio/DroneMix.h"
#include "audio/TaalImage.h"
#include "audio/TaalRenderer.h"
#include "audio/output/VirtualOutput.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/LorvantaDoc.h"
#include "soundfiles/StrokeKit.h"

#ifdef LORVANTA_COUNT_ALLOCATIONS
#include "../support/AllocationCounter.h"
#include "audio/Gain.h"
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>

namespace lorvanta::test {
namespace {

// The image's samples looped from sample `start`, `count` of them.
std::vector<std::int16_t> Looped(const std::vector<std::int16_t>& cycle, std::size_t start,
                                 std::size_t count) {
    std::vector<std::int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = cycle[(start + i) % cycle.size()];
    return out;
}

class PlaybackTest : public ::testing::Test {
protected:
    // The feeding thread reports positions into members declared after the
    // engine: it is joined before any of them goes.
    ~PlaybackTest() override { engine.reset(); }

    // A document of these bols at 100 bpm, each with other strokes on both
    // drums so that no two stretches of the image look alike, played by an
    // engine on a hand-stepped output (keeping nothing without `capture`).
    void Open(const std::vector<float>& durations, std::uint32_t latencyFrames = 0,
              bool capture = true) {
        engine.reset(); // an engine of an earlier Open stops first
        doc.Taal().RemoveAll();
        for (std::size_t i = 0; i < durations.size(); ++i)
            doc.Taal().Append(MakeBol({durations[i], static_cast<SoundId>(1 + i % 29),
                                       static_cast<SoundId>(29 - i % 29)}));
        doc.Taal().Recalculate(-1);
        doc.SetEmpty(durations.empty());
        renderer = std::make_unique<CTaalRenderer>(doc.Taal(), bank, sink);
        renderer->SetTempo(0.6f);
        ASSERT_EQ(renderer->InitialUpdate(), AudioStatus::Ok);
        renderer->BuildTaalImage();
        engine =
            std::make_unique<CPlaybackEngine>(doc, *renderer, sink, Opener(latencyFrames, capture));
        engine->SetPositionHandler(onPosition);
        engine->SetOutputHandler([this](OutputEvent event) {
            std::lock_guard lock(m_positionsMutex);
            m_outputEvents.push_back(event);
        });
        ASSERT_EQ(engine->InitDirectSound(), SoundSetupStatus::Ok);
    }
    // Opens a hand-stepped output (keeping nothing without `capture`).
    OutputOpener Opener(std::uint32_t latencyFrames = 0, bool capture = true) {
        return [=, this](std::unique_ptr<OutputDevice>& out) {
            auto created = std::make_unique<VirtualOutputDevice>(
                VirtualOutputDevice::Options{.clock = VirtualOutputDevice::Clock::Manual,
                                             .capture = capture,
                                             .latencyFrames = latencyFrames});
            device = created.get();
            out = std::move(created);
            return HResult::Ok;
        };
    }
    // What the feeding thread told of the output.
    std::vector<OutputEvent> OutputEvents() const {
        std::lock_guard lock(m_positionsMutex);
        return m_outputEvents;
    }

    // Plays `chunks` notification chunks of the ring (220 samples each),
    // letting the feeding thread refill after each as a device would.
    void Step(int chunks, std::uint32_t frames = CPlaybackEngine::kNotifySamples) {
        for (int i = 0; i < chunks; ++i) {
            device->AdvanceFrames(frames);
            WaitForFeeder();
        }
    }
    void WaitForFeeder() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (engine->NotificationsProcessed() != Ring().NotificationsSignalled()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "feeding thread stalled";
            std::this_thread::yield();
        }
    }
    // The engine's ring is the output's first buffer, the audition its second.
    const OutputBuffer& Ring() const { return *device->Buffer(0); }
    std::vector<std::int16_t> Heard() const { return device->Captured(Ring().Serial()); }
    // What was heard from sample `from` on is the image's cycle looped from
    // within 4 samples of sample `near`.
    // From `from` on, what is heard is the cycle from about `near` on, after
    // the cross-fade that joins it to what played before.
    bool HeardFollows(std::size_t from, double near) const {
        const auto heard = Heard(), cycle = Cycle();
        const std::size_t fade = ImageCrossfade::kSamples;
        const std::vector tail(heard.begin() + static_cast<std::ptrdiff_t>(from + fade),
                               heard.end());
        const auto first = static_cast<std::size_t>(near) + cycle.size() - 4;
        for (std::size_t start = first; start <= first + 8; ++start)
            if (Looped(cycle, start + fade, tail.size()) == tail)
                return true;
        return false;
    }
    std::vector<std::int16_t> Cycle() const {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(renderer->ImageSize()));
        renderer->Image().CopyBytes(0, bytes);
        return SamplesOf(std::span(bytes).subspan(44));
    }
    // The positions delivered so far (by the feeding thread).
    std::vector<PlayingPosition> Positions() const {
        std::lock_guard lock(m_positionsMutex);
        return m_positions;
    }

    CLorvantaDoc doc;
    CSampleBank bank;
    RecordingMessageSink sink;
    std::unique_ptr<CTaalRenderer> renderer;
    VirtualOutputDevice* device = nullptr; // owned by the engine
    std::unique_ptr<CPlaybackEngine> engine;
    std::function<void(const PlayingPosition&)> onPosition = [this](const PlayingPosition& p) {
        std::lock_guard lock(m_positionsMutex);
        m_positions.push_back(p);
    };

private:
    mutable std::mutex m_positionsMutex;
    std::vector<PlayingPosition> m_positions;
    std::vector<OutputEvent> m_outputEvents;
};

// The feeding thread wakes just past the next beat: the image counts bytes,
// two a sample, against the output's samples a second.
TEST(FeedingWake, WaitsUntilJustPastTheNextBeatWithinItsBounds) {
    using std::chrono::microseconds;
    // 22050 Hz, 44100 bytes a second; beats of 4410 bytes (0.05 s).
    for (const auto& [offset, wait] : {
             std::pair(4410.0 - 88.2, microseconds(2000 + 200)),  // 2 ms before a beat
             std::pair(8820.0 - 132.3, microseconds(3000 + 200)), // 3 ms before
             std::pair(4410.0 - 4.41, microseconds(500)),         // too soon: the least
             std::pair(4410.0, microseconds(5000)),               // a whole beat: the most
             std::pair(0.0, microseconds(5000)),
         })
        EXPECT_NEAR(CPlaybackEngine::WaitForNextBeat(offset, 4410.0, 22050).count(), wait.count(),
                    2)
            << offset;
}

TEST_F(PlaybackTest, WhatIsHeardIsTheImageLoopedByteForByte) {
    // 13230 + 6615 + 3307 samples: 46304 bytes, not a multiple of 440, more
    // than three cycles; a cycle shorter than the ring; three chunks played
    // before the feeding thread wakes, all refilled.
    for (const auto& [durations, chunks, wakes] :
         {std::tuple(std::vector{1.0f, 0.5f, 0.25f}, 1u, 330),
          {{0.1f}, 1u, 40},
          {{1.0f, 0.5f}, 3u, 60}}) {
        Open(durations);
        engine->OnAudioPlay();
        Step(wakes, chunks * CPlaybackEngine::kNotifySamples);
        EXPECT_TRUE(Heard() == Looped(Cycle(), 0, wakes * chunks * 220)) << durations.size();
        EXPECT_EQ(Ring().Underruns(), 0u);
    }
}

TEST_F(PlaybackTest, PauseGoesOnWhereItPausedAndOtherStartsStartAfresh) {
    Open({1.0f, 1.0f, 1.0f, 1.0f});
    const auto cycle = Cycle();
    const auto pauseMidChunk = [this] {
        engine->OnAudioPlay();
        Step(37);
        device->AdvanceFrames(100);
        engine->OnAudioPause();
    };
    pauseMidChunk();
    device->AdvanceFrames(5000); // nothing plays while paused
    engine->OnAudioStop();       // does nothing while paused
    engine->OnAudioPlay();
    device->AdvanceFrames(120); // to the end of the chunk paused in
    WaitForFeeder();
    Step(100);
    EXPECT_TRUE(Heard() == Looped(cycle, 0, Heard().size()));

    // Play from Selected after Pause starts at that bol.
    engine->OnAudioStop();
    pauseMidChunk();
    device->ClearCaptured();
    engine->OnAudioPlayFromSelected(2);
    Step(20);
    EXPECT_TRUE(Heard() == Looped(cycle, 2 * 13230, 20 * 220));

    // A new Taal ends a pause as Stop would: Play starts at the cycle's start.
    engine->OnAudioStop();
    pauseMidChunk();
    device->ClearCaptured();
    engine->OnTaalReplaced();
    EXPECT_FALSE(engine->IsPaused());
    engine->OnAudioPlay();
    Step(10);
    EXPECT_TRUE(Heard() == Looped(cycle, 0, 10 * 220));
}

TEST_F(PlaybackTest, ChangesWhilePlayingRebuildTheImageAtTheSameFraction) {
    Open({1.0f, 1.0f, 1.0f, 1.0f}); // 105840 bytes at 100 bpm
    const auto oldCycle = Cycle();
    engine->OnAudioPlay();
    // The reader runs one ring (1760 samples) ahead of what is heard: 26400 of
    // 52920 samples in, just short of half the cycle.
    Step(112);
    renderer->SetTempo(0.5f); // 120 bpm: 44100 samples
    Step(100);
    // What the ring held is heard out, then the new cycle from the same
    // fraction of it on.
    EXPECT_TRUE(Looped(Heard(), 0, 26400) == Looped(oldCycle, 0, 26400));
    EXPECT_TRUE(HeardFollows(26400, 26400.0 / 52920 * 44100));
    // The join: the old cycle fades out over the new one fading in, about
    // 10 ms, with no step between them.
    {
        const auto heard = Heard(), cycle = Cycle();
        const std::size_t fade = ImageCrossfade::kSamples;
        std::size_t start = 0;
        for (std::size_t s = 22000 + cycle.size() - 8; s <= 22000 + cycle.size() + 8; ++s)
            if (Looped(cycle, s + fade, 100) == Looped(heard, 26400 + fade, 100))
                start = s;
        ASSERT_NE(start, 0u);
        for (std::size_t i = 0; i < fade; ++i) {
            const double in = static_cast<double>(i + 1) / (fade + 1);
            const double expected = cycle[(start + i) % cycle.size()] * in +
                                    oldCycle[(26400 + i) % oldCycle.size()] * (1.0 - in);
            ASSERT_NEAR(heard[26400 + i], expected, 1.0) << i;
        }
    }

    // An edit: the same fraction (44000 of 44100 samples read) of the new
    // cycle, and the position is the new cycle's, five beats long.
    std::size_t heardBefore = Heard().size();
    doc.Taal().Append(std::make_unique<CBol2>(*doc.Taal().BolAt(0)));
    doc.Taal().Recalculate(-1);
    renderer->InsertBolView(3);
    engine->OnTaalEdited();
    Step(20);
    EXPECT_TRUE(HeardFollows(heardBefore + 1760, 44000.0 / 44100 * 55125));
    const PlayingPosition p = Positions().back();
    EXPECT_EQ(p.beat, static_cast<float>(p.offset) / 110250.0f * 5.0f + 1.0f);

    // Another kit, as the grid applies it: new strokes where the reader was.
    if (HasBuiltInKit(BuiltInKit::Recorded)) {
        heardBefore = Heard().size();
        const auto old = Cycle();
        ApplyKitChoice(bank, {BuiltInKit::Recorded, {}}, sink);
        renderer->RenderAllBols();
        engine->OnTaalEdited();
        Step(20);
        EXPECT_NE(Cycle(), old);
        EXPECT_TRUE(HeardFollows(heardBefore + 1760, 55000 + 4400 - 55125));
    }

    // A pitch change moves the ring to the new rate at once.
    renderer->SetPitch(1.0594631f); // +1 semitone
    EXPECT_EQ(Ring().Frequency(), 23361u);

    // A Taal left empty is not played on.
    doc.Taal().RemoveAll();
    doc.SetEmpty(true);
    engine->OnTaalEdited();
    EXPECT_FALSE(engine->IsPlaying());
    EXPECT_TRUE(sink.Messages().empty());
}

// A next cycle's image readied while playing is heard from the wrap on, byte
// for byte: the cycle at the old tempo to its end, then the new one from its
// start. A rebuild meanwhile keeps it waiting; the renderer takes it (and its
// tempo) once playback reads it, and the beat shown falls back only at the
// wrap, not when the reader switches a ring ahead.
TEST_F(PlaybackTest, TheNextCycleImageTakesOverAtTheWrap) {
    Open({1.0f, 0.5f}); // 19845 samples at 100 bpm
    engine->OnAudioPlay();
    Step(10);
    ASSERT_EQ(renderer->PrepareNextCycle(0.3f), AudioStatus::Ok);
    renderer->ApplyBolEdit(1);
    EXPECT_TRUE(renderer->HasNextCycle());
    EXPECT_FALSE(renderer->AdoptNextCycle());
    const auto before = Cycle();
    Step(100);
    ASSERT_TRUE(renderer->AdoptNextCycle());
    EXPECT_EQ(renderer->SecondsPerBeat(), 0.3f);
    const auto after = Cycle();
    ASSERT_EQ(after.size(), 6615u + 3307u);
    const auto heard = Heard();
    EXPECT_TRUE(Looped(heard, 0, before.size()) == before);
    EXPECT_TRUE(std::vector(heard.begin() + static_cast<std::ptrdiff_t>(before.size()),
                            heard.end()) == Looped(after, 0, heard.size() - before.size()));
    const auto positions = Positions();
    int fallsBack = 0;
    for (std::size_t i = 1; i < positions.size(); ++i)
        fallsBack += positions[i].beat < positions[i - 1].beat ? 1 : 0;
    EXPECT_EQ(fallsBack, 1);
}

TEST_F(PlaybackTest, ALostRingIsRestoredAndPlaysOnFromWhereTheSoundStopped) {
    Open({1.0f, 0.5f});
    engine->OnAudioPlay();
    Step(30);
    WaitForFeeder();
    const std::uint64_t heldAt = Positions().back().offset / 2;
    device->SimulateLoss(2); // the device is back at the third attempt
    Step(3);
    WaitForFeeder();
    EXPECT_EQ(OutputEvents(), (std::vector{OutputEvent::Lost, OutputEvent::Restored}));
    EXPECT_FALSE(engine->IsOutputLost());
    // What follows is the cycle from the position held, not from its start.
    device->ClearCaptured();
    Step(2);
    const auto heard = Heard();
    bool follows = false;
    for (std::size_t chunks = 0; chunks <= 3; ++chunks)
        follows = follows || heard == Looped(Cycle(), heldAt + chunks * 220, heard.size());
    EXPECT_TRUE(follows);
    EXPECT_FALSE(heard == Looped(Cycle(), 7 * 220, heard.size())); // not from the start
}

// The beat shown moves only forward within a cycle, wraps at its end, and
// never runs faster than the tempo allows, however the estimate jitters.
TEST(ForwardPosition, HoldsBackStepsAndRunsNoFasterThanTheTempo) {
    using Clock = ForwardPosition::Clock;
    const Clock::time_point start{};
    const auto at = [&](double seconds) {
        return start +
               std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    };
    // A 16-beat cycle at 2 beats a second. Time, estimate, beat shown.
    ForwardPosition position;
    position.Restart(1.0, start);
    for (const auto& [seconds, estimate, shown] : {
             std::tuple(0.10, 1.2, 1.2), // on time
             {0.20, 1.19, 1.2},          // a step back is held
             {0.30, 1.6, 1.6},           // then it follows again
             {0.40, 2.4, 1.85},          // racing ahead: 1.25 times the tempo at most
             {0.60, 2.4, 2.35},          // catching up
             {0.70, 2.4, 2.4},           //
             {4.00, 9.0, 9.0},           //
             {7.95, 16.9, 16.9},         // near the cycle's end
             {8.05, 1.05, 1.05},         // the wrap is a step forward
             {8.10, 16.97, 1.05},        // and the end of the cycle just left is held
             {9.00, 2.0, 2.0},           //
             {9.01, 10.0, 2.025},        // a jump far ahead is taken slowly
         }) {
        EXPECT_NEAR(position.Next(estimate, 16.0, 2.0, at(seconds)), shown, 1e-9) << seconds;
    }
    // Stepped by hand (no real time): only the hold applies.
    position.Restart(1.0, start);
    EXPECT_DOUBLE_EQ(position.Next(5.0, 16.0, 2.0, start, false), 5.0);
    EXPECT_DOUBLE_EQ(position.Next(4.9, 16.0, 2.0, start, false), 5.0);
}

TEST_F(PlaybackTest, BeatAndBolFollowTheOffsetWithTheTieBreakAtBolStarts) {
    Open({1.0f, 0.5f}); // slots 13230 and 6615: 39690 bytes
    const TaalImage& image = renderer->Image();
    ASSERT_EQ(image.DataSize(), 39690u);
    // Bytes read, lag, beat (negative: not checked), bol.
    for (const auto& [read, lag, beat, bol] : {
             std::tuple<std::uint64_t, std::uint64_t, float, std::uint32_t>(26460, 0, 2.0f, 0),
             {26462, 0, -1.0f, 1},        // sample 13230 starts bol 1: still bol 0 above
             {0, 0, 1.0f, 0},             // sample 0 matches no bol
             {100, 3520, -1.0f, 1},       // the lag takes the offset back, round the cycle
             {39690 + 26460, 0, 2.0f, 0}, // a reader position beyond the data wraps
         }) {
        const PlayingPosition p = ComputePlayingPosition(read, lag, 1.5f, image);
        EXPECT_TRUE(beat < 0.0f || p.beat == beat) << read << ": " << p.beat;
        EXPECT_EQ(std::pair(p.offset, p.bolIndex), std::pair((read + 39690 - lag) % 39690, bol))
            << read;
    }
    // An image without samples gives the first beat.
    const PlayingPosition p = ComputePlayingPosition(1234, 56, 4.0f, TaalImage(WaveHeader{}));
    EXPECT_EQ(std::pair(p.beat, p.bolIndex), std::pair(1.0f, 0u));
}

TEST_F(PlaybackTest, ThePositionIsWhatIsHeardShownFromTheStart) {
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

TEST_F(PlaybackTest, ShutDownStopsTheThreadAndWithoutSoundOrATaalNothingPlays) {
    Open({1.0f, 0.5f});
    engine->OnAudioPlay();
    Step(3);
    engine->ShutdownDirectSound();
    EXPECT_EQ(engine->FeedingThreadExit(), FeedingExit::Stopped);
    // The failure's number in the one text, which names no platform's sound library.
    EXPECT_EQ(SoundInitFailureMessage(SoundSetupStatus::NoStream).text,
              "Error initializing sound output (error code = 33)");
    EXPECT_EQ(SoundInitFailureMessage(SoundSetupStatus::NoStream).kind, MessageKind::Error);

    { // Without sound each Play tries to open the output again, and says
      // what failed; once it can be opened, Play plays.
        bool available = false;
        CPlaybackEngine silent(doc, *renderer, sink,
                               [this, &available](std::unique_ptr<OutputDevice>& out) {
                                   return available ? Opener()(out) : HResult::NoDriver;
                               });
        ASSERT_EQ(silent.InitDirectSound(), SoundSetupStatus::NoDevice);
        engine.reset(); // the renderer serves one engine at a time
        silent.OnAudioPlay();
        EXPECT_FALSE(silent.IsPlaying());
        ASSERT_EQ(sink.Messages().size(), 1u);
        EXPECT_NE(sink.Messages().front().text.find("(error code = 29)"), std::string::npos);
        EXPECT_NE(sink.Messages().front().text.find("press Play again"), std::string::npos);
        available = true;
        silent.OnAudioPlay();
        EXPECT_TRUE(silent.IsPlaying());
        EXPECT_EQ(silent.SetupStatus(), SoundSetupStatus::Ok);
        silent.OnAudioStop();
        sink.Clear();
    }

    Open({});
    engine->OnAudioPlay();
    EXPECT_FALSE(engine->IsPlaying());
    EXPECT_EQ(Texts(sink), std::vector<std::string>{"You must load a Taal before playing it"});
}

TEST_F(PlaybackTest, TheAuditionPlaysOnceAfterStoppingTheTaal) {
    Open({1.0f});
    engine->OnAudioPlay();
    Step(2);
    std::vector<std::int16_t> samples(3000);
    std::iota(samples.begin(), samples.end(), 1);
    auto image = StrokeImage(samples);
    ASSERT_EQ(engine->PlayAudition(image), HResult::Ok);
    EXPECT_FALSE(engine->IsPlaying());
    std::fill(image.begin() + kWaveHeaderSize, image.end(), 0); // the caller's memory is free
    device->AdvanceFrames(5000);
    EXPECT_EQ(device->Captured(device->Buffer(1)->Serial()), samples); // once, whole
    image[22] = 2;                                                     // stereo
    EXPECT_EQ(engine->PlayAudition(image), HResult::InvalidArg);
}

// A loop of 997 samples (no multiple of a chunk) spanning the whole range, so
// that the sum saturates often at 0 dB.
DroneLoop LoudLoop() {
    auto loop = std::make_shared<std::vector<std::int16_t>>(997);
    for (std::size_t i = 0; i < loop->size(); ++i)
        (*loop)[i] = static_cast<std::int16_t>(static_cast<int>(i * 7919 % 65536) - 32768);
    return loop;
}

// The same playing (a tempo and a pitch change, the drone turned off and on, a
// pause) without and with the drone: every sample heard is the Taal's plus the loop's
// sample at the count of samples heard so far, clamped, except after turning
// it off, where from one ring on it is the Taal's alone.
TEST_F(PlaybackTest, TheDroneRunsOnAtItsOwnPositionAndSwitchesWithinARing) {
    const auto loop = LoudLoop();
    constexpr std::size_t kRing = CPlaybackEngine::kNotifyCount * CPlaybackEngine::kNotifySamples;
    for (const float levelDb : {0.0f, -12.0f}) {
        std::size_t offAt = 0, onAt = 0;
        const auto play = [&](bool drone) {
            Open({1.0f, 1.0f, 1.0f, 1.0f});
            if (drone) {
                engine->SetDroneLoop(loop);
                engine->SetDroneLevel(levelDb);
                engine->SetDroneOn(true);
            }
            engine->OnAudioPlay();
            Step(112);
            renderer->SetTempo(0.5f); // the image rebuilt mid-ring
            Step(60);
            renderer->SetPitch(1.0594631f);
            Step(40);
            offAt = Heard().size();
            engine->SetDroneOn(false);
            Step(20);
            onAt = Heard().size();
            engine->SetDroneOn(drone);
            Step(30);
            device->AdvanceFrames(100); // paused mid-chunk, then on from there
            engine->OnAudioPause();
            engine->OnAudioPlay();
            device->AdvanceFrames(120);
            WaitForFeeder();
            Step(30);
            return Heard();
        };
        const auto plain = play(false), mixed = play(true);
        ASSERT_EQ(plain.size(), mixed.size());
        const float gain = DbToGain(levelDb);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < mixed.size(); ++i) {
            const bool droneHeard = i < offAt + kRing || i >= onAt + kRing;
            const int drone =
                droneHeard ? static_cast<int>(static_cast<float>((*loop)[i % loop->size()]) * gain)
                           : 0;
            wrong += mixed[i] != std::clamp(plain[i] + drone, -32768, 32767);
        }
        EXPECT_EQ(wrong, 0u) << levelDb << " dB, of " << mixed.size();
        EXPECT_EQ(Ring().Underruns(), 0u);
    }
}

// The drone alone: only the loop is heard, from its start; Pause stops it and
// Play brings the Taal back. A new loop while playing (another tuning) takes
// over within a ring, at the drone's position round the new loop; the old one
// stays the caller's to free.
TEST_F(PlaybackTest, TheDroneAloneAndANewLoopAtTheSamePosition) {
    Open({0.5f, 0.5f});
    const auto first = LoudLoop();
    auto second = std::make_shared<std::vector<std::int16_t>>(*first);
    std::reverse(second->begin(), second->end());
    engine->SetDroneLoop(first);
    engine->SetDroneLevel(-12.0f);
    engine->SetDroneOn(true);
    engine->PlayDroneAlone();
    ASSERT_TRUE(engine->IsDroneAlone());
    Step(40);
    const auto heard = Heard();
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < heard.size(); ++i)
        wrong += heard[i] != static_cast<int>(static_cast<float>((*first)[i % first->size()]) *
                                              DbToGain(-12.0f));
    EXPECT_EQ(wrong, 0u) << "of " << heard.size();
    engine->OnAudioPause();
    EXPECT_FALSE(engine->IsPlaying());
    engine->OnAudioPlay();
    EXPECT_TRUE(engine->IsPlaying() && !engine->IsDroneAlone());

    Open({0.5f, 0.5f});
    engine->SetDroneLoop(first);
    engine->SetDroneOn(true);
    engine->OnAudioPlay();
    Step(30);
    const std::size_t position = engine->DronePosition();
    EXPECT_EQ(position, (30 * 220 + 1760) % first->size()); // one ring ahead of what is heard
    engine->SetDroneLoop(second);
    EXPECT_EQ(first.use_count(), 1); // released by SetDroneLoop, here
    EXPECT_EQ(engine->DronePosition(), position);
    Step(10);
    EXPECT_EQ(engine->DronePosition(), (position + 10 * 220) % second->size());
    engine->SetDroneLoop(nullptr); // no drone: the Taal alone
    Step(20);
    EXPECT_EQ(engine->DronePosition(), 0u);
}

#ifdef LORVANTA_COUNT_ALLOCATIONS
// The feeding thread and the output's consumer never allocate or free: half a
// minute of playback, the drone and the lehra on, with the tempo changing every 100 ms, the
// pitch every 300 ms and the drone switched every 500 ms, with strokes cut
// and ringing on (mixed as they are read). The rebuilds themselves (on this
// thread) may.
class PlayingAllocatesNothing : public PlaybackTest,
                                public ::testing::WithParamInterface<StrokeEndings> {};

TEST_P(PlayingAllocatesNothing, WhileTempoAndPitchChange) {
    onPosition = [](const PlayingPosition&) {};
    Open(std::vector<float>(16, 1.0f), 0, false);
    renderer->SetStrokeStyle({GetParam(), kDefaultHumanise, 0.0f});
    ASSERT_EQ(renderer->RenderAllBols(), AudioStatus::Ok);
    AllocationScope thisThread(false);
    engine->SetDroneLoop(LoudLoop());
    engine->SetDroneOn(true);
    auto lehra = std::make_shared<LehraLoop>();
    lehra->cycleSamples = Cycle().size();
    lehra->cycles = 2;
    lehra->samples.assign(2 * lehra->cycleSamples, 1000);
    engine->SetLehraLoops(lehra, nullptr);
    engine->SetLehraOn(true);
    engine->OnAudioPlay();
    const std::uint64_t before = CountedAllocations();
    ArmAllocationCounter(true);
    for (int step = 0; step < 3000; ++step) { // 10 ms each
        if (step % 10 == 9)
            renderer->SetTempo(0.3f + 0.1f * static_cast<float>(step / 10 % 5));
        if (step % 30 == 29)
            renderer->SetPitch(step % 60 == 29 ? 1.4142135f : 0.8908987f);
        if (step % 50 == 49) {
            engine->SetDroneOn(step % 100 == 99);
            engine->SetDroneLevel(static_cast<float>(step % 7) - 6.0f);
        }
        AllocationScope consumer(true); // the output's side counts
        device->AdvanceTime(std::chrono::milliseconds(10));
        WaitForFeeder();
    }
    ArmAllocationCounter(false);
    EXPECT_EQ(CountedAllocations(), before);
    EXPECT_GT(Ring().WriteGeneration(), 2500u); // refills
}

INSTANTIATE_TEST_SUITE_P(StrokeEndings, PlayingAllocatesNothing,
                         ::testing::Values(StrokeEndings::Cut, StrokeEndings::Ring));
#endif

} // namespace
} // namespace lorvanta::test

namespace lorvanta::test {
namespace {

// The lehra keeps the Taal's time: played without and with a two-cycle loop
// whose samples count up, every sample heard carries the loop's sample for
// the place of the Taal's cycle it came from, in the first or second cycle:
// from sam at Play, from the bol's start at Play from Selected, on after a
// Pause mid-chunk, and across the wraps; after a tempo change with its new
// loop, within a ring.
TEST_F(PlaybackTest, TheLehraPlaysInStepWithTheTaalsCycle) {
    const auto loopFor = [](std::size_t cycle) {
        auto loop = std::make_shared<LehraLoop>();
        loop->cycleSamples = cycle;
        loop->cycles = 2;
        loop->samples.resize(2 * cycle);
        for (std::size_t i = 0; i < loop->samples.size(); ++i)
            loop->samples[i] = static_cast<std::int16_t>(i % 20011);
        return loop;
    };
    for (const bool fromSelected : {false, true}) {
        std::size_t start = 0, cycle = 0, pausedAt = 0;
        const auto play = [&](bool lehra) {
            Open({0.25f, 0.125f, 0.125f, 0.5f});
            cycle = Cycle().size();
            if (lehra) {
                engine->SetLehraLoops(loopFor(cycle), nullptr);
                engine->SetLehraLevel(0.0f);
                engine->SetLehraOn(true);
            }
            start = fromSelected ? renderer->BolStarts()[2] : 0;
            if (fromSelected)
                engine->OnAudioPlayFromSelected(2);
            else
                engine->OnAudioPlay();
            Step(150);
            device->AdvanceFrames(100);
            pausedAt = Heard().size();
            engine->OnAudioPause();
            engine->OnAudioPlay();
            WaitForFeeder();
            Step(200);
            return Heard();
        };
        const auto plain = play(false), mixed = play(true);
        ASSERT_EQ(plain.size(), mixed.size());
        ASSERT_GT(plain.size(), 3 * cycle) << "runs through both cycles";
        const auto loop = loopFor(cycle);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < mixed.size(); ++i) {
            const int lehra = loop->samples[(start + i) % (2 * cycle)];
            wrong += mixed[i] != std::clamp(plain[i] + lehra, -32768, 32767);
        }
        EXPECT_EQ(wrong, 0u) << (fromSelected ? "from selected" : "from sam") << ", paused at "
                             << pausedAt << " of " << mixed.size();
    }
    // A tempo change: with its loop handed over, the lehra is at the same
    // place of the new cycle from one ring on.
    Open({1.0f, 1.0f});
    engine->SetLehraLoops(loopFor(Cycle().size()), nullptr);
    engine->SetLehraLevel(0.0f);
    engine->SetLehraOn(true);
    engine->OnAudioPlay();
    Step(40);
    renderer->SetTempo(0.3f);
    const std::size_t cycle = Cycle().size();
    engine->SetLehraLoops(loopFor(cycle), nullptr);
    EXPECT_EQ(engine->LehraLoopPlaying()->cycleSamples, cycle);
    Step(60);
    EXPECT_EQ(Ring().Underruns(), 0u);

    // A tempo ramp's next cycle: its loop waits with its image and is taken
    // exactly at the wrap into it.
    Open({0.25f, 0.25f});
    const auto current = loopFor(Cycle().size());
    engine->SetLehraLoops(current, nullptr);
    engine->SetLehraOn(true);
    engine->OnAudioPlay();
    Step(3);
    ASSERT_EQ(renderer->PrepareNextCycle(0.4f), AudioStatus::Ok);
    ASSERT_NE(renderer->NextCycleImage(), nullptr);
    const auto next = loopFor(static_cast<std::size_t>(renderer->NextCycleImage()->DataSize() / 2));
    engine->SetLehraLoops(current, next);
    Step(3);
    EXPECT_EQ(engine->LehraLoopPlaying(), current.get()) << "not before the wrap";
    Step(40); // past the cycle's end (6615 samples)
    EXPECT_EQ(engine->LehraLoopPlaying(), next.get());
}

} // namespace
} // namespace lorvanta::test
