// The count-in on a hand-stepped virtual output: the clicks come on the
// beats at the tempo, the Taal's first bol on the beat after the count, the
// position counts down and the count-in is no cycle; a resume, Play from
// Selected and a count of 0 play without it.
#include "audio/CountIn.h"
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/output/VirtualOutput.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/Bol.h"
#include "model/Messages.h"
#include "session/LorvantaSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace lorvanta {
namespace {

constexpr double kRate = 22050.0;

struct CountInSession {
    CSampleBank bank;
    RecordingMessageSink sink;
    VirtualOutputDevice* device = nullptr; // owned by the session's engine
    CLorvantaSession session{
        bank, sink, [this](std::unique_ptr<OutputDevice>& out) {
            auto created = std::make_unique<VirtualOutputDevice>(VirtualOutputDevice::Options{
                .clock = VirtualOutputDevice::Clock::Manual, .capture = true});
            device = created.get();
            out = std::move(created);
            return HResult::Ok;
        }};

    CountInSession() {
        // Four strokes of a beat each, the first a loud Dha.
        for (int i = 0; i < 4; ++i) {
            auto bol = std::make_unique<CBol2>("Dha", 0, 1.0f);
            bol->pitch.soundId = static_cast<SoundId>(i == 0 ? 18 : 14);
            bol->bass.soundId = static_cast<SoundId>(i == 0 ? 3 : 0);
            session.Document().Taal().Append(std::move(bol));
        }
        session.Document().Taal().Recalculate(-1);
        session.Document().SetEmpty(false);
        session.OnInitialUpdate();
    }
    // Plays `chunks` chunks, the feeding thread done with each; the count-in
    // left after each.
    std::vector<int> Step(int chunks) {
        std::vector<int> left;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (int i = 0; i < chunks; ++i) {
            device->AdvanceFrames(CPlaybackEngine::kNotifySamples);
            while (session.Engine().NotificationsProcessed() !=
                       device->Buffer(0)->NotificationsSignalled() &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            left.push_back(session.CountInLeft());
        }
        return left;
    }
    std::vector<std::int16_t> Heard() const {
        return device->Captured(device->Buffer(0)->Serial());
    }
};

// The first sample from `from` on whose magnitude reaches `level`.
std::size_t Onset(const std::vector<std::int16_t>& samples, std::size_t from, int level) {
    for (std::size_t i = from; i < samples.size(); ++i) {
        if (std::abs(samples[i]) >= level)
            return i;
    }
    return samples.size();
}

TEST(CountIn, ClicksOnTheBeatsAndTheFirstBolOnTheNextBeat) {
    for (const auto& [bpm, beats] : {std::pair{120.0, 3}, {97.0, 4}, {200.0, 1}}) {
        CountInSession s;
        s.session.SetTempo(static_cast<float>(60.0 / bpm));
        s.session.SetCountInBeats(beats);
        s.session.Play();
        ASSERT_TRUE(s.session.IsPlaying());
        const double beat = 60.0 / bpm * kRate;
        const int chunks = static_cast<int>((beats + 2) * beat / CPlaybackEngine::kNotifySamples);
        const std::vector<int> left = s.Step(chunks);
        // The count runs down and ends; the playing bol is none meanwhile.
        EXPECT_EQ(left.front(), beats);
        EXPECT_EQ(left.back(), 0);
        EXPECT_TRUE(std::is_sorted(left.rbegin(), left.rend()));
        EXPECT_EQ(s.session.CyclesCompleted(), 0u);

        const std::vector<std::int16_t> heard = s.Heard();
        ASSERT_GT(heard.size(), static_cast<std::size_t>((beats + 1) * beat));
        // Each click starts on its beat; the Taal's Dha (louder than any
        // click) on the beat after the count, within 5 ms.
        const double tolerance = 0.005 * kRate;
        for (int k = 0; k < beats; ++k) {
            const auto from = static_cast<std::size_t>(k * beat);
            EXPECT_NEAR(static_cast<double>(Onset(heard, from, 1000)), k * beat, tolerance)
                << bpm << " bpm, click " << k;
        }
        const std::size_t dha = Onset(heard, static_cast<std::size_t>((beats - 0.5) * beat), 14000);
        EXPECT_NEAR(static_cast<double>(dha), beats * beat, tolerance) << bpm << " bpm";
        // The clicks stay soft beside the drums.
        for (std::size_t i = 0; i + 20 < static_cast<std::size_t>(beats * beat); ++i)
            ASSERT_LT(std::abs(heard[i]), 14000) << i;
    }
}

TEST(CountIn, OnlyPlayFromTheStartCountsIn) {
    CountInSession s;
    s.session.SetCountInBeats(2);
    s.session.Editor().SelectBol(2, true);
    s.session.PlayFromSelected();
    s.Step(2);
    EXPECT_EQ(s.session.CountInLeft(), 0);
    s.session.Pause();
    s.session.Play(); // a resume goes on where it was
    s.Step(2);
    EXPECT_EQ(s.session.CountInLeft(), 0);
    s.session.Stop();
    s.session.SetCountInBeats(0);
    s.session.Play();
    s.Step(2);
    EXPECT_EQ(s.session.CountInLeft(), 0);
    s.session.Stop();
    s.session.SetCountInBeats(2);
    s.session.Play();
    s.Step(2);
    EXPECT_EQ(s.session.CountInLeft(), 2);
    EXPECT_EQ(s.session.PlayingBol(), -1);
    EXPECT_EQ(s.session.PlayingBeat(), 1.0f);
    // A tempo change while counting in: the count plays on, the Taal after
    // it at the new tempo.
    s.session.SetTempo(0.25f);
    s.Step(static_cast<int>(2 * 0.6 * kRate / CPlaybackEngine::kNotifySamples));
    EXPECT_EQ(s.session.CountInLeft(), 0);
    EXPECT_TRUE(s.session.IsPlaying());
    s.session.Stop();
    EXPECT_EQ(s.session.CountInLeft(), 0);
}

TEST(CountIn, TheImageHasOneSlotPerBeatAsLongAsABeat) {
    const WaveHeader header = MakeWaveHeader(22050, 0);
    EXPECT_EQ(MakeCountInImage(header, 22050, 0.5f, 0), nullptr);
    const auto image = MakeCountInImage(header, 23361, 0.6f, 3);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->BolCount(), 3u);
    EXPECT_EQ(image->Beats(), 3.0f);
    EXPECT_EQ(image->TotalSamples(), 3u * static_cast<std::uint32_t>(0.6f * 23361.0f));
    EXPECT_EQ(MakeCountInImage(header, 22050, 0.5f, 99)->BolCount(),
              static_cast<std::size_t>(kMaxCountInBeats));
}

} // namespace
} // namespace lorvanta
