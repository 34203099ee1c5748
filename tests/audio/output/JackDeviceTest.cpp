// The engine through the sound card backend, against a JACK server with its
// dummy driver that the test starts itself: real device callbacks in real
// time, without a sound card.
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/output/device/PortAudioOutput.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace lorvanta {
namespace {

using namespace std::chrono_literals;

// Stops the server when the test ends, after the engine that uses it.
struct Reaper {
    pid_t pid = 0;
    ~Reaper() {
        ::kill(pid, SIGTERM);
        for (int i = 0; i < 500 && ::waitpid(pid, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(10ms);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

TEST(JackDeviceTest, FramesFlowThroughTheDeviceAndTheRingIsRefilled) {
    const char* jackd = "/usr/bin/jackd";
    if (::access(jackd, X_OK) != 0)
        GTEST_SKIP() << "jackd is not installed";
    // A jackd of our own, under a name of its own.
    const std::string name = "lorvanta-test-" + std::to_string(::getpid());
    ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    const char* argv[] = {jackd, "--no-realtime", "-n", name.c_str(), "-d",   "dummy",
                          "-r",  "48000",         "-p", "256",        nullptr};
    pid_t server = 0;
    ASSERT_EQ(
        posix_spawn(&server, jackd, nullptr, nullptr, const_cast<char* const*>(argv), environ), 0);
    const Reaper reaper{server};
    std::unique_ptr<PortAudioOutputDevice> opened;
    for (int attempt = 0; attempt < 150 && !opened; ++attempt) {
        if (PortAudioOutputDevice::Open(opened) != kHrOk ||
            std::string(opened->HostApiName()).find("JACK") == std::string::npos) {
            opened.reset();
            std::this_thread::sleep_for(100ms);
        }
    }
    PortAudioOutputDevice* device = opened.get(); // owned by the engine once set up
    ASSERT_NE(device, nullptr) << "the JACK server did not come up";
    CLorvantaDoc doc;
    auto bol = std::make_unique<CBol2>();
    bol->pitch.soundId = 12;
    doc.Taal().Append(std::move(bol));
    doc.Taal().Recalculate(-1);
    doc.SetEmpty(false);
    CSampleBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer(doc.Taal(), bank, sink);
    renderer.SetTempo(0.6f);
    ASSERT_EQ(renderer.InitialUpdate(), 0u);
    CPlaybackEngine engine(doc, renderer, sink, [&](std::unique_ptr<OutputDevice>& out) {
        out = std::move(opened);
        return kHrOk;
    });
    ASSERT_EQ(engine.InitDirectSound(), 0u);
    engine.OnAudioPlay();
    ASSERT_TRUE(engine.IsPlaying());
    std::this_thread::sleep_for(1000ms);
    EXPECT_EQ(device->Stats().sampleRate, 48000.0);
    EXPECT_GT(device->Stats().frames, 12000u);
    EXPECT_GT(engine.NotificationsProcessed(), 25u);
    EXPECT_EQ(engine.FeedingThreadExitCode(), -1);
    EXPECT_TRUE(sink.Messages().empty());
}

} // namespace
} // namespace lorvanta
