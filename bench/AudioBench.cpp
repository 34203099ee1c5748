// Throughput of the sound engine against plain baselines measured in the same
// run: reading the Taal image in refill-sized chunks against memcpy from a
// flat copy, mixing a stroke against adding two sample arrays, and building
// the image against the refill period, and the ring mode (strokes ringing on,
// humanised as by default) against the cut mode.

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

    explicit Teentaal(std::size_t storedBudget = CTaalRenderer::kDefaultStoredSampleBudget,
                      const StrokeStyle& style = {}) {
        LoadTeentaal(doc);
        renderer = std::make_unique<CTaalRenderer>(doc.Taal(), bank, sink);
        renderer->SetStoredSampleBudget(storedBudget);
        renderer->SetStrokeStyle(style);
        renderer->SetTempo(0.6f);
        renderer->InitialUpdate();
        renderer->BuildTaalImage();
    }
};

void ReadThroughReader(benchmark::State& state, std::size_t storedBudget,
                       const StrokeStyle& style = {}) {
    Teentaal taal(storedBudget, style);
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

void BM_ReaderChunksRing(benchmark::State& state) {
    ReadThroughReader(state, CTaalRenderer::kDefaultStoredSampleBudget, kDefaultStrokeStyle);
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

// A tempo change's rebuild: the image at alternating tempos.
void BuildTeentaal(benchmark::State& state, const StrokeStyle& style) {
    Teentaal taal(CTaalRenderer::kDefaultStoredSampleBudget, style);
    float tempo = 0.6f;
    for (auto _ : state) {
        tempo = tempo == 0.6f ? 0.5f : 0.6f;
        taal.renderer->SetTempo(tempo);
        taal.renderer->BuildTaalImage();
    }
}

void BM_BuildTeentaal(benchmark::State& state) {
    BuildTeentaal(state, {});
}

void BM_BuildTeentaalRing(benchmark::State& state) {
    BuildTeentaal(state, kDefaultStrokeStyle);
}

void BuildLongTaal(benchmark::State& state, const StrokeStyle& style) {
    CTaal long_taal;
    FillLongTaal(long_taal, 50000, 2.0f);
    CSampleBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer(long_taal, bank, sink);
    renderer.SetStrokeStyle(style);
    renderer.SetTempo(6.0f);
    renderer.InitialUpdate();
    float tempo = 6.0f;
    for (auto _ : state) {
        tempo = tempo == 6.0f ? 5.0f : 6.0f;
        renderer.SetTempo(tempo);
        renderer.BuildTaalImage();
    }
}

void BM_BuildLongTaal10Bpm(benchmark::State& state) {
    BuildLongTaal(state, {});
}

void BM_BuildLongTaal10BpmRing(benchmark::State& state) {
    BuildLongTaal(state, kDefaultStrokeStyle);
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
BENCHMARK(BM_ReaderChunksRing);
BENCHMARK(BM_MemcpyChunks);
BENCHMARK(BM_BuildTeentaal)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildTeentaalRing)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildLongTaal10Bpm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildLongTaal10BpmRing)->Unit(benchmark::kMillisecond);
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
    if (has({"BM_ReaderChunksRing", "BM_ReaderChunks", "BM_MemcpyChunks"})) {
        std::printf("  reader with strokes ringing on (mixed as read): %.1f ns per chunk; ratio "
                    "%.2fx to the cut image's reader, %.2fx to memcpy\n",
                    s["BM_ReaderChunksRing"] * 1e9, s["BM_ReaderChunksRing"] / s["BM_ReaderChunks"],
                    s["BM_ReaderChunksRing"] / s["BM_MemcpyChunks"]);
    }
    if (has({"BM_BuildTeentaalRing", "BM_BuildTeentaal"})) {
        std::printf("  rebuild after a tempo change, Teentaal, ring against cut: %.2f us / %.2f "
                    "us, ratio %.2fx\n",
                    s["BM_BuildTeentaalRing"] * 1e6, s["BM_BuildTeentaal"] * 1e6,
                    s["BM_BuildTeentaalRing"] / s["BM_BuildTeentaal"]);
    }
    if (has({"BM_BuildLongTaal10BpmRing", "BM_BuildLongTaal10Bpm"})) {
        std::printf("  rebuild after a tempo change, 100,000-beat Taal, ring against cut: %.2f ms "
                    "/ %.2f ms, ratio %.2fx\n",
                    s["BM_BuildLongTaal10BpmRing"] * 1e3, s["BM_BuildLongTaal10Bpm"] * 1e3,
                    s["BM_BuildLongTaal10BpmRing"] / s["BM_BuildLongTaal10Bpm"]);
    }
    if (has({"BM_MixInto", "BM_AddSampleArrays"})) {
        std::printf("  MixInto of a 50815-sample stroke: %.1f us; plain int16 array add: %.1f us;"
                    " ratio %.2fx\n",
                    s["BM_MixInto"] * 1e6, s["BM_AddSampleArrays"] * 1e6,
                    s["BM_MixInto"] / s["BM_AddSampleArrays"]);
    }
    return 0;
}
