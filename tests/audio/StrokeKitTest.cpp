// Stroke kits: files named by sound id, converted at load to 16-bit mono at
// 22050 Hz and levelled to the built-in peak, and the bank written out as a kit.

#include "AudioTestSupport.h"

#include "audio/StrokeKit.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <numbers>

using namespace lorvanta;
using namespace lorvanta::test;
namespace fs = std::filesystem;

namespace {

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

std::vector<float> Sine(std::size_t frames, int rate, int channels, double hz, double level) {
    std::vector<float> out;
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            out.push_back(static_cast<float>(
                level * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate)));
    return out;
}

std::vector<unsigned char> Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class StrokeKit : public ::testing::Test {
protected:
    // Writes interleaved frames with libsndfile.
    fs::path Write(const std::string& name, int rate, int channels, int format,
                   const std::vector<float>& interleaved) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        const fs::path file = dir / name;
        SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
        EXPECT_NE(out, nullptr) << sf_strerror(nullptr);
        sf_writef_float(out, interleaved.data(),
                        static_cast<sf_count_t>(interleaved.size() / channels));
        sf_close(out);
        return file;
    }
    // The file as loaded: its samples, empty when it did not load.
    std::vector<std::int16_t> Load(const fs::path& file) {
        image.clear();
        if (!LoadStrokeFile(file, image, sink))
            return {};
        EXPECT_EQ(GetLe32(image, 24), 22050u);
        EXPECT_EQ(GetLe16(image, 22), 1u);
        EXPECT_EQ(GetLe32(image, 40), image.size() - 44);
        return SamplesOf(std::span(image).subspan(44));
    }
    std::vector<std::string> Texts() const { return test::Texts(sink); }

    TempDir folder;
    const fs::path& dir = folder.Path();
    std::vector<unsigned char> image;
    RecordingMessageSink sink;
};

} // namespace

TEST(StrokeKitNames, SoundIdsComeFromTheStartOfTheNameAndBankFilesFromThePrimaryNames) {
    const std::pair<const char*, int> ids[] = {{"12 Na.wav", 12}, {"dir/3.flac", 3},
                                               {"07 Ki.wav", 7},  {"5th take.wav", 5},
                                               {"123 x.wav", -1}, {"Na.wav", -1}};
    for (const auto& [name, id] : ids)
        EXPECT_EQ(KitFileSoundId(name), id) << name;
    const std::pair<SoundId, const char*> names[] = {{0, "0 Silence.wav"}, {1, "1 Pressed Ge.wav"},
                                                     {9, "9 Thap1.wav"},   {11, "11 Kat.wav"},
                                                     {15, "15 Ti.wav"},    {29, "29 Dhin.wav"}};
    for (const auto& [id, name] : names)
        EXPECT_EQ(StrokeFileName(id), name);
}

TEST_F(StrokeKit, StereoAt44100BecomesMonoAt22050OfTheSameDurationAndLevel) {
    const auto file = Write("12 Na.wav", 44100, 2, kWav16, Sine(44100, 44100, 2, 441.0, 0.5));
    const auto samples = Load(file);
    ASSERT_EQ(samples.size(), 22050u);
    // A half-scale sine is levelled to a peak of 14600, an RMS of 14600 / sqrt 2.
    double sum = 0.0;
    for (std::size_t i = 1000; i < 21000; ++i)
        sum += static_cast<double>(samples[i]) * samples[i];
    EXPECT_NEAR(std::sqrt(sum / 20000), 14600.0 / std::sqrt(2.0), 150.0);
    // Still 441 Hz: every 50 samples at 22050 Hz is one period.
    EXPECT_NEAR(samples[5000 + 50], samples[5000], 200);

    // An odd length rounds to the nearest sample: 4411 frames are 2205.5.
    Write("12 Na.wav", 44100, 2, kWav16, Sine(4411, 44100, 2, 441.0, 0.5));
    EXPECT_EQ(Load(file).size(), 2206u);
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(StrokeKit, ChannelsAreAveragedOtherFormatsConvertedAndTheOwnFormatTakenExactly) {
    // Opposite 100 Hz sines cancel; what is left is the 50 Hz both carry.
    std::vector<float> opposite;
    const auto low = Sine(4800, 48000, 1, 50.0, 0.2);
    for (const float value : Sine(4800, 48000, 1, 100.0, 0.7)) {
        const float common = low[opposite.size() / 2];
        opposite.push_back(value + common);
        opposite.push_back(-value + common);
    }
    const auto samples =
        Load(Write("3 Ge.flac", 48000, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, opposite));
    ASSERT_EQ(samples.size(), 2205u);
    for (std::size_t i = 50; i < 1900; i += 37)
        EXPECT_NEAR(samples[i], 14600.0 * std::sin(2.0 * std::numbers::pi * 50.0 * i / 22050.0),
                    150.0)
            << i;

    CSampleBank bank;
    const auto builtIn = bank.StrokeImage(7);
    std::ofstream(dir / "7 Ki.wav", std::ios::binary)
        .write(reinterpret_cast<const char*>(builtIn.data()),
               static_cast<std::streamsize>(builtIn.size()));
    Load(dir / "7 Ki.wav");
    EXPECT_TRUE(std::equal(image.begin(), image.end(), builtIn.begin(), builtIn.end()));
}

TEST_F(StrokeKit, LongFilesAreCutAtThirtySecondsWithAWarning) {
    EXPECT_EQ(
        Load(Write("14 Tin.wav", 8000, 1, kWav16, std::vector<float>(31 * 8000, 0.1f))).size(),
        30u * 22050);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].kind, MessageKind::Warning);
}

TEST_F(StrokeKit, AFolderReplacesWhatItHasAndSaysWhatItSkips) {
    Write("12 Na.wav", 22050, 1, kWav16, std::vector<float>(200, 0.25f));
    Write("12 Na again.wav", 22050, 1, kWav16, std::vector<float>(100, 0.25f));
    Write("3 Open Ge.flac", 44100, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
          std::vector<float>(400, -0.5f));
    Write("0 Silence.wav", 22050, 1, kWav16, std::vector<float>(10, 0.0f));
    Write("40 Nothing.wav", 22050, 1, kWav16, {0.1f});
    std::ofstream(dir / "5 Broken.wav") << "not a sound file";
    std::ofstream(dir / "README.txt") << "my kit";

    CSampleBank bank;
    const StrokeKitResult result = LoadStrokeKit(bank, dir, sink);
    EXPECT_TRUE(result.folderRead);
    EXPECT_EQ(result.replaced, (std::vector<SoundId>{3, 12}));
    // "12 Na.wav" is named as the bank names sound 12, so it wins over the
    // other file, which comes first in name order.
    EXPECT_EQ(bank.StrokeImage(12).size(), 44u + 400);
    EXPECT_EQ(bank.StrokeImage(3).size(), 44u + 400);
    const auto ge = SamplesOf(bank.StrokeImage(3).subspan(44));
    EXPECT_NEAR(*std::min_element(ge.begin(), ge.end()), -14600, 50);
    EXPECT_FALSE(bank.IsReplaced(5));
    EXPECT_FALSE(bank.IsReplaced(0));
    EXPECT_EQ(result.notUsed.size(), 4u);

    // One warning names the files not used (the silent "0 Silence.wav" is no
    // problem).
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].substr(0, texts[0].find("\n5 Broken.wav: ")),
              "Files of the stroke kit " + dir.string() +
                  " not used:\n12 Na again.wav: a second file for sound 12 (12 Na.wav is used)"
                  "\n40 Nothing.wav: the name does not start with a sound id from 1 to 29");
}

TEST_F(StrokeKit, TheSilenceStaysSilentAndAMissingFolderIsAnError) {
    Write("0 Boom.wav", 22050, 1, kWav16, std::vector<float>(10, 0.5f));
    CSampleBank bank;
    EXPECT_TRUE(LoadStrokeKit(bank, dir, sink).replaced.empty());
    EXPECT_FALSE(LoadStrokeKit(bank, "/nonexistent/kit", sink).folderRead);
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(texts[0].ends_with("\n0 Boom.wav: sound 0 is the silence and cannot be replaced"));
    EXPECT_TRUE(texts[1].starts_with("Cannot open the stroke kit folder /nonexistent/kit"));
    EXPECT_EQ(sink.Messages()[1].kind, MessageKind::Error);
}

TEST_F(StrokeKit, TheBankWritesTheThirtyStrokesInUseAndReadsBackTheSame) {
    // Every built-in stroke, and one within the same bounds, reads back sample
    // for sample: trimming, levelling and fading leave them alone.
    for (const BuiltInKit kit : {BuiltInKit::Synthesised, BuiltInKit::Recorded}) {
        if (!HasBuiltInKit(kit))
            continue;
        CSampleBank bank(kit);
        std::vector<std::int16_t> shaped{14600, -7000, 3000};
        shaped.resize(200);
        ASSERT_TRUE(bank.ReplaceStroke(20, StrokeImage(shaped)));
        const fs::path kitDir = dir / (kit == BuiltInKit::Recorded ? "recorded" : "synthesised");
        ASSERT_TRUE(WriteStrokeBank(bank, kitDir, sink));
        EXPECT_EQ(std::distance(fs::directory_iterator(kitDir), fs::directory_iterator()), 30);
        CSampleBank fresh(kit == BuiltInKit::Recorded ? BuiltInKit::Synthesised
                                                      : BuiltInKit::Recorded);
        EXPECT_EQ(LoadStrokeKit(fresh, kitDir, sink).replaced.size(), 29u);
        EXPECT_TRUE(sink.Messages().empty());
        for (SoundId id = 0; id < kSoundCount; ++id) {
            const auto written = Slurp(kitDir / StrokeFileName(id));
            const auto expected = bank.StrokeImage(id);
            EXPECT_TRUE(std::ranges::equal(written, expected)) << id;
            if (id != 0) {
                EXPECT_TRUE(std::ranges::equal(fresh.StrokeImage(id), expected)) << id;
            }
        }
    }

    std::ofstream(dir / "file") << "x";
    EXPECT_FALSE(WriteStrokeBank(CSampleBank(), dir / "file" / "kit", sink));
    EXPECT_EQ(sink.Messages().size(), 1u);
}
