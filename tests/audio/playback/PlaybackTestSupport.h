#pragma once

// A playback engine on a hand-stepped capture output: a document, the bank,
// the renderer and the engine, with a step that plays chunks and waits until
// the feeding thread has dealt with each.

#include "audio/SampleBank.h"
#include "audio/TaalImage.h"
#include "audio/TaalRenderer.h"
#include "audio/output/VirtualOutput.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lorvanta::test {

constexpr float kSecondsPerBeat100 = 0.6f; // 100 bpm

// The image's samples looped from sample `start`, `count` of them.
inline std::vector<std::int16_t> Looped(const std::vector<std::int16_t>& cycle, std::size_t start,
                                        std::size_t count) {
    std::vector<std::int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = cycle[(start + i) % cycle.size()];
    return out;
}

class PlaybackFixture : public ::testing::Test {
protected:
    // Without `capture` the output keeps nothing of what it plays.
    void Open(const std::vector<float>& durations, std::uint32_t latencyFrames = 0,
              bool capture = true) {
        // Each bol with a different stroke on both drums, so that no two
        // stretches of the image look alike.
        doc.Taal().RemoveAll();
        for (std::size_t i = 0; i < durations.size(); ++i) {
            auto bol = std::make_unique<CBol2>();
            bol->duration = durations[i];
            bol->pitch.soundId = static_cast<SoundId>(1 + i % 29);
            bol->bass.soundId = static_cast<SoundId>(29 - i % 29);
            doc.Taal().Append(std::move(bol));
        }
        doc.Taal().Recalculate(-1);
        doc.SetEmpty(durations.empty());
        renderer = std::make_unique<CTaalRenderer>(doc.Taal(), bank, sink);
        renderer->SetTempo(kSecondsPerBeat100);
        ASSERT_EQ(renderer->InitialUpdate(), 0u);
        renderer->BuildTaalImage();
        auto opener = [this, latencyFrames, capture](std::unique_ptr<OutputDevice>& out) {
            auto created = std::make_unique<VirtualOutputDevice>(
                VirtualOutputDevice::Options{.clock = VirtualOutputDevice::Clock::Manual,
                                             .capture = capture,
                                             .latencyFrames = latencyFrames});
            device = created.get();
            out = std::move(created);
            return kHrOk;
        };
        engine = std::make_unique<CPlaybackEngine>(doc, *renderer, sink, opener);
        engine->SetPositionHandler(onPosition);
        ASSERT_EQ(engine->InitDirectSound(), 0u);
    }

    void TearDown() override {
        engine.reset();
        renderer.reset();
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
        const OutputBuffer* ring = engine->Ring();
        while (engine->NotificationsProcessed() != ring->NotificationsSignalled()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "feeding thread stalled";
            std::this_thread::yield();
        }
    }

    std::uint64_t ReaderPosition() {
        std::lock_guard lock(renderer->StreamLock());
        return renderer->Reader().Position();
    }
    double Fraction() {
        std::lock_guard lock(renderer->StreamLock());
        return static_cast<double>(renderer->Reader().Position()) /
               static_cast<double>(renderer->Reader().DataSize());
    }

    std::vector<std::int16_t> Heard() const { return device->Captured(engine->Ring()->Serial()); }
    // The image's samples: one cycle.
    std::vector<std::int16_t> Cycle() const {
        std::vector<std::int16_t> samples(renderer->Image().DataSize() / 2);
        std::size_t hint = 0;
        renderer->Image().CopyData(
            0, std::span(reinterpret_cast<unsigned char*>(samples.data()), samples.size() * 2),
            hint);
        return samples;
    }

    CLorvantaDoc doc;
    CSampleBank bank;
    RecordingMessageSink sink;
    std::unique_ptr<CTaalRenderer> renderer;
    VirtualOutputDevice* device = nullptr; // owned by the engine
    std::unique_ptr<CPlaybackEngine> engine;
    // The positions delivered so far (the feeding thread delivers them).
    std::vector<PlayingPosition> Positions() const {
        std::lock_guard lock(m_positionsMutex);
        return m_positions;
    }
    std::function<void(const PlayingPosition&)> onPosition = [this](const PlayingPosition& p) {
        std::lock_guard lock(m_positionsMutex);
        m_positions.push_back(p);
    };

private:
    mutable std::mutex m_positionsMutex;
    std::vector<PlayingPosition> m_positions;
};

} // namespace lorvanta::test
