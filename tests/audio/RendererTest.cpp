// The renderer: slot and image arithmetic, the emphasis ceiling, the swap of
// the image while it is being read, and the audition.

#include "AudioTestSupport.h"

#include "audio/BolAudition.h"
#include "audio/TaalRenderer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

class Renderer : public ::testing::Test {
protected:
    void Load(const std::vector<BolSpec>& specs) {
        FillTaal(taal, specs);
        ASSERT_EQ(renderer.InitialUpdate(), 0u);
    }
    std::vector<unsigned char> ImageBytes() {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(renderer.ImageSize()));
        renderer.Image().CopyBytes(0, bytes);
        return bytes;
    }
    std::vector<std::int16_t> BolSamples(std::size_t bol) {
        const auto starts = renderer.BolStarts();
        std::vector<unsigned char> bytes(2 * (starts[bol + 1] - starts[bol]));
        std::size_t hint = 0;
        renderer.Image().CopyData(2 * starts[bol], bytes, hint);
        return SamplesOf(bytes);
    }

    CTaal taal;
    CSampleBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer{taal, bank, sink};
};

} // namespace

TEST_F(Renderer, SlotsAtOneHundredAndOneHundredTwentyBpm) {
    Load({{1.0f}, {0.5f}, {0.25f}});
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);
    EXPECT_EQ(std::vector(renderer.Slots().begin(), renderer.Slots().end()),
              (std::vector<std::uint32_t>{13230, 6615, 3307}));
    renderer.SetTempo(static_cast<float>(60.0 / 120.0));
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);
    EXPECT_EQ(renderer.Slots()[0], 11025u);
}

TEST_F(Renderer, TwoBolImageOf39734Bytes) {
    Load({{1.0f, 12, 3}, {0.5f, 7, 0}});
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);
    EXPECT_EQ(std::vector(renderer.BolStarts().begin(), renderer.BolStarts().end()),
              (std::vector<std::uint64_t>{0, 13230, 19845}));
    EXPECT_EQ(renderer.TotalSamples(), 19845u);
    const auto image = ImageBytes();
    ASSERT_EQ(image.size(), 39734u);
    EXPECT_EQ(GetLe32(image, 40), 39690u);
    EXPECT_EQ(GetLe32(image, 4), 39726u);
    // The rest of the header is the silence recording's.
    const WaveHeader silence = SilenceHeader(bank);
    EXPECT_TRUE(std::equal(image.begin() + 8, image.begin() + 40, silence.begin() + 8));
    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "RIFF");
    EXPECT_EQ(GetLe32(image, 24), 22050u);
    EXPECT_EQ(GetLe32(image, 28), 44100u);
}

TEST_F(Renderer, OneSemitoneUpPlaysAt23361AndWidensTheSlots) {
    Load({{1.0f, 12}});
    renderer.SetPitch(1.0594631f);
    EXPECT_EQ(renderer.PlaybackRate(), 23361u);
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);
    EXPECT_EQ(renderer.Slots()[0], 14016u);
    EXPECT_EQ(GetLe32(renderer.Image().Header(), 24), 23361u);
    EXPECT_EQ(GetLe32(renderer.Image().Header(), 28), 46722u);
    EXPECT_EQ(renderer.StreamFormat().samplesPerSec, 23361u);
    EXPECT_EQ(renderer.StreamFormat().avgBytesPerSec, 46722u);

    // Back at exactly 1.0 the header keeps the rate it was given last; only
    // the stream format follows.
    renderer.SetPitch(1.0f);
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);
    EXPECT_EQ(renderer.Slots()[0], 13230u);
    EXPECT_EQ(GetLe32(renderer.Image().Header(), 24), 23361u);
    EXPECT_EQ(renderer.StreamFormat().samplesPerSec, 22050u);
}

TEST_F(Renderer, BlocksHoldSixSecondsPerBeatAtTheRateOfTheirRendering) {
    Load({{1.0f, 12}, {0.5f, 12}});
    EXPECT_EQ(renderer.Cells()[0].sampleCount, 132300u);
    EXPECT_EQ(renderer.Cells()[1].sampleCount, 66150u);
    // What is stored stops at the recording's end, and both share it.
    EXPECT_EQ(renderer.Cells()[0].block->Length(), (bank.StrokeImage(12).size() - 44) / 2);
    EXPECT_EQ(renderer.Cells()[0].block, renderer.Cells()[1].block);
    renderer.SetPitch(1.0594631f);
    renderer.RenderAllBols();
    EXPECT_EQ(renderer.Cells()[0].sampleCount, 140166u);
}

TEST_F(Renderer, AnEmptyTaalHasABareHeader) {
    Load({});
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);
    const auto image = ImageBytes();
    ASSERT_EQ(image.size(), 44u);
    EXPECT_EQ(GetLe32(image, 40), 0u);
    EXPECT_EQ(GetLe32(image, 4), 36u);
    std::lock_guard lock(renderer.StreamLock());
    unsigned char buffer[8];
    std::size_t read = 99;
    EXPECT_EQ(renderer.Reader().Read(buffer, 8, &read), kSOk);
    EXPECT_EQ(read, 0u);
}

TEST_F(Renderer, SixteenNaAtThreeHundredBpmAreCutByTheNextStroke) {
    Load(std::vector<BolSpec>(16, BolSpec{1.0f, 12}));
    renderer.SetTempo(0.2f);
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);
    const auto recording = SamplesOf(bank.StrokeImage(12).subspan(44));
    for (std::size_t bol = 0; bol < 16; ++bol) {
        const auto samples = BolSamples(bol);
        ASSERT_EQ(samples.size(), 4410u);
        EXPECT_TRUE(std::equal(samples.begin(), samples.end(), recording.begin())) << bol;
    }
}

TEST_F(Renderer, ASlotLongerThanItsBlockIsSilentPastTheBlock) {
    // A tenth of a beat rendered at 22050 Hz holds 13230 samples of a much
    // longer "Na"; at 10 bpm and +6 semitones its slot wants 18709.
    Load({{0.1f, 12}, {1.0f, 7}});
    ASSERT_EQ(renderer.Cells()[0].sampleCount, 13230u);
    renderer.SetPitch(1.4142135f);
    renderer.SetTempo(6.0f);
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);
    ASSERT_EQ(renderer.Slots()[0], 18709u);
    const auto samples = BolSamples(0);
    const auto recording = SamplesOf(bank.StrokeImage(12).subspan(44));
    ASSERT_GT(recording.size(), 18709u);
    EXPECT_TRUE(std::equal(samples.begin(), samples.begin() + 13230, recording.begin()));
    EXPECT_TRUE(std::all_of(samples.begin() + 13230, samples.end(), [](auto s) { return s == 0; }));
}

TEST_F(Renderer, ExpandKeepsTheBlockRenderedForTheOldDuration) {
    Load({{0.25f, 12}});
    taal.BolAt(0)->duration = 4.0f; // lengthened without rendering
    renderer.SetTempo(6.0f);
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);
    const auto samples = BolSamples(0);
    ASSERT_EQ(samples.size(), 529200u);
    EXPECT_EQ(renderer.Cells()[0].sampleCount, 33075u);
    EXPECT_TRUE(std::all_of(samples.begin() + 33075, samples.end(), [](auto s) { return s == 0; }));
}

TEST_F(Renderer, TheLoudestBolIsRenderedAtZeroDecibels) {
    Load({{1.0f, 12, 3, 4.0f, 2.0f}, {1.0f, 12, 3, -2.0f, -2.0f}});
    EXPECT_EQ(renderer.EmphasisCeiling(), 6.0f);
    for (std::size_t i = 0; i < 2; ++i) {
        const auto expected =
            LiteralBlock(*taal.BolAt(static_cast<int>(i)), 6.0f, 22050, bank, sink);
        const auto& cell = renderer.Cells()[i];
        std::vector<unsigned char> bytes(2 * cell.block->Length());
        cell.block->CopyBytes(0, bytes.data(), bytes.size());
        const auto stored = SamplesOf(bytes);
        EXPECT_TRUE(std::equal(stored.begin(), stored.end(), expected.begin())) << i;
    }
}

TEST_F(Renderer, CeilingDecidesWhatIsRenderedAgain) {
    Load({{1.0f, 12, 3, 2.0f, 2.0f}, {1.0f, 7, 0}, {1.0f, 14, 1}});
    ASSERT_EQ(renderer.EmphasisCeiling(), 4.0f);
    std::size_t before = renderer.RenderCount();

    // Raised to no more than the ceiling: that bol only.
    taal.BolAt(1)->pitch.emphasis = 4.0f;
    ASSERT_EQ(renderer.ApplyBolEdit(1), 0u);
    EXPECT_EQ(renderer.RenderCount() - before, 1u);
    EXPECT_EQ(renderer.EmphasisCeiling(), 4.0f);

    // Raised above it: every bol.
    before = renderer.RenderCount();
    taal.BolAt(2)->bass.emphasis = 5.0f;
    ASSERT_EQ(renderer.ApplyBolEdit(2), 0u);
    EXPECT_EQ(renderer.RenderCount() - before, 3u);
    EXPECT_EQ(renderer.EmphasisCeiling(), 5.0f);

    // A quiet new bol: itself only.
    before = renderer.RenderCount();
    taal.Insert(0, MakeBol({1.0f, 20}));
    ASSERT_EQ(renderer.InsertBolView(0), 0u);
    EXPECT_EQ(renderer.RenderCount() - before, 1u);
    ASSERT_EQ(renderer.Cells().size(), 4u);
    EXPECT_NE(renderer.Cells()[1].block, nullptr);

    // Removing a quiet bol renders nothing; removing the loudest, everything.
    before = renderer.RenderCount();
    taal.Remove(1);
    std::optional<BolCell> removed = renderer.RemoveBolView(1);
    ASSERT_TRUE(removed.has_value());
    EXPECT_EQ(renderer.RenderCount() - before, 0u);
    taal.Remove(2);
    renderer.RemoveBolView(2);
    EXPECT_EQ(renderer.RenderCount() - before, 2u);
    EXPECT_EQ(renderer.EmphasisCeiling(), 4.0f);

    // A cell coming back (undo) keeps its block and renders nothing.
    before = renderer.RenderCount();
    taal.Insert(0, MakeBol({1.0f, 20}));
    ASSERT_EQ(renderer.InsertBolView(0, removed), 0u);
    EXPECT_EQ(renderer.RenderCount() - before, 0u);
    EXPECT_EQ(renderer.Cells()[1].block, removed->block);
}

TEST_F(Renderer, ANewBolAtTheTailOrHeadIsRenderedInItsPlace) {
    Load({{1.0f, 12}});
    taal.Insert(0, MakeBol({0.5f, 7}));
    ASSERT_EQ(renderer.InsertBolView(0), 0u);
    taal.Insert(-1, MakeBol({0.25f, 14}));
    ASSERT_EQ(renderer.InsertBolView(-1), 0u);
    ASSERT_EQ(renderer.Cells().size(), 3u);
    EXPECT_EQ(renderer.Cells()[0].sampleCount, 33075u);
    EXPECT_EQ(renderer.Cells()[1].sampleCount, 132300u);
    EXPECT_EQ(renderer.Cells()[2].sampleCount, 66150u);
}

TEST_F(Renderer, ApplyingAnEditWhilePlayingRebuildsTheImage) {
    Load({{1.0f, 12}, {1.0f, 7}});
    renderer.BuildTaalImage();
    renderer.SetPlaying(true);
    taal.BolAt(1)->duration = 2.0f;
    ASSERT_EQ(renderer.ApplyBolEdit(1), 0u);
    EXPECT_EQ(renderer.Slots()[1], 26460u);
}

TEST_F(Renderer, ResumesAtTheSameFractionOnAnEvenByte) {
    Load({{1.0f, 12}});
    renderer.BuildTaalImage();
    renderer.SetPlaying(true);
    {
        std::lock_guard lock(renderer.StreamLock());
        ASSERT_EQ(renderer.Reader().DataSize(), 26460u);
        renderer.Reader().Reset(13230); // halfway
    }
    renderer.SetTempo(0.5f); // 22050 bytes: halfway is byte 11025, odd
    {
        std::lock_guard lock(renderer.StreamLock());
        EXPECT_EQ(renderer.Reader().DataSize(), 22050u);
        EXPECT_EQ(renderer.Reader().Position(), 11024u);
    }
    int rateSeen = 0;
    renderer.SetRateChangedHandler([&](std::uint32_t rate) { rateSeen = static_cast<int>(rate); });
    renderer.SetPitch(1.0594631f); // 23361 Hz: 0.5 s per beat = 11680 samples
    std::lock_guard lock(renderer.StreamLock());
    EXPECT_EQ(rateSeen, 23361);
    EXPECT_EQ(renderer.Reader().DataSize(), 23360u);
    EXPECT_EQ(renderer.Reader().Position(), 11678u);
}

TEST_F(Renderer, ChangesWhileStoppedWaitForTheNextBuild) {
    Load({{1.0f, 12}});
    renderer.BuildTaalImage();
    renderer.SetTempo(0.5f);
    renderer.SetPitch(1.0594631f);
    EXPECT_EQ(renderer.Slots()[0], 13230u);
    EXPECT_EQ(renderer.StreamFormat().samplesPerSec, 22050u);
}

TEST_F(Renderer, ReaderWrapsAtTheEndOfTheCycle) {
    Load({{0.001f, 12}});
    renderer.BuildTaalImage();
    const auto image = ImageBytes();
    const std::size_t dataSize = image.size() - 44;
    ASSERT_EQ(dataSize, 26u);
    std::lock_guard lock(renderer.StreamLock());
    CWaveReader& reader = renderer.Reader();
    unsigned char buffer[64];
    std::size_t read = 0;
    reader.Reset(20);
    ASSERT_EQ(reader.Read(buffer, 64, &read), kSOk);
    EXPECT_EQ(read, 6u);
    EXPECT_TRUE(std::equal(buffer, buffer + 6, image.begin() + 64));
    EXPECT_EQ(reader.Position(), 0u);
    reader.Reset(3); // an odd offset reads the high byte first
    reader.Read(buffer, 5, &read);
    EXPECT_TRUE(std::equal(buffer, buffer + 5, image.begin() + 47));
    reader.Reset(1000); // past the end: nothing, then the start again
    reader.Read(buffer, 4, &read);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(reader.Position(), 0u);
}

TEST(WaveReader, MustBeOpenedForReading) {
    CWaveReader reader;
    unsigned char buffer[4];
    std::size_t read = 0;
    EXPECT_EQ(reader.Read(buffer, 4, &read), kCoENotInitialized);
    TaalImage image(WaveHeader{});
    WaveFormat format;
    EXPECT_EQ(reader.Open(&image, &format, CWaveReader::Mode::Write), kENotImpl);
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.Open(&image, &format), kSOk);
    EXPECT_EQ(reader.Read(buffer, 4, &read), kSOk);
    reader.Close();
    EXPECT_EQ(reader.Read(buffer, 4, &read), kCoENotInitialized);
}

TEST(ImageHeader, ComesFromTheSilenceWithEmptySizes) {
    CTaal taal;
    CSampleBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer(taal, bank, sink);
    EXPECT_EQ(renderer.InitStatus(), 0u);
    WaveHeader expected = SilenceHeader(bank);
    PutLe32(expected, 40, 0);
    PutLe32(expected, 4, 36);
    EXPECT_EQ(renderer.Image().Header(), expected);
    EXPECT_EQ(renderer.ImageSize(), 44u);
    EXPECT_EQ(renderer.StreamFormat(), WaveFormat{});
}

TEST(ImageHeader, FailuresNameTheFixedModuleAndTheSilence) {
    CTaal taal;
    FaultyBank bank;
    RecordingMessageSink sink;
    bank.failing = FaultyBank::Step::Module;
    CTaalRenderer renderer(taal, bank, sink);
    EXPECT_EQ(renderer.InitStatus(), 12u);
    bank.failing = FaultyBank::Step::Find;
    EXPECT_EQ(renderer.InitImageHeader(), 8u);
    bank.failing = FaultyBank::Step::Lock;
    EXPECT_EQ(renderer.InitImageHeader(), 10u);
    ASSERT_EQ(sink.Messages().size(), 3u);
    EXPECT_EQ(sink.Messages()[0].text, "Error 0x7e: Cannot get handle for Lorvanta.exe");
    EXPECT_EQ(sink.Messages()[1].text, "Error 0x716: Cannot find sound silence");
    EXPECT_EQ(sink.Messages()[2].text, "Error 0x5: Cannot get handle for silence");
}

TEST(RenderFailure, AFailedBolIsSilentAndTheLastBolsStatusIsShown) {
    CTaal taal;
    FaultyBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer(taal, bank, sink);
    FillTaal(taal, {{1.0f, 7}, {1.0f, 12}});
    bank.failing = FaultyBank::Step::Find;
    bank.resource = LookupSampleResource(12);
    EXPECT_EQ(renderer.InitialUpdate(), 8u);
    std::vector<std::string> texts;
    for (const auto& message : sink.Messages())
        texts.push_back(message.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Error 0x716: Cannot find sound pitch 12",
                                               "Cannot load bol Bol 1 into memory.",
                                               "Error 0x8 occured while loading Taal"}));
    EXPECT_EQ(renderer.Cells()[1].sampleCount, 0u);
    EXPECT_EQ(renderer.Cells()[1].block, nullptr);
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);
    std::vector<unsigned char> bytes(2 * 13230);
    std::size_t hint = 0;
    renderer.Image().CopyData(2 * 13230, bytes, hint);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0; }));

    // An applied edit that fails to render says which bol and stops there.
    sink.Clear();
    renderer.SetPlaying(true);
    EXPECT_EQ(renderer.ApplyBolEdit(1), 8u);
    ASSERT_EQ(sink.Messages().size(), 2u);
    EXPECT_EQ(sink.Messages()[1].text, "Cannot load bol Bol 1 into memory.");
}

TEST(BlockSharing, IdenticalBolsShareOneBlock) {
    CTaal taal;
    CSampleBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer(taal, bank, sink);
    std::vector<BolSpec> specs(1000, BolSpec{2.0f, 12, 3});
    specs[10].pitchEmphasis = -1.0f;
    FillTaal(taal, specs);
    renderer.InitialUpdate();
    const std::size_t naGe =
        std::max(bank.StrokeImage(12).size(), bank.StrokeImage(3).size()) / 2 - 22;
    EXPECT_EQ(renderer.StoredSamples(), 2 * naGe);
    taal.RemoveAll();
    renderer.InitialUpdate();
    renderer.BuildTaalImage();
    EXPECT_EQ(renderer.StoredSamples(), 0u);
}

TEST(BlockSharing, AnotherKitRendersAfresh) {
    CTaal taal;
    CSampleBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer(taal, bank, sink);
    FillTaal(taal, {{1.0f, 12}});
    renderer.InitialUpdate();
    const auto builtIn = renderer.Cells()[0].block;
    bank.ReplaceStroke(12, StrokeImage({1, 2, 3}));
    renderer.RenderAllBols();
    EXPECT_NE(renderer.Cells()[0].block, builtIn);
    // Up to the longer recording: the bass is the 10-sample silence.
    ASSERT_EQ(renderer.Cells()[0].block->Length(), 10u);
    std::vector<unsigned char> bytes(20);
    renderer.Cells()[0].block->CopyBytes(0, bytes.data(), 20);
    EXPECT_EQ(SamplesOf(bytes), (std::vector<std::int16_t>{1, 2, 3, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Concurrency, ReadsDuringRebuildsAlwaysSeeOneWholeImage) {
    CTaal taal;
    CSampleBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer(taal, bank, sink);
    FillTaal(taal, {{1.0f, 12, 3}, {0.5f, 7}, {0.5f, 15}, {1.0f, 29, 1}});
    renderer.InitialUpdate();
    renderer.BuildTaalImage();
    renderer.SetPlaying(true);
    std::atomic<bool> done{false};
    std::atomic<int> mismatches{0};
    std::thread feeder([&] {
        unsigned char chunk[440];
        unsigned char expected[440];
        while (!done) {
            std::lock_guard lock(renderer.StreamLock());
            CWaveReader& reader = renderer.Reader();
            const std::uint64_t position = reader.Position();
            std::size_t read = 0;
            reader.Read(chunk, sizeof chunk, &read);
            std::size_t hint = 0;
            const std::size_t copied =
                reader.Image()->CopyData(position, std::span(expected, read), hint);
            if (copied != read || !std::equal(chunk, chunk + read, expected))
                ++mismatches;
        }
    });
    for (int i = 0; i < 300; ++i) {
        renderer.SetTempo(60.0f / static_cast<float>(60 + 7 * (i % 50)));
        renderer.SetPitch(i % 3 == 0 ? 1.0f : 1.1224620f);
    }
    done = true;
    feeder.join();
    EXPECT_EQ(mismatches, 0);
}

TEST(Audition, LevelIsLoweredOnlyAboveZeroDecibels) {
    CSampleBank bank;
    RecordingMessageSink sink;
    CBolAudition audition(bank, sink);
    struct Case {
        float pitch, bass, pitchRendered, bassRendered;
    };
    for (const Case c : {Case{-3.0f, -3.0f, -3.0f, -3.0f}, Case{3.0f, 3.0f, 0.0f, 0.0f},
                         Case{5.0f, -1.0f, 3.0f, -3.0f}}) {
        auto bol = MakeBol({7.5f, 12, 3, c.pitch, c.bass});
        ASSERT_EQ(audition.Render(*bol), 0u);
        const auto image = audition.Image();
        ASSERT_EQ(image.size(), 88244u);
        EXPECT_EQ(GetLe32(image, 40), 88200u);
        EXPECT_EQ(GetLe32(image, 4), 88236u);
        EXPECT_EQ(GetLe32(image, 24), 22050u);
        auto expected = MakeBol({1.0f, 12, 3, c.pitchRendered, c.bassRendered});
        std::vector<std::int16_t> block(44100);
        expected->RenderInto(block.data(), 44100, bank, sink);
        EXPECT_EQ(SamplesOf(image.subspan(44)), block) << c.pitch << " " << c.bass;
    }
}

TEST(Audition, AFailedRenderReleasesTheBufferAndPlaysNothing) {
    FaultyBank bank;
    RecordingMessageSink sink;
    CBolAudition audition(bank, sink);
    auto bol = MakeBol({1.0f, 12, 3});
    bank.failing = FaultyBank::Step::Load;
    bank.resource = LookupSampleResource(3);
    EXPECT_EQ(audition.Render(*bol), 9u);
    EXPECT_FALSE(audition.HasBuffer());
    EXPECT_TRUE(audition.Image().empty());
    bank.failing = FaultyBank::Step::None;
    EXPECT_EQ(audition.Render(*bol), 0u);
    EXPECT_EQ(audition.Image().size(), 88244u);
}
