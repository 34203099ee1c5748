// The engine through the sound card backend, against a JACK server with its
// dummy driver that the test starts and stops itself: real device callbacks
// every 256 frames at 48 kHz, in real time, without a sound card.
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/output/device/PortAudioOutput.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"

#ifdef LORVANTA_COUNT_ALLOCATIONS
#include "../support/AllocationCounter.h"
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace lorvanta {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kJackd = "/usr/bin/jackd";

// A jackd of our own, with the dummy driver, under a name of its own.
class JackServer {
public:
    JackServer() : m_name("lorvanta-test-" + std::to_string(::getpid())) {
        ::setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
        ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    }
    ~JackServer() { Stop(); }

    bool Start() {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const char* argv[] = {kJackd, "--no-realtime", "-n", m_name.c_str(), "-d",   "dummy",
                              "-r",   "48000",         "-p", "256",          nullptr};
        const int result =
            posix_spawn(&m_pid, kJackd, &actions, nullptr, const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        return result == 0;
    }

    void Stop() {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        const auto deadline = Clock::now() + 5s;
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
        m_pid = 0;
    }

private:
    std::string m_name;
    pid_t m_pid = 0;
};

// Opens the default device once the server answers.
std::unique_ptr<PortAudioOutputDevice> OpenJackDevice() {
    const auto deadline = Clock::now() + 15s;
    while (Clock::now() < deadline) {
        std::unique_ptr<PortAudioOutputDevice> device;
        if (PortAudioOutputDevice::Open(device) == kHrOk &&
            std::string(device->HostApiName()).find("JACK") != std::string::npos)
            return device;
        std::this_thread::sleep_for(100ms);
    }
    return nullptr;
}

template <typename Condition> bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class JackDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(kJackd, X_OK) != 0)
            GTEST_SKIP() << "jackd is not installed";
        ASSERT_TRUE(server.Start());
        opened = OpenJackDevice();
        ASSERT_TRUE(opened) << "the JACK server did not come up";
        device = opened.get();

        CTaal& taal = doc.Taal();
        for (int i = 0; i < 4; ++i) {
            auto bol = std::make_unique<CBol2>();
            bol->duration = i == 1 ? 0.5f : 1.0f;
            bol->pitch.soundId = static_cast<SoundId>(3 + i);
            bol->bass.soundId = static_cast<SoundId>(20 + i);
            taal.Append(std::move(bol));
        }
        taal.Recalculate(-1);
        doc.SetEmpty(false);
        renderer = std::make_unique<CTaalRenderer>(doc.Taal(), bank, sink);
        renderer->SetTempo(0.6f);
        ASSERT_EQ(renderer->InitialUpdate(), 0u);
        engine = std::make_unique<CPlaybackEngine>(doc, *renderer, sink,
                                                   [this](std::unique_ptr<OutputDevice>& out) {
                                                       out = std::move(opened);
                                                       return out ? kHrOk : kHrNoDriver;
                                                   });
        ASSERT_EQ(engine->InitDirectSound(), 0u);
    }

    void TearDown() override {
        engine.reset();
        renderer.reset();
        opened.reset();
        server.Stop();
    }

    JackServer server;
    std::unique_ptr<PortAudioOutputDevice> opened;
    PortAudioOutputDevice* device = nullptr; // owned by the engine once set up
    CLorvantaDoc doc;
    CSampleBank bank;
    RecordingMessageSink sink;
    std::unique_ptr<CTaalRenderer> renderer;
    std::unique_ptr<CPlaybackEngine> engine;
};

TEST_F(JackDeviceTest, FramesFlowAtTheDeviceRateAndTheFeederKeepsUp) {
    EXPECT_EQ(device->Stats().sampleRate, 48000.0);
    engine->OnAudioPlay();
    ASSERT_TRUE(engine->IsPlaying());
    std::this_thread::sleep_for(500ms);

    const OutputBuffer& ring = *engine->Ring();
    const DeviceOutputStats first = device->Stats();
    const std::uint64_t firstNotifications = ring.NotificationsSignalled();
    const auto start = Clock::now();
#ifdef LORVANTA_COUNT_ALLOCATIONS
    const std::uint64_t allocations = test::CountedAllocations() + test::CountedFrees();
    test::AllocationExemption uiThread; // rebuilds allocate, here
    test::ArmAllocationCounter(true);
#endif
    // Three seconds with the tempo changing every 100 ms.
    for (int i = 0; i < 30; ++i) {
        renderer->SetTempo(i % 2 == 0 ? 0.5f : 0.6f);
        std::this_thread::sleep_for(100ms);
    }
#ifdef LORVANTA_COUNT_ALLOCATIONS
    test::ArmAllocationCounter(false);
    // Nothing on the feeding thread, the device callback or the monitor.
    EXPECT_EQ(test::CountedAllocations() + test::CountedFrees(), allocations);
#endif
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const DeviceOutputStats last = device->Stats();
    const auto frames = static_cast<double>(last.frames - first.frames);
    const auto chunks = static_cast<double>(ring.NotificationsSignalled() - firstNotifications);
    // The dummy driver sleeps a period at a time, so it runs a little slow
    // (the more so on a busy machine); the ring follows the device's clock.
    EXPECT_GT(frames / seconds, 48000.0 * 0.75);
    EXPECT_LT(frames / seconds, 48000.0 * 1.05);
    EXPECT_NEAR(chunks * 220.0 / frames, 22050.0 / 48000.0, 22050.0 / 48000.0 * 0.02);
    EXPECT_EQ(ring.Underruns(), 0u);
    EXPECT_TRUE(WaitFor(
        [&] { return engine->NotificationsProcessed() >= firstNotifications + 250; }, 1000ms));
    EXPECT_EQ(engine->FeedingThreadExitCode(), -1);
    RecordProperty("frames_per_second", std::to_string(frames / seconds));
    RecordProperty("callbacks", std::to_string(last.callbacks - first.callbacks));
}

TEST_F(JackDeviceTest, AVanishedServerLosesTheRingAndNothingHangs) {
    engine->OnAudioPlay();
    std::this_thread::sleep_for(300ms);
    OutputBuffer& ring = *engine->Ring();
    server.Stop();
    const auto lost = [&] {
        std::uint32_t status = 0;
        ring.GetStatus(&status);
        return (status & buffer_status::kLost) != 0;
    };
    ASSERT_TRUE(WaitFor(lost, 5000ms));
    EXPECT_TRUE(engine->IsPlaying());

    // The commands answer at once, and Play says it cannot start.
    auto start = Clock::now();
    engine->OnAudioStop();
    EXPECT_LT(Clock::now() - start, 1000ms);
    EXPECT_FALSE(engine->IsPlaying());
    sink.Clear();
    start = Clock::now();
    engine->OnAudioPlay();
    EXPECT_LT(Clock::now() - start, 1000ms);
    EXPECT_FALSE(engine->IsPlaying());
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].text, messages::kErrorPlayingBuffer);
    EXPECT_EQ(engine->FeedingThreadExitCode(), -1);

    // Shutting down does not wait for the vanished server either (closing
    // a stream of a dead server can hang inside the sound library).
    start = Clock::now();
    engine.reset();
    EXPECT_LT(Clock::now() - start, 5000ms);
}

} // namespace
} // namespace lorvanta
