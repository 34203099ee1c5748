// Throughput of the sound engine against plain baselines measured in the same
// run: reading the Taal image in refill-sized chunks against memcpy from a
// flat copy, mixing a stroke against adding two sample arrays, and building
// the image against the refill period.

#include "BenchTaals.h"
#include "FigureReporter.h"

#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/WaveReader.h"
#include "model/Sound.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace lorvanta;
using namespace lorvanta::bench;

namespace {

constexpr std::size_t kChunk = 440; // one refill of the playback ring

struct Teentaal {
    CLorvantaDoc doc;
    CSampleBank bank;
    RecordingMessageSink sink;
    std::unique_ptr<CTaalRenderer> renderer;

    explicit Teentaal(std::size_t storedBudget = CTaalRenderer::kDefaultStoredSampleBudget) {
        LoadTeentaal(doc);
        renderer = std::make_unique<CTaalRenderer>(doc.Taal(), bank, sink);
        renderer->SetStoredSampleBudget(storedBudget);
        renderer->SetTempo(0.6f);
        renderer->InitialUpdate();
        renderer->BuildTaalImage();
    }
};

void ReadThroughReader(benchmark::State& state, std::size_t storedBudget) {
    Teentaal taal(storedBudget);
    CWaveReader reader;
    reader.Open(&taal.renderer->Image(), &taal.renderer->StreamFormat());
    unsigned char chunk[kChunk];
    std::size_t read = 0;
    for (auto _ : state) {
        reader.Read(chunk, kChunk, &read);
        benchmark::DoNotOptimize(chunk);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kChunk));
}

void BM_ReaderChunks(benchmark::State& state) {
    ReadThroughReader(state, CTaalRenderer::kDefaultStoredSampleBudget);
}

void BM_ReaderChunksComputedBlocks(benchmark::State& state) {
    ReadThroughReader(state, 0);
}

void BM_MemcpyChunks(benchmark::State& state) {
    Teentaal taal;
    std::vector<unsigned char> flat(static_cast<std::size_t>(taal.renderer->Image().DataSize()));
    std::size_t hint = 0;
    taal.renderer->Image().CopyData(0, flat, hint);
    unsigned char chunk[kChunk];
    std::size_t position = 0;
    for (auto _ : state) {
        // The same wrap the reader does.
        const std::size_t n = std::min(kChunk, flat.size() - position);
        std::memcpy(chunk, flat.data() + position, n);
        position += n;
        if (position == flat.size())
            position = 0;
        benchmark::DoNotOptimize(chunk);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kChunk));
}

void BM_BuildTeentaal(benchmark::State& state) {
    Teentaal taal;
    for (auto _ : state)
        taal.renderer->BuildTaalImage();
}

void BM_BuildLongTaal10Bpm(benchmark::State& state) {
    CTaal long_taal;
    FillLongTaal(long_taal, 50000, 2.0f);
    CSampleBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer(long_taal, bank, sink);
    renderer.SetTempo(6.0f);
    renderer.InitialUpdate();
    for (auto _ : state)
        renderer.BuildTaalImage();
}

void BM_MixInto(benchmark::State& state) {
    CSampleBank bank;
    RecordingMessageSink sink;
    CSound na;
    na.soundId = 12;
    na.emphasis = -3.0f;
    const auto count = static_cast<std::uint32_t>((bank.StrokeImage(12).size() - 44) / 2);
    std::vector<std::int16_t> block(count);
    for (auto _ : state) {
        na.MixInto(block.data(), count, bank, sink);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}

void BM_AddSampleArrays(benchmark::State& state) {
    CSampleBank bank;
    const auto count = (bank.StrokeImage(12).size() - 44) / 2;
    std::vector<std::int16_t> source(count, 1234);
    std::vector<std::int16_t> block(count);
    for (auto _ : state) {
        std::int16_t* out = block.data();
        const std::int16_t* in = source.data();
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<std::int16_t>(out[i] + in[i]);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}

BENCHMARK(BM_ReaderChunks);
BENCHMARK(BM_ReaderChunksComputedBlocks);
BENCHMARK(BM_MemcpyChunks);
BENCHMARK(BM_BuildTeentaal)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildLongTaal10Bpm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixInto)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddSampleArrays)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    FigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto& s = reporter.seconds;
    auto has = [&](std::initializer_list<const char*> names) {
        for (const char* name : names)
            if (!s.contains(name))
                return false;
        return true;
    };
    std::printf("\nFigures (ratios against baselines of this run):\n");
    if (has({"BM_ReaderChunks", "BM_MemcpyChunks"})) {
        std::printf(
            "  reader, 440-byte chunks: %.1f ns per chunk; memcpy from a flat image: %.1f ns;"
            " ratio %.2fx (target <= 2x)\n",
            s["BM_ReaderChunks"] * 1e9, s["BM_MemcpyChunks"] * 1e9,
            s["BM_ReaderChunks"] / s["BM_MemcpyChunks"]);
    }
    if (has({"BM_ReaderChunksComputedBlocks", "BM_MemcpyChunks"})) {
        std::printf("  reader over blocks that mix when read (memory budget spent): %.1f ns per "
                    "chunk; ratio %.2fx to memcpy\n",
                    s["BM_ReaderChunksComputedBlocks"] * 1e9,
                    s["BM_ReaderChunksComputedBlocks"] / s["BM_MemcpyChunks"]);
    }
    if (has({"BM_BuildTeentaal"})) {
        std::printf("  BuildTaalImage, 16-bol Teentaal at 100 bpm: %.2f us; %.5f of the 10 ms "
                    "refill period\n",
                    s["BM_BuildTeentaal"] * 1e6, s["BM_BuildTeentaal"] / 0.010);
    }
    if (has({"BM_BuildLongTaal10Bpm"})) {
        std::printf("  BuildTaalImage, 100,000-beat Taal (50,000 bols) at 10 bpm: %.2f ms\n",
                    s["BM_BuildLongTaal10Bpm"] * 1e3);
    }
    if (has({"BM_MixInto", "BM_AddSampleArrays"})) {
        std::printf("  MixInto of a 50815-sample stroke: %.1f us; plain int16 array add: %.1f us;"
                    " ratio %.2fx\n",
                    s["BM_MixInto"] * 1e6, s["BM_AddSampleArrays"] * 1e6,
                    s["BM_MixInto"] / s["BM_AddSampleArrays"]);
    }
    return 0;
}
