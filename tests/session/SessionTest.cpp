// The session headless: after any mix of edits, undos and redos the
// renderer's cells are what rendering the Taal afresh gives, and edits while
// playing are heard as the Taal now is; a silent session renders nothing and
// sets no sound up; a position listener hears what the feeding thread
// publishes.
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/output/VirtualOutput.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/Bol.h"
#include "model/Messages.h"
#include "session/LorvantaSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

namespace lorvanta {
namespace {

// Each cell's block as bytes (empty when the bol has no block).
std::vector<std::vector<unsigned char>> CellBytes(const CTaalRenderer& renderer) {
    std::vector<std::vector<unsigned char>> cells;
    for (const BolCell& cell : renderer.Cells()) {
        std::vector<unsigned char> bytes;
        if (cell.block) {
            bytes.resize(2 * std::size_t{cell.block->Length()});
            cell.block->CopyBytes(0, bytes.data(), bytes.size());
        }
        bytes.push_back(static_cast<unsigned char>(cell.sampleCount % 251));
        cells.push_back(std::move(bytes));
    }
    return cells;
}

TEST(Session, RendererCellsFollowEveryEdit) {
    CSampleBank bank;
    RecordingMessageSink sink;
    std::mt19937 random(7);
    // Small edits go bol by bol, large ones (Select All, Paste of many) in one pass.
    const std::vector<std::function<void(CTaalEditor&)>> edits = {
        [](CTaalEditor& e) { e.Insert(); },
        [](CTaalEditor& e) { e.Delete(); },
        [](CTaalEditor& e) { e.Copy(), e.Paste(); },
        [](CTaalEditor& e) { e.Undo(); },
        [](CTaalEditor& e) { e.Redo(); },
        [](CTaalEditor& e) { e.ExpandSelected(0.5f); },
        [](CTaalEditor& e) { e.SelectAll(); },
        [](CTaalEditor& e) {
            e.Click(2, {false, true}), e.Click(9, {false, true});
        },
        [&](CTaalEditor& e) {
            CBol2 loud("Dha", 0, 1.5f);
            loud.pitch.emphasis = 30.0f;
            loud.pitch.soundId = static_cast<SoundId>(random() % 20);
            e.ApplyBolProperties(loud);
        },
    };
    for (int run = 0; run < 6; ++run) {
        MemoryClipboard clipboard;
        CLorvantaSession session(bank, sink, nullptr, &clipboard);
        for (int i = 0; i < 24; ++i) {
            session.Document().InsertBol(i - 1);
            CBol2& bol = *session.Document().Taal().BolAt(i);
            bol.pitch.emphasis = static_cast<float>(random() % 9) - 4.0f;
            bol.pitch.soundId = static_cast<SoundId>(random() % 20);
            bol.bass.soundId = static_cast<SoundId>(20 + random() % 8);
        }
        session.OnInitialUpdate();
        for (int step = 0; step < 40; ++step) {
            session.Editor().Click(static_cast<int>(random() % 30), {});
            edits[random() % edits.size()](session.Editor());
            CTaalRenderer fresh(session.Document().Taal(), bank, sink);
            fresh.RenderAllBols();
            ASSERT_EQ(CellBytes(session.Renderer()), CellBytes(fresh))
                << "run " << run << " step " << step;
        }
    }
}

// A session on a hand-stepped virtual output, counting the times it is opened.
struct SteppedSession {
    explicit SteppedSession(SessionSound sound)
        : session(
              bank, sink,
              [this](std::unique_ptr<OutputDevice>& out) {
                  ++opened;
                  auto created = std::make_unique<VirtualOutputDevice>(VirtualOutputDevice::Options{
                      .clock = VirtualOutputDevice::Clock::Manual, .capture = true});
                  device = created.get();
                  out = std::move(created);
                  return HResult::Ok;
              },
              nullptr, sound) {
        for (int i = 0; i < 4; ++i) {
            auto bol = std::make_unique<CBol2>("Dha", 0, 0.5f);
            bol->pitch.soundId = static_cast<SoundId>(3 + i);
            session.Document().Taal().Append(std::move(bol));
        }
        session.Document().Taal().Recalculate(-1);
        session.Document().SetEmpty(false);
    }
    // Plays `chunks` chunks, the feeding thread done with each.
    void Step(int chunks = 1) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (int i = 0; i < chunks; ++i, frames += CPlaybackEngine::kNotifySamples) {
            device->AdvanceFrames(CPlaybackEngine::kNotifySamples);
            while (session.Engine().NotificationsProcessed() !=
                       device->Buffer(0)->NotificationsSignalled() &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
        }
    }
    // The playing image's samples.
    std::vector<std::int16_t> Cycle() const {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(session.Renderer().ImageSize()));
        session.Renderer().Image().CopyBytes(0, bytes);
        std::vector<std::int16_t> samples((bytes.size() - 44) / 2);
        std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
        return samples;
    }
    // Plays on, updating the practice after each chunk as the window's timer
    // does, until `cycles` are counted; gives the frame at which each whole
    // beat was first shown and the cycle it belongs to.
    struct BeatStart {
        int beat;
        std::uint64_t frame, cycle;
    };
    std::vector<BeatStart> PlayCycles(std::uint64_t cycles) {
        std::vector<BeatStart> starts;
        int shown = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (session.CyclesCompleted() < cycles && std::chrono::steady_clock::now() < deadline) {
            Step();
            session.UpdatePractice();
            if (const int beat = static_cast<int>(session.PlayingBeat()); beat != shown)
                starts.push_back({shown = beat, frames, session.CyclesCompleted()});
        }
        return starts;
    }

    CSampleBank bank;
    RecordingMessageSink sink;
    int opened = 0;
    std::uint64_t frames = 0;
    VirtualOutputDevice* device = nullptr; // owned by the session's engine
    CLorvantaSession session;
};

// New levels while playing: every bol rendered again (the same levels render
// nothing) and the playing image rebuilt.
TEST(Session, NewDrumLevelsRenderEveryBolAgainWhilePlaying) {
    SteppedSession s(SessionSound::Rendered);
    s.session.OnInitialUpdate();
    s.session.Play();
    s.Step(20);
    const std::vector<std::int16_t> before = s.Cycle();
    const DrumLevels levels{{0.0f, true}, {-6.0f}};
    const std::size_t renders = s.session.Renderer().RenderCount();
    s.session.SetDrumLevels(levels);
    s.session.SetDrumLevels(levels);
    EXPECT_EQ(s.session.Renderer().RenderCount() - renders, 4u);
    EXPECT_EQ(s.session.Levels(), levels);
    EXPECT_NE(s.Cycle(), before);
}

TEST(Session, ASilentSessionRendersNoBolAndSetsNoSoundUp) {
    for (const auto& [sound, opened, cells] :
         {std::tuple(SessionSound::Rendered, 1, 5u), {SessionSound::Silent, 0, 0u}}) {
        SteppedSession s(sound);
        s.session.OnInitialUpdate();
        s.session.Editor().Append();
        s.session.OnStrokesChanged();
        EXPECT_EQ(s.opened, opened);
        EXPECT_EQ(s.session.Renderer().Cells().size(), cells);
        EXPECT_EQ(s.session.SoundStatus(), SoundSetupStatus::Ok);
        EXPECT_TRUE(s.sink.Messages().empty());
    }
}

TEST(Session, APositionListenerHearsEachPublishedPositionOnlyWhenSetBeforeTheSound) {
    std::atomic<int> early{0}, late{0}; // outlive the feeding thread
    SteppedSession s(SessionSound::Rendered);
    s.session.SetPositionListener([&](const PlayingPosition&) { ++early; });
    s.session.OnInitialUpdate();
    s.session.SetPositionListener([&](const PlayingPosition&) { ++late; });
    s.session.Play();
    ASSERT_TRUE(s.session.IsPlaying());
    s.Step(10);
    s.session.Stop();
    // The last call may still be on its way when Stop returns.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (early.load() != static_cast<int>(s.session.PositionUpdates()) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_GE(early.load(), 5);
    EXPECT_EQ(early.load(), static_cast<int>(s.session.PositionUpdates()));
    EXPECT_EQ(late.load(), 0);
}

// The drone's loop is rendered only when the tuning or octave changes (a level
// or a switch costs no render); the engine follows every setting, the level
// kept within its range.
TEST(Session, SetDroneRendersTheLoopOnlyForANewTuning) {
    SteppedSession s(SessionSound::Rendered);
    s.session.OnInitialUpdate();
    const DroneLoop* loop = &s.session.DroneLoopInUse();
    const std::vector<std::int16_t>* previous = nullptr;
    for (const auto& [settings, rendered, levelDb] : {
             std::tuple(DroneSettings{true, {DroneTuning::Pa, 3}, -6.0f}, true, -6.0f),
             {DroneSettings{false, {DroneTuning::Pa, 3}, 40.0f}, false, kMaxDroneLevelDb},
             {DroneSettings{true, {DroneTuning::Pa, 4}, -100.0f}, true, kMinDroneLevelDb},
             {DroneSettings{true, {DroneTuning::Ni, 4}, std::nanf("")}, true, kDefaultDroneLevelDb},
             {DroneSettings{true, {DroneTuning::Ni, 4}, 0.0f}, false, 0.0f},
         }) {
        s.session.SetDrone(settings);
        ASSERT_TRUE(*loop);
        EXPECT_EQ(loop->get() != previous, rendered);
        EXPECT_EQ(**loop, RenderTanpuraLoop(settings.setup, kSampleRate));
        previous = loop->get();
        EXPECT_EQ(s.session.Drone().levelDb, levelDb);
        EXPECT_EQ(s.session.Engine().IsDroneOn(), settings.on);
    }
    // Switched off, a new tuning waits until the drone is heard again.
    s.session.SetDrone({false, {DroneTuning::Sa, 3}, 0.0f});
    EXPECT_EQ(loop->get(), previous);
    s.session.SetDrone({true, {DroneTuning::Sa, 3}, 0.0f});
    EXPECT_EQ(**loop, RenderTanpuraLoop({DroneTuning::Sa, 3}, kSampleRate));
}

struct TempoLog : SessionObserver {
    void OnTempoChanged(float secondsPerBeat) override {
        bpm.push_back(std::round(60.0 / secondsPerBeat));
    }
    std::vector<double> bpm;
};

// Each cycle of a stepped ramp is played at its step's tempo from its first
// beat on (the beats of a cycle of two half-beat pairs are as long as that
// tempo's beat, to one chunk), the tempo announced as it is heard; at the
// target the ramp ends and the tempo holds.
TEST(Session, ARampsStepsLandOnTheCyclesStarts) {
    for (const auto& [start, request, perCycle] : {
             std::tuple(120.0, RampRequest{RampRequest::Form::Stepped, 180.0, 30.0, 1, 0.0},
                        std::vector<double>{120, 150, 180, 180}),
             {150.0,
              RampRequest{RampRequest::Form::Stepped, 100.0, 25.0, 2, 0.0},
              {150, 150, 125, 125, 100, 100}},
         }) {
        TempoLog log; // outlives the session
        SteppedSession s(SessionSound::Rendered);
        const Subscription following = s.session.Subscribe(log);
        s.session.OnInitialUpdate();
        s.session.SetTempo(static_cast<float>(60.0 / start));
        ASSERT_EQ(s.session.StartRamp(request), RampStatus::Ok);
        s.session.Play();
        const auto starts = s.PlayCycles(perCycle.size());
        ASSERT_GE(starts.size(), 2 * perCycle.size());
        for (std::size_t i = 0; i + 1 < starts.size(); ++i)
            EXPECT_NEAR(static_cast<double>(starts[i + 1].frame - starts[i].frame),
                        60.0 / perCycle[starts[i].cycle] * kSampleRate,
                        CPlaybackEngine::kNotifySamples + 1)
                << "cycle " << starts[i].cycle << " beat " << starts[i].beat;
        EXPECT_FALSE(s.session.IsRamping());
        std::vector<double> changes = perCycle;
        changes.erase(std::unique(changes.begin(), changes.end()), changes.end());
        EXPECT_EQ(log.bpm, std::vector(changes.begin() + 1, changes.end()));
    }
}

// A tempo set by hand ends the ramp (its next step never comes); Pause holds
// the cycles and the time counted, Stop sets them back and ends a ramp.
TEST(Session, AHandSetTempoEndsTheRampAndStopStartsANewCount) {
    TempoLog log;
    SteppedSession s(SessionSound::Rendered);
    s.session.OnInitialUpdate();
    s.session.SetTempo(0.5f);
    ASSERT_EQ(s.session.StartRamp({RampRequest::Form::Stepped, 300.0, 60.0, 1, 0.0}),
              RampStatus::Ok);
    s.session.Play();
    const Subscription following = s.session.Subscribe(log);
    s.PlayCycles(1);
    EXPECT_FLOAT_EQ(s.session.SecondsPerBeat(), 60.0f / 180.0f);
    // Near the end of the cycle at 180 bpm (14700 samples) the reader, a ring
    // ahead, has taken the 240 bpm step before the window's timer saw it; the
    // tempo set now is the one kept, and the step is never announced.
    s.Step(61);
    EXPECT_EQ(s.session.CyclesCompleted(), 1u);
    s.session.SetTempo(0.6f);
    EXPECT_FALSE(s.session.IsRamping());
    EXPECT_EQ(s.session.SecondsPerBeat(), 0.6f);
    EXPECT_EQ(log.bpm, std::vector<double>{180});
    const auto starts = s.PlayCycles(3);
    for (std::size_t i = 0; i + 1 < starts.size(); ++i)
        EXPECT_TRUE(starts[i].cycle != 2 ||
                    std::abs(static_cast<double>(starts[i + 1].frame - starts[i].frame) -
                             0.6 * kSampleRate) <= CPlaybackEngine::kNotifySamples + 1)
            << i;

    s.session.Pause();
    const auto played = s.session.PlayingTime();
    EXPECT_EQ(s.session.CyclesCompleted(), 3u);
    EXPECT_GT(played.count(), 0);
    EXPECT_EQ(s.session.PlayingTime(), played);
    s.session.Play();
    EXPECT_EQ(s.session.CyclesCompleted(), 3u);
    EXPECT_GT(s.session.PlayingTime(), played);
    ASSERT_EQ(s.session.StartRamp({RampRequest::Form::Even, 200.0, 0.0, 0, 1.0}), RampStatus::Ok);
    s.session.Stop();
    EXPECT_EQ(s.session.CyclesCompleted(), 0u);
    EXPECT_EQ(s.session.PlayingTime().count(), 0);
    EXPECT_FALSE(s.session.IsRamping());
}

// A planned step of `count` bols of `beats` beats each, on sounds from `sound`.
PlannedStep MakeStep(int count, float beats, double bpm, int cycles, bool pause = false) {
    PlannedStep step;
    step.doc = std::make_unique<CLorvantaDoc>();
    for (int i = 0; i < count; ++i) {
        auto bol = std::make_unique<CBol2>("Dha", 0, beats);
        bol->pitch.soundId = pause ? 0 : static_cast<SoundId>(12 + i);
        step.doc->Taal().Append(std::move(bol));
    }
    step.doc->Taal().Recalculate(-1);
    step.doc->Taal().SetName(pause ? "Pause" : "Taal of " + std::to_string(count));
    step.doc->SetEmpty(false);
    step.title = step.doc->Taal().Name();
    step.pause = pause;
    step.bpm = bpm;
    step.cycles = cycles;
    return step;
}

// Each step of a routine starts exactly where its predecessor's cycles end,
// whether it changes the tempo, the Taal or both (a pause is a silent Taal
// of its own), and its beats are its tempo's; the document shows the step
// heard, the drone carries on, and after the last step playing stops.
TEST(Session, ARoutinesStepsStartOnTheCycleBoundaries) {
    SteppedSession s(SessionSound::Rendered);
    s.session.OnInitialUpdate();
    s.session.SetDrone({true, {DroneTuning::Sa, 3}, -6.0f});
    RoutinePlan plan;
    plan.steps.push_back(MakeStep(4, 0.5f, 120.0, 2));        // 2 beats, 0.5 s each
    plan.steps.push_back(MakeStep(4, 0.5f, 150.0, 1));        // the same Taal, faster
    plan.steps.push_back(MakeStep(3, 1.0f, 150.0, 2));        // another Taal
    plan.steps.push_back(MakeStep(1, 1.25f, 150.0, 1, true)); // a pause of 0.5 s
    plan.steps.push_back(MakeStep(2, 1.0f, 100.0, 1));
    std::vector<double> cycleFrames, bpm;
    for (const PlannedStep& step : plan.steps) {
        bpm.push_back(step.bpm);
        cycleFrames.push_back(static_cast<double>(step.doc->Taal().Total()) * 60.0 / step.bpm *
                              kSampleRate);
    }
    const std::vector<int> cycles = {2, 1, 2, 1, 1}, counts = {4, 4, 3, 1, 2};
    s.session.StartRoutine(std::move(plan));
    ASSERT_TRUE(s.session.IsInRoutine());
    ASSERT_TRUE(s.session.IsPlaying());

    struct Shown {
        int beat, step, bols;
        std::uint64_t frame;
    };
    std::vector<Shown> shown;
    int beat = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (s.session.IsInRoutine() && std::chrono::steady_clock::now() < deadline) {
        s.Step();
        s.session.UpdatePractice();
        const auto progress = s.session.Routine();
        if (!progress)
            break;
        EXPECT_TRUE(s.session.Engine().IsDroneOn());
        if (const int now = static_cast<int>(s.session.PlayingBeat()); now != beat)
            shown.push_back(
                {beat = now, progress->step, s.session.Document().Taal().Count(), s.frames});
    }
    EXPECT_FALSE(s.session.IsPlaying());
    EXPECT_FALSE(s.session.IsInRoutine());

    const double slack = CPlaybackEngine::kNotifySamples + 1;
    std::vector<std::uint64_t> stepStarts(cycles.size(), 0);
    std::vector<bool> seen(cycles.size(), false);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto step = static_cast<std::size_t>(shown[i].step);
        if (!seen[step]) {
            seen[step] = true;
            stepStarts[step] = shown[i].frame;
            EXPECT_EQ(shown[i].beat, 1) << "step " << step;
        }
        if (i + 1 < shown.size() && shown[i + 1].step == shown[i].step &&
            shown[i + 1].beat == shown[i].beat + 1) {
            EXPECT_NEAR(static_cast<double>(shown[i + 1].frame - shown[i].frame),
                        60.0 / bpm[step] * kSampleRate, slack)
                << "step " << step << " beat " << shown[i].beat;
        }
    }
    for (std::size_t step = 0; step < cycles.size(); ++step) {
        ASSERT_TRUE(seen[step]) << step;
        if (step + 1 < cycles.size()) {
            EXPECT_NEAR(static_cast<double>(stepStarts[step + 1] - stepStarts[step]),
                        cycles[step] * cycleFrames[step], 2 * slack)
                << "step " << step;
        }
    }
    // The document showed each step's Taal while it was heard, give or take
    // the moment between playback taking it and the document following.
    for (const Shown& seenBeat : shown) {
        if (seenBeat.beat > 1) {
            EXPECT_EQ(seenBeat.bols, counts[static_cast<std::size_t>(seenBeat.step)]);
        }
    }
}

// An edit during a routine ends it with playing going on, and the next step
// never replaces the edited Taal; a ramp ends it too.
TEST(Session, AnEditOrARampEndsTheRoutine) {
    for (const bool ramp : {false, true}) {
        SteppedSession s(SessionSound::Rendered);
        s.session.OnInitialUpdate();
        RoutinePlan plan;
        plan.steps.push_back(MakeStep(4, 0.5f, 120.0, 1));
        plan.steps.push_back(MakeStep(3, 1.0f, 150.0, 1));
        s.session.StartRoutine(std::move(plan));
        ASSERT_TRUE(s.session.IsInRoutine());
        s.Step(4);
        if (ramp) {
            ASSERT_EQ(s.session.StartRamp({RampRequest::Form::Stepped, 200.0, 10.0, 1, 0.0}),
                      RampStatus::Ok);
        } else {
            s.session.Editor().Click(0, {});
            s.session.Editor().Insert();
        }
        s.session.UpdatePractice();
        EXPECT_FALSE(s.session.IsInRoutine());
        s.Step(200); // past where the next step would have begun
        s.session.UpdatePractice();
        EXPECT_TRUE(s.session.IsPlaying());
        EXPECT_EQ(s.session.Document().Taal().Count(), ramp ? 4 : 5);
    }
}

} // namespace
} // namespace lorvanta
