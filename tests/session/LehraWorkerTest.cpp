// The lehra on a session playing to a hand-stepped virtual output, its voice a
// stand-in whose start and renders the test holds and lets go: turning the
// lehra on returns before the voice has started, and playing goes on
// meanwhile; the loop joins at its place in the cycle (from sam when it is
// ready before Play); a ramp's next cycle has its loop from the wrap on;
// after a tempo change the old loop only dies away with the new image; wishes overtaken before
// their turn are not rendered; a voice that cannot start is told once; the session goes cleanly
// while the voice starts or renders.
#include "audio/SampleBank.h"
#include "audio/TaalImage.h"
#include "audio/TaalRenderer.h"
#include "audio/output/VirtualOutput.h"
#include "audio/playback/PlaybackEngine.h"
#include "lehra/LehraLibrary.h"
#include "model/Bol.h"
#include "model/Messages.h"
#include "session/LorvantaSession.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace lorvanta {
namespace {

// Stands in for the synthesiser. Each cycle length gets a band of values of
// its own, and within it a loop rises from the band's floor at its start to
// just below the next band at its end, so that a sample heard tells which
// loop it came from and where in it.
class HeldVoice {
public:
    static constexpr int kBand = 2048;

    LehraVoiceOpener Opener() {
        return [this](std::string& problem, std::stop_token stop) -> std::unique_ptr<LehraVoice> {
            std::unique_lock lock(m_mutex);
            ++m_opens;
            m_changed.notify_all();
            m_changed.wait(lock, stop, [this] { return !m_holdOpen; });
            if (stop.stop_requested())
                m_abandoned = true;
            if (!m_problem.empty()) {
                problem = m_problem;
                return nullptr;
            }
            return std::make_unique<Voice>(*this);
        };
    }
    void HoldOpen(bool hold) { Set(m_holdOpen, hold); }
    void HoldRenders(bool hold) { Set(m_holdRenders, hold); }
    void FailWith(std::string problem) {
        std::lock_guard lock(m_mutex);
        m_problem = std::move(problem);
    }
    // Until `count` opens or renders have begun.
    void AwaitOpens(int count) { Await(m_opens, count); }
    void AwaitRenders(int count) { Await(m_renders, count); }
    std::vector<std::size_t> Rendered() const {
        std::lock_guard lock(m_mutex);
        return m_rendered;
    }
    bool Abandoned() const {
        std::lock_guard lock(m_mutex);
        return m_abandoned;
    }
    int BandOf(std::size_t cycle) const {
        std::lock_guard lock(m_mutex);
        const auto found = m_bands.find(cycle);
        return found == m_bands.end() ? -1 : found->second;
    }
    // Sample i of a loop of `length` samples in `band`.
    static std::int16_t Value(int band, std::size_t i, std::size_t length) {
        return static_cast<std::int16_t>(kBand * band + static_cast<int>(i * (kBand - 1) / length));
    }

private:
    class Voice final : public LehraVoice {
    public:
        explicit Voice(HeldVoice& held) : m_held(held) {}
        std::vector<std::int16_t> Render(const Lehra&, LehraInstrument, std::size_t samples,
                                         std::stop_token stop) override {
            return m_held.Render(samples, stop);
        }

    private:
        HeldVoice& m_held;
    };

    std::vector<std::int16_t> Render(std::size_t samples, std::stop_token stop) {
        std::unique_lock lock(m_mutex);
        ++m_renders;
        m_changed.notify_all();
        m_changed.wait(lock, stop, [this] { return !m_holdRenders; });
        if (stop.stop_requested())
            m_abandoned = true;
        m_rendered.push_back(samples);
        const int band =
            m_bands.emplace(samples, static_cast<int>(m_bands.size()) + 1).first->second;
        std::vector<std::int16_t> loop(samples);
        for (std::size_t i = 0; i < samples; ++i)
            loop[i] = Value(band, i, samples);
        return loop;
    }
    void Set(bool& flag, bool value) {
        std::lock_guard lock(m_mutex);
        flag = value;
        m_changed.notify_all();
    }
    void Await(const int& counter, int count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return counter >= count; });
    }

    mutable std::mutex m_mutex;
    std::condition_variable_any m_changed;
    bool m_holdOpen = false, m_holdRenders = false, m_abandoned = false;
    int m_opens = 0, m_renders = 0;
    std::string m_problem;
    std::vector<std::size_t> m_rendered; // loop lengths, in order
    std::map<std::size_t, int> m_bands;  // by loop length
};

struct LehraChanges : SessionObserver {
    int told = 0;
    void OnLehraChanged() override { ++told; }
};

// A Taal of silent one-beat bols, so that what is heard is the lehra alone.
struct LehraSession {
    CSampleBank bank;
    RecordingMessageSink sink;
    HeldVoice voice;
    LehraChanges changes;
    std::atomic<int> news{0};
    VirtualOutputDevice* device = nullptr; // owned by the session's engine
    std::unique_ptr<CLorvantaSession> session =
        std::make_unique<CLorvantaSession>(bank, sink, [this](std::unique_ptr<OutputDevice>& out) {
            auto created = std::make_unique<VirtualOutputDevice>(VirtualOutputDevice::Options{
                .clock = VirtualOutputDevice::Clock::Manual, .capture = true});
            device = created.get();
            out = std::move(created);
            return HResult::Ok;
        });
    Subscription subscription = session->Subscribe(changes);

    // No bols: no document yet, as the window starts.
    explicit LehraSession(int beats) {
        for (int i = 0; i < beats; ++i)
            session->Document().Taal().Append(std::make_unique<CBol2>("Dha", 0, 1.0f));
        session->Document().Taal().Recalculate(-1);
        session->Document().SetEmpty(beats == 0);
        session->OnInitialUpdate();
        session->SetTempo(0.1f);
        session->SetLehraVoiceOpener(voice.Opener());
        session->SetLehraNewsHandler([this] { ++news; });
        session->SetLehraLibrary(
            std::make_shared<LehraLibrary>(LehraLibrary::Load({LORVANTA_SOURCE_DIR "/Lehras"})));
    }
    // Opens a Taal of silent bols in place of the one there.
    void Open(int beats) {
        session->Document().Taal().RemoveAll();
        for (int i = 0; i < beats; ++i)
            session->Document().Taal().Append(std::make_unique<CBol2>("Dha", 0, 1.0f));
        session->Document().Taal().Recalculate(-1);
        session->Document().SetEmpty(false);
        session->OnInitialUpdate();
    }
    void LehraOn() {
        LehraSettings settings;
        settings.on = true;
        settings.levelDb = 0.0f;
        session->SetLehra(settings);
    }
    void Step(int chunks) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (int i = 0; i < chunks; ++i) {
            device->AdvanceFrames(CPlaybackEngine::kNotifySamples);
            while (session->Engine().NotificationsProcessed() !=
                       device->Buffer(0)->NotificationsSignalled() &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
        }
    }
    std::vector<std::int16_t> Heard() const {
        return device->Captured(device->Buffer(0)->Serial());
    }
    std::size_t RingSamples() const { return device->Buffer(0)->Size() / 2; }
    std::size_t Cycle() const {
        return static_cast<std::size_t>(session->Renderer().Image().DataSize() / 2);
    }
};

// The samples over which the lehra leaves or enters.
constexpr std::size_t kFade = 110;

// 16 beats take a one-cycle lehra, 8 beats a two-cycle one.
constexpr int kBeatsOfTaals[] = {16, 8};

TEST(LehraWorker, TurningTheLehraOnReturnsAtOnceAndTheLoopJoinsInStepWhenReady) {
    for (const int beats : kBeatsOfTaals) {
        LehraSession s(beats);
        s.voice.HoldOpen(true);
        s.LehraOn(); // would never return if it waited for the voice
        EXPECT_TRUE(s.session->IsLehraLoading());
        EXPECT_EQ(s.changes.told, 1);
        s.session->Play();
        s.Step(40); // playing goes on while the voice starts
        EXPECT_GT(s.session->PlayingBeat(), 1.5f);
        EXPECT_EQ(s.session->LehraLoopInUse(), nullptr);

        s.voice.HoldOpen(false);
        s.session->WaitForLehra();
        EXPECT_EQ(s.news.load(), 1) << "the news handler was called";
        EXPECT_FALSE(s.session->IsLehraLoading());
        EXPECT_EQ(s.changes.told, 2) << "loading ended";
        const std::size_t joined = s.Heard().size() + s.RingSamples();
        s.Step(250);
        const auto heard = s.Heard();
        const LehraLoopPtr loop = s.session->LehraLoopInUse();
        ASSERT_TRUE(loop);
        EXPECT_EQ(loop->cycles, beats == 8 ? 2 : 1);
        const std::size_t length = loop->samples.size();
        const int band = s.voice.BandOf(length);
        std::size_t silent = 0, wrong = 0;
        for (std::size_t i = 0; i < heard.size(); ++i) {
            const std::int16_t value = HeldVoice::Value(band, i % length, length);
            silent += i < joined && heard[i] == 0;
            // It fades in over its first 5 ms.
            wrong += i >= joined && (i < joined + kFade ? heard[i] > value : heard[i] != value);
        }
        EXPECT_GT(silent, 40u * 220u - s.RingSamples()) << beats << " beats: silent until ready";
        EXPECT_EQ(wrong, 0u) << beats << " beats: at its place in the cycle once ready";
        ASSERT_GT(heard.size(), length + joined) << "a whole loop heard";
    }
}

TEST(LehraWorker, ALoopReadyBeforePlayStartsOnSam) {
    for (const int beats : kBeatsOfTaals) {
        LehraSession s(beats);
        s.LehraOn();
        ASSERT_TRUE(s.session->WaitForLehra());
        s.session->Play();
        s.Step(200);
        const auto heard = s.Heard();
        const std::size_t length = s.session->LehraLoopInUse()->samples.size();
        const int band = s.voice.BandOf(length);
        ASSERT_GT(heard.size(), length);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < heard.size(); ++i)
            wrong += heard[i] != HeldVoice::Value(band, i % length, length);
        EXPECT_EQ(heard.front(), HeldVoice::Value(band, 0, length)) << beats << " beats";
        EXPECT_EQ(wrong, 0u) << beats << " beats";
    }
}

TEST(LehraWorker, AfterATempoChangeTheOldLoopDiesAwayAndTheNewOneJoins) {
    for (const int beats : kBeatsOfTaals) {
        LehraSession s(beats);
        s.LehraOn();
        ASSERT_TRUE(s.session->WaitForLehra());
        s.session->Play();
        s.Step(30);
        const int oldBand = s.voice.BandOf(s.session->LehraLoopInUse()->samples.size());

        s.voice.HoldRenders(true);
        s.session->SetTempo(0.08f);
        const std::size_t rebuilt = s.Heard().size() + s.RingSamples();
        s.Step(60); // the new loop held back all along
        const std::size_t ready = s.Heard().size() + s.RingSamples();
        s.voice.HoldRenders(false);
        s.session->WaitForLehra();
        s.Step(120);
        const auto heard = s.Heard();
        const int newBand = s.voice.BandOf(s.Cycle() * (beats == 8 ? 2 : 1));
        ASSERT_GT(newBand, oldBand);
        // What sounded dies away over 5 ms from the new image on; the new loop
        // fades in over its first 5 ms.
        std::size_t old = 0, notSilent = 0, notNew = 0, backwards = 0;
        for (std::size_t i = rebuilt + kFade; i < heard.size(); ++i) {
            const bool fadingIn = i >= ready && i < ready + kFade;
            old += !fadingIn && heard[i] / HeldVoice::kBand == oldBand;
            notSilent += i < ready && heard[i] != 0;
            notNew += i >= ready + kFade && heard[i] / HeldVoice::kBand != newBand;
            // The loop rises but at its start.
            backwards += i > ready + kFade && heard[i] < heard[i - 1] &&
                         heard[i] != HeldVoice::Value(newBand, 0, 1);
        }
        EXPECT_EQ(old, 0u) << beats << " beats";
        EXPECT_EQ(notSilent, 0u) << beats << " beats: silent until the new loop";
        EXPECT_EQ(notNew, 0u) << beats << " beats: the new loop from then on";
        EXPECT_EQ(backwards, 0u) << beats << " beats";
    }
}

// A stepped ramp's next cycle: its loop, rendered ahead, is heard from the
// wrap into that cycle on, at its place, with no gap.
TEST(LehraWorker, ARampsNextCycleHasItsLoopFromTheWrap) {
    for (const int beats : kBeatsOfTaals) {
        LehraSession s(beats);
        s.LehraOn();
        ASSERT_TRUE(s.session->WaitForLehra());
        s.session->Play();
        const std::size_t cycle = s.Cycle();
        const std::size_t length = s.session->LehraLoopInUse()->samples.size();
        const int band = s.voice.BandOf(length);
        ASSERT_EQ(s.session->StartRamp({RampRequest::Form::Stepped, 500.0, 50.0, 1, 0.0}),
                  RampStatus::Ok);
        s.session->WaitForLehra(); // the next cycle's loop too
        ASSERT_EQ(s.voice.Rendered().size(), 2u);
        const std::size_t nextLength = s.voice.Rendered().back();
        const int nextBand = s.voice.BandOf(nextLength);
        const std::size_t cycles = beats == 8 ? 2 : 1, nextCycle = nextLength / cycles;
        while (s.Heard().size() < cycle + nextCycle) {
            s.Step(20);
            s.session->UpdatePractice();
        }
        // A two-cycle lehra goes on with its second cycle, in the new loop.
        const std::size_t from = (1 % cycles) * nextCycle;
        const auto heard = s.Heard();
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < cycle + nextCycle; ++i)
            wrong +=
                heard[i] != (i < cycle ? HeldVoice::Value(band, i, length)
                                       : HeldVoice::Value(nextBand, from + i - cycle, nextLength));
        EXPECT_EQ(wrong, 0u) << beats << " beats";
    }
}

// The window turns the lehra on from its settings before its first
// document: it stays on, and the document's Taal gets its loop before Play.
TEST(LehraWorker, OnBeforeTheFirstTaalStaysOnAndTheTaalGetsItsLoop) {
    LehraSession s(0);
    s.LehraOn();
    EXPECT_TRUE(s.session->LehraChoice().on);
    EXPECT_TRUE(s.sink.Messages().empty());
    s.Open(16);
    s.session->WaitForLehra();
    ASSERT_TRUE(s.session->LehraLoopInUse());
    EXPECT_EQ(s.session->LehraLoopInUse()->cycleSamples, s.Cycle());
    EXPECT_TRUE(s.sink.Messages().empty());
}

TEST(LehraWorker, WishesOvertakenBeforeTheirTurnAreNotRendered) {
    LehraSession s(16);
    s.LehraOn();
    ASSERT_TRUE(s.session->WaitForLehra());
    s.session->Play();
    s.voice.HoldRenders(true);
    s.session->SetTempo(0.09f);
    s.voice.AwaitRenders(2); // the first tempo's render is under way
    const std::size_t first = s.Cycle();
    for (const float secondsPerBeat : {0.08f, 0.07f, 0.06f})
        s.session->SetTempo(secondsPerBeat);
    const std::size_t last = s.Cycle();
    s.voice.HoldRenders(false);
    s.session->WaitForLehra();
    const std::vector<std::size_t> rendered = s.voice.Rendered();
    ASSERT_EQ(rendered.size(), 3u);
    EXPECT_EQ(rendered[1], first);
    EXPECT_EQ(rendered[2], last);
    EXPECT_EQ(s.session->LehraLoopInUse()->cycleSamples, last);
    // Back to a tempo already rendered: handed over at once, nothing rendered.
    s.session->SetTempo(0.09f);
    EXPECT_EQ(s.session->LehraLoopInUse()->cycleSamples, first);
    EXPECT_EQ(s.voice.Rendered().size(), 3u);
}

TEST(LehraWorker, AVoiceThatCannotStartIsToldOnceAndTheLehraSwitchedOff) {
    LehraSession s(16);
    s.voice.FailWith("no SoundFont here");
    s.LehraOn();
    s.session->Play();
    EXPECT_FALSE(s.session->WaitForLehra());
    EXPECT_FALSE(s.session->LehraChoice().on);
    EXPECT_FALSE(s.session->IsLehraLoading());
    s.session->SetTempo(0.09f);
    s.session->UpdatePractice();
    ASSERT_EQ(s.sink.Messages().size(), 1u);
    EXPECT_EQ(s.sink.Messages()[0].kind, MessageKind::Warning);
    EXPECT_EQ(s.sink.Messages()[0].text, "The lehra cannot play: no SoundFont here.");
    // Turned on again, it is tried again.
    s.voice.FailWith("");
    s.LehraOn();
    EXPECT_TRUE(s.session->WaitForLehra());
    EXPECT_TRUE(s.session->LehraLoopInUse());
}

TEST(LehraWorker, TheSessionGoesCleanlyWhileTheVoiceStartsOrRenders) {
    for (const bool starting : {true, false}) {
        LehraSession s(16);
        s.voice.HoldOpen(starting);
        s.voice.HoldRenders(!starting);
        s.LehraOn();
        s.session->Play();
        if (starting)
            s.voice.AwaitOpens(1);
        else
            s.voice.AwaitRenders(1);
        s.subscription.Reset();
        s.session.reset(); // would hang if it waited for the voice
        EXPECT_TRUE(s.voice.Abandoned()) << (starting ? "starting" : "rendering");
    }
}

} // namespace
} // namespace lorvanta
