// The longest Taal a file may hold, 50,000 bols of 2 beats, rendered and built
// at 10 bpm: time and peak memory of the process, against the memory the
// literal design (whole blocks in every cell, the whole image in memory) would
// need. Runs in a process of its own so that the peak is this work's.

#include "BenchTaals.h"

#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/WaveReader.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <set>
#include <sys/resource.h>

using namespace lorvanta;
using namespace lorvanta::bench;

namespace {

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

template <typename Work> double Milliseconds(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main() {
    constexpr int kBols = 50000;
    constexpr float kBeats = 2.0f;
    constexpr double kTargetMegabytes = 200.0;
    const double startMegabytes = PeakMegabytes();

    CTaal taal;
    FillLongTaal(taal, kBols, kBeats);
    const double taalMegabytes = PeakMegabytes();

    CSampleBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer(taal, bank, sink);
    renderer.SetTempo(6.0f); // 10 bpm
    bool failed = false;
    const double renderMs =
        Milliseconds([&] { failed |= renderer.RenderAllBols() != AudioStatus::Ok; });
    const double buildMs =
        Milliseconds([&] { failed |= renderer.BuildTaalImage() != AudioStatus::Ok; });
    if (failed || !sink.Messages().empty()) {
        std::fprintf(stderr, "rendering failed\n");
        return 1;
    }

    // Read a few thousand refills from all over the cycle, as playback would
    // after jumps, to show the image is usable and costs nothing to hold.
    std::mt19937_64 random(1);
    unsigned char chunk[440];
    std::uint64_t checksum = 0;
    const double readMs = Milliseconds([&] {
        CWaveReader reader;
        reader.Open(&renderer.Image(), &renderer.StreamFormat());
        for (int i = 0; i < 10000; ++i) {
            reader.Reset((random() % reader.DataSize()) & ~std::uint64_t{1});
            std::size_t read = 0;
            reader.Read(chunk, sizeof chunk, &read);
            checksum += chunk[read / 2];
        }
    });
    const double peakMegabytes = PeakMegabytes();

    // What the literal design holds: every cell's whole block, and the image.
    double literalBytes = static_cast<double>(renderer.ImageSize()); // at 10 bpm
    for (const BolCell& cell : renderer.Cells())
        literalBytes += 2.0 * cell.sampleCount;

    const std::uint64_t imageSize = renderer.ImageSize();
    const std::uint64_t totalSamples = renderer.TotalSamples();
    const double rebuildMs = Milliseconds([&] { renderer.BuildTaalImage(); });
    renderer.SetTempo(0.6f);
    const double build100Ms = Milliseconds([&] { renderer.BuildTaalImage(); });

    std::set<const BolBlock*> distinct;
    for (const BolCell& cell : renderer.Cells())
        distinct.insert(cell.block.get());
    std::printf(
        "Long Taal: %d bols of %.0f beats (%.0f beats), %zu distinct blocks holding %.2f MB\n",
        kBols, static_cast<double>(kBeats), kBols * static_cast<double>(kBeats), distinct.size(),
        2.0 * static_cast<double>(renderer.StoredSamples()) / 1e6);
    std::printf("  RenderAllBols: %.1f ms\n", renderMs);
    std::printf("  BuildTaalImage at 10 bpm: first %.1f ms, again %.1f ms (image of %.2f GB, %llu "
                "samples)\n",
                buildMs, rebuildMs, static_cast<double>(imageSize) / 1e9,
                static_cast<unsigned long long>(totalSamples));
    std::printf("  BuildTaalImage at 100 bpm: %.1f ms\n", build100Ms);
    std::printf("  10,000 refills of 440 bytes at random places: %.2f ms (checksum %llu)\n", readMs,
                static_cast<unsigned long long>(checksum % 1000));
    std::printf("  peak memory (ru_maxrss): %.1f MB (process start %.1f MB, after building the "
                "Taal %.1f MB); target < %.0f MB: ratio %.3f\n",
                peakMegabytes, startMegabytes, taalMegabytes, kTargetMegabytes,
                peakMegabytes / kTargetMegabytes);
    std::printf("  literal design would hold %.1f GB: %.0fx the measured peak\n",
                literalBytes / 1e9, literalBytes / (peakMegabytes * 1024 * 1024));

    // The same Taal with strokes ringing on, humanised as by default: each
    // drum's strikes are mixed as they are read, from shared blocks.
    renderer.SetStrokeStyle(kDefaultStrokeStyle);
    renderer.SetTempo(6.0f);
    const double ringRenderMs =
        Milliseconds([&] { failed |= renderer.RenderAllBols() != AudioStatus::Ok; });
    const double ringBuildMs =
        Milliseconds([&] { failed |= renderer.BuildTaalImage() != AudioStatus::Ok; });
    renderer.SetTempo(0.6f);
    const double ringBuild100Ms = Milliseconds([&] { renderer.BuildTaalImage(); });
    const double ringReadMs = Milliseconds([&] {
        CWaveReader reader;
        reader.Open(&renderer.Image(), &renderer.StreamFormat());
        for (int i = 0; i < 10000; ++i) {
            reader.Reset((random() % reader.DataSize()) & ~std::uint64_t{1});
            std::size_t read = 0;
            reader.Read(chunk, sizeof chunk, &read);
            checksum += chunk[read / 2];
        }
    });
    const double ringPeakMegabytes = PeakMegabytes();
    std::set<const BolBlock*> ringDistinct;
    for (const BolCell& cell : renderer.Cells())
        for (const auto& strike : cell.strikes)
            ringDistinct.insert(strike.block.get());
    if (failed) {
        std::fprintf(stderr, "rendering with strokes ringing on failed\n");
        return 1;
    }
    std::printf("Ring mode (humanised %.0f %%): %zu distinct blocks holding %.2f MB\n",
                static_cast<double>(kDefaultStrokeStyle.humanise), ringDistinct.size(),
                2.0 * static_cast<double>(renderer.StoredSamples()) / 1e6);
    std::printf("  RenderAllBols: %.1f ms; BuildTaalImage at 10 bpm %.1f ms (ratio %.2fx to cut), "
                "at 100 bpm %.1f ms (ratio %.2fx)\n",
                ringRenderMs, ringBuildMs, ringBuildMs / buildMs, ringBuild100Ms,
                ringBuild100Ms / build100Ms);
    std::printf("  10,000 refills at random places: %.2f ms (ratio %.2fx to cut)\n", ringReadMs,
                ringReadMs / readMs);
    std::printf("  peak memory (ru_maxrss) after the ring mode: %.1f MB; target < %.0f MB: ratio "
                "%.3f\n",
                ringPeakMegabytes, kTargetMegabytes, ringPeakMegabytes / kTargetMegabytes);
    return 0;
}
