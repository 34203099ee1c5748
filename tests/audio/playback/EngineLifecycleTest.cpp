// Setting the engine up and down, what it refuses, and the Play Bol audition.
#include "PlaybackTestSupport.h"

#include "audio/WaveFormat.h"

#include <algorithm>
#include <numeric>
#include <random>

namespace lorvanta::test {
namespace {

class EngineLifecycleTest : public PlaybackFixture {};

// An output that refuses a step of set-up.
class RefusingOutput : public VirtualOutputDevice {
public:
    enum class Step { PrimaryFormat, Buffers };
    explicit RefusingOutput(Step step) : VirtualOutputDevice(ManualOptions()), m_step(step) {}
    HResult SetPrimaryFormat(const PcmFormat& format) override {
        return m_step == Step::PrimaryFormat ? kHrFail
                                             : VirtualOutputDevice::SetPrimaryFormat(format);
    }

protected:
    HResult OnBufferAttached(std::size_t, OutputBuffer&) override {
        return m_step == Step::Buffers ? kHrOutOfMemory : kHrOk;
    }

private:
    static Options ManualOptions() {
        Options options;
        options.clock = Clock::Manual;
        return options;
    }
    Step m_step;
};

std::vector<unsigned char> WaveImage(const std::vector<std::int16_t>& samples,
                                     std::uint32_t rate = 22050) {
    const WaveHeader header = MakeWaveHeader(rate, static_cast<std::uint32_t>(samples.size() * 2));
    std::vector<unsigned char> image(header.begin(), header.end());
    image.resize(kWaveHeaderSize + samples.size() * 2);
    std::memcpy(image.data() + kWaveHeaderSize, samples.data(), samples.size() * 2);
    return image;
}

TEST_F(EngineLifecycleTest, SetUpHappensOnceAndEachFailedStepHasItsStatus) {
    Open({1.0f});
    EXPECT_TRUE(engine->IsInitialized());
    EXPECT_EQ(engine->InitDirectSound(), 0u); // again: nothing to do
    ASSERT_NE(engine->Ring(), nullptr);
    EXPECT_EQ(engine->Ring()->Size(), 3520u);
    EXPECT_EQ(engine->Ring()->Flags(), 0x181A8u);

    const auto failing = [this](OutputOpener opener) {
        CPlaybackEngine other(doc, *renderer, sink, std::move(opener));
        return other.InitDirectSound();
    };
    EXPECT_EQ(failing([](std::unique_ptr<OutputDevice>&) { return kHrNoDriver; }),
              kSoundStatusNoDevice);
    EXPECT_EQ(failing([](std::unique_ptr<OutputDevice>& out) {
                  out = std::make_unique<RefusingOutput>(RefusingOutput::Step::PrimaryFormat);
                  return kHrOk;
              }),
              kSoundStatusNoPrimaryFormat);
    EXPECT_EQ(failing([](std::unique_ptr<OutputDevice>& out) {
                  out = std::make_unique<RefusingOutput>(RefusingOutput::Step::Buffers);
                  return kHrOk;
              }),
              kSoundStatusNoStream);
    // The messages name no platform's sound library.
    EXPECT_EQ(SoundInitFailureMessage(29).text,
              "Error initializing sound output (error code = 29)");
    EXPECT_STREQ(messages::kErrorPlayingBuffer,
                 "Error playing sound output, CLorvantaView::OnAudioPlay");
    EXPECT_EQ(SoundInitFailureMessage(29).kind, MessageKind::Error);

    // Without sound Play does nothing and says nothing.
    CPlaybackEngine silent(doc, *renderer, sink,
                           [](std::unique_ptr<OutputDevice>&) { return kHrNoDriver; });
    ASSERT_EQ(silent.InitDirectSound(), kSoundStatusNoDevice);
    engine.reset(); // the renderer serves one engine at a time
    silent.OnAudioPlay();
    EXPECT_FALSE(silent.IsPlaying());
    EXPECT_TRUE(sink.Messages().empty());
    EXPECT_EQ(silent.PlayAudition(WaveImage({1, 2, 3, 4})), kHrNotInitialized);
}

TEST_F(EngineLifecycleTest, NothingToPlayIsRefused) {
    Open({});
    engine->OnAudioPlay();
    EXPECT_FALSE(engine->IsPlaying());
    EXPECT_FALSE(engine->CanPlay());
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].text, "You must load a Taal before playing it");
    engine->OnAudioPlayFromSelected(0);
    EXPECT_EQ(sink.Messages().size(), 2u);
    EXPECT_FALSE(engine->IsPlaying());

    // An image without samples is never streamed.
    TearDown();
    Open({0.00001f, 0.00001f}); // both slots truncate to nothing
    engine->OnAudioPlay();
    EXPECT_FALSE(engine->IsPlaying());
    EXPECT_EQ(renderer->TotalSamples(), 0u);
}

TEST_F(EngineLifecycleTest, RebuildingToNothingWhilePlayingPlaysSilence) {
    Open({1.0f});
    engine->OnAudioPlay();
    Step(5);
    doc.Taal().RemoveAll(); // the Taal emptied under a playing image
    renderer->SetTempo(0.5f);
    device->ClearCaptured();
    Step(20);
    const auto heard = Heard();
    ASSERT_EQ(heard.size(), 20u * 220u);
    // The ring's last contents, then silence; the thread lives on.
    EXPECT_TRUE(std::all_of(heard.begin() + 1760, heard.end(), [](auto s) { return s == 0; }));
    EXPECT_EQ(engine->FeedingThreadExitCode(), -1);
}

TEST_F(EngineLifecycleTest, ShutdownStopsTheThreadBeforeReleasingTheRing) {
    Open({1.0f, 0.5f});
    engine->OnAudioPlay();
    Step(3);
    engine->ShutdownDirectSound();
    EXPECT_EQ(engine->FeedingThreadExitCode(), kFeedingExitStopped);
    EXPECT_EQ(engine->Ring(), nullptr);
    EXPECT_FALSE(engine->IsInitialized());
    engine->ShutdownDirectSound(); // twice is harmless
}

TEST_F(EngineLifecycleTest, ShuttingDownWhilePlayingNeverHangs) {
    // Real-time output: the clock, the feeding thread and the commands race.
    FillDoc(doc, {0.25f, 0.5f, 0.25f});
    renderer = std::make_unique<CTaalRenderer>(doc.Taal(), bank, sink);
    ASSERT_EQ(renderer->InitialUpdate(), 0u);
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        VirtualOutputDevice::Options options;
        options.period = std::chrono::microseconds(500);
        CPlaybackEngine player(doc, *renderer, sink, [&](std::unique_ptr<OutputDevice>& out) {
            out = std::make_unique<VirtualOutputDevice>(options);
            return kHrOk;
        });
        ASSERT_EQ(player.InitDirectSound(), 0u);
        player.OnAudioPlay();
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
        if (round % 3 == 0)
            renderer->SetTempo(0.3f + 0.1f * static_cast<float>(round % 5));
        if (round % 4 == 1)
            player.OnAudioPause();
        if (round % 5 == 2)
            player.ShutdownDirectSound();
    }
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(EngineLifecycleTest, TheAuditionPlaysOnceAfterStoppingTheTaal) {
    Open({1.0f});
    engine->OnAudioPlay();
    Step(2);
    std::vector<std::int16_t> samples(3000);
    std::iota(samples.begin(), samples.end(), 1);
    auto image = WaveImage(samples);
    ASSERT_EQ(engine->PlayAudition(image), kHrOk);
    EXPECT_FALSE(engine->IsPlaying());
    const std::uint64_t first = engine->Audition()->Serial();
    std::fill(image.begin() + kWaveHeaderSize, image.end(), 0); // the caller's memory is free
    device->AdvanceFrames(1000);
    // A second audition replaces the one still sounding.
    std::vector<std::int16_t> other(500, -7);
    ASSERT_EQ(engine->PlayAudition(WaveImage(other, 11025)), kHrOk);
    EXPECT_EQ(engine->Audition()->Frequency(), 11025u);
    device->AdvanceFrames(5000);
    const auto heardFirst = device->Captured(first);
    EXPECT_TRUE(std::equal(heardFirst.begin(), heardFirst.end(), samples.begin()));
    EXPECT_EQ(heardFirst.size(), 1000u);
    EXPECT_EQ(device->Captured(engine->Audition()->Serial()), other); // once, whole
    EXPECT_FALSE(engine->Audition()->IsPlaying());

    EXPECT_EQ(engine->PlayAudition(std::vector<std::uint8_t>(20)), kHrInvalidArg);
    auto stereo = WaveImage(samples);
    stereo[22] = 2;
    EXPECT_EQ(engine->PlayAudition(stereo), kHrInvalidArg);
    auto truncated = WaveImage(samples);
    truncated.resize(100);
    EXPECT_EQ(engine->PlayAudition(truncated), kHrInvalidArg);
}

} // namespace
} // namespace lorvanta::test
