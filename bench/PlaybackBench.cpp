// Playback figures against baselines of the same run:
//  - one refill of the ring with its position update, against copying 440
//    bytes from a flat copy of the image, and with the drone mixed in against
//    the same refill without it, and so with the lehra (a loop of the
//    Taal's cycle mixed in step with the image);
//  - the delay from a tempo change to the first sample of the new image
//    leaving the ring, against the ring's length (80 ms at 22050 Hz), on the
//    real-time virtual output.

#include "BenchTaals.h"
#include "FigureReporter.h"

#include "audio/AudioStatus.h"
#include "audio/DroneMix.h"
#include "audio/LehraMix.h"
#include "audio/SampleBank.h"
#include "audio/TaalImage.h"
#include "audio/TaalRenderer.h"
#include "audio/Tanpura.h"
#include "audio/output/VirtualOutput.h"
#include "audio/playback/PlaybackEngine.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace lorvanta;
using namespace lorvanta::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kChunk = 440;
constexpr double kRingSeconds = 1760.0 / 22050.0;

struct Teentaal {
    CLorvantaDoc doc;
    CSampleBank bank;
    RecordingMessageSink sink;
    std::unique_ptr<CTaalRenderer> renderer;

    explicit Teentaal(float secondsPerBeat = 0.6f) {
        LoadTeentaal(doc);
        renderer = std::make_unique<CTaalRenderer>(doc.Taal(), bank, sink);
        renderer->SetTempo(secondsPerBeat);
        renderer->InitialUpdate();
        renderer->BuildTaalImage();
    }
};

VirtualOutputDevice::Options ManualClock() {
    VirtualOutputDevice::Options options;
    options.clock = VirtualOutputDevice::Clock::Manual;
    return options;
}

// A refill as the feeding thread does it; state.range(0) 1: with the drone
// on, 2: with the lehra on.
void BM_Refill(benchmark::State& state) {
    Teentaal taal;
    DroneFeed drone;
    drone.Exchange(std::make_shared<const std::vector<std::int16_t>>(
        RenderTanpuraLoop({DroneTuning::Pa, 3}, kSampleRate)));
    drone.SetOn(true);
    CSoundDevice device;
    device.Initialize([](std::unique_ptr<OutputDevice>& out) {
        out = std::make_unique<VirtualOutputDevice>(ManualClock());
        return HResult::Ok;
    });
    EventSet events;
    std::unique_ptr<CStreamingSound> stream;
    CWaveReader reader;
    reader.Open(&taal.renderer->Image(), &taal.renderer->StreamFormat());
    device.CreateStreaming(stream, &reader, taal.renderer->StreamFormat(),
                           stream_flags::kStreamRequest, 8, kChunk, EventRef{&events, 0});
    if (state.range(0) == 1)
        stream->SetDrone(&drone);
    // The lehra's loop is as long as the cycle; its samples matter not.
    LehraLoop loop;
    loop.cycleSamples = static_cast<std::size_t>(taal.renderer->Image().DataSize() / 2);
    loop.samples.resize(loop.cycleSamples);
    for (std::size_t i = 0; i < loop.samples.size(); ++i)
        loop.samples[i] =
            static_cast<std::int16_t>(8000.0 * std::sin(0.05 * static_cast<double>(i)));
    LehraFeed lehra;
    lehra.SetLoops(&loop, nullptr);
    lehra.SetOn(true);
    if (state.range(0) == 2)
        stream->SetLehra(&lehra);
    const float length = taal.doc.Taal().Total();
    for (auto _ : state) {
        stream->HandleStreamNotification(true);
        benchmark::DoNotOptimize(
            ComputePlayingPosition(reader.Position(), 0, length, taal.renderer->Image()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kChunk));
    stream.reset();
}

void BM_Copy440(benchmark::State& state) {
    Teentaal taal;
    std::vector<unsigned char> flat(static_cast<std::size_t>(taal.renderer->Image().DataSize()));
    std::size_t hint = 0;
    taal.renderer->Image().CopyData(0, flat, hint);
    unsigned char chunk[kChunk];
    std::size_t position = 0;
    for (auto _ : state) {
        const std::size_t n = std::min(kChunk, flat.size() - position);
        std::memcpy(chunk, flat.data() + position, n);
        position = position + n == flat.size() ? 0 : position + n;
        benchmark::DoNotOptimize(chunk);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kChunk));
}

BENCHMARK(BM_Refill)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_Copy440);

struct LatencyFigures {
    std::vector<double> latencies; // seconds from the call to the first new sample played
    std::vector<double> rebuilds;  // seconds SetTempo took
};

// Plays the Teentaal from its start on the real-time capture output and
// changes the tempo at a random moment. Playing from the start, refill n
// (counted from Play) writes image bytes from 3520 + 440 (n - 1) on into the
// ring, and they are heard once that many bytes have been played; so the first
// refill after the swap tells where the new image begins in what is heard.
LatencyFigures MeasureTempoLatency(int samples) {
    LatencyFigures figures;
    Teentaal taal(0.25f);
    VirtualOutputDevice* output = nullptr;
    CPlaybackEngine engine(taal.doc, *taal.renderer, taal.sink,
                           [&](std::unique_ptr<OutputDevice>& out) {
                               VirtualOutputDevice::Options options;
                               options.capture = true;
                               auto created = std::make_unique<VirtualOutputDevice>(options);
                               output = created.get();
                               out = std::move(created);
                               return HResult::Ok;
                           });
    if (engine.InitDirectSound() != SoundSetupStatus::Ok)
        return figures;
    std::mt19937 random(11);
    for (int i = 0; i < samples; ++i) {
        taal.renderer->SetTempo(i % 2 == 0 ? 0.25f : 0.3f);
        output->ClearCaptured();
        const std::uint64_t refillsAtPlay = engine.CurrentFigures().refills;
        engine.OnAudioPlay();
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 200));

        const std::uint64_t refillsBefore = engine.CurrentFigures().refills;
        const std::uint64_t ring = output->Buffer(0)->Serial();
        const std::size_t heardBefore = output->Captured(ring).size();
        const auto start = Clock::now();
        taal.renderer->SetTempo(i % 2 == 0 ? 0.3f : 0.25f);
        const double rebuild = std::chrono::duration<double>(Clock::now() - start).count();
        const std::uint64_t refillsAfter = engine.CurrentFigures().refills;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const std::size_t heard = output->Captured(ring).size();
        engine.OnAudioStop();
        if (refillsAfter != refillsBefore)
            continue; // a refill ran during the call: which side of the swap is unknown
        const std::uint64_t n = refillsAfter - refillsAtPlay + 1;
        const std::uint64_t firstNew = (3520 + 440 * (n - 1)) / 2;
        if (firstNew < heardBefore || firstNew > heard)
            continue;
        figures.rebuilds.push_back(rebuild);
        figures.latencies.push_back(static_cast<double>(firstNew - heardBefore) / 22050.0);
    }
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    FigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto& s = reporter.seconds;
    std::printf("\nFigures (ratios against baselines of this run):\n");
    if (s.contains("BM_Refill/0") && s.contains("BM_Copy440")) {
        std::printf("  refill of 440 bytes with its position update: %.1f ns; memcpy of 440 "
                    "bytes: %.1f ns; ratio %.2fx; %.6f of the 10 ms between refills\n",
                    s["BM_Refill/0"] * 1e9, s["BM_Copy440"] * 1e9,
                    s["BM_Refill/0"] / s["BM_Copy440"], s["BM_Refill/0"] / 0.010);
    }
    if (s.contains("BM_Refill/0") && s.contains("BM_Refill/1")) {
        std::printf("  refill with the drone mixed in: %.1f ns; without: %.1f ns; ratio %.2fx; "
                    "%.6f of the 10 ms between refills\n",
                    s["BM_Refill/1"] * 1e9, s["BM_Refill/0"] * 1e9,
                    s["BM_Refill/1"] / s["BM_Refill/0"], s["BM_Refill/1"] / 0.010);
    }
    if (s.contains("BM_Refill/0") && s.contains("BM_Refill/2")) {
        std::printf("  refill with the lehra mixed in: %.1f ns; without: %.1f ns; ratio %.2fx; "
                    "%.6f of the 10 ms between refills\n",
                    s["BM_Refill/2"] * 1e9, s["BM_Refill/0"] * 1e9,
                    s["BM_Refill/2"] / s["BM_Refill/0"], s["BM_Refill/2"] / 0.010);
    }
    const LatencyFigures figures = MeasureTempoLatency(20);
    if (!figures.latencies.empty()) {
        double sum = 0.0;
        for (double latency : figures.latencies)
            sum += latency;
        const double mean = sum / static_cast<double>(figures.latencies.size());
        const double worst = *std::max_element(figures.latencies.begin(), figures.latencies.end());
        const double rebuild = *std::max_element(figures.rebuilds.begin(), figures.rebuilds.end());
        std::printf("  tempo change to the first new sample leaving the ring (%zu changes, "
                    "real-time virtual output): mean %.1f ms, worst %.1f ms; ring length "
                    "%.1f ms; worst ratio %.2fx (target <= 1x plus the rebuild); longest "
                    "rebuild %.3f ms\n",
                    figures.latencies.size(), mean * 1e3, worst * 1e3, kRingSeconds * 1e3,
                    worst / kRingSeconds, rebuild * 1e3);
    } else {
        std::printf("  tempo change latency: not measured\n");
    }
    return 0;
}
