// Stroke kits: files named by sound id, converted at load to 16-bit mono at
// 22050 Hz, and the bank written out as a kit.

#include "AudioTestSupport.h"

#include "audio/StrokeKit.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <random>

using namespace lorvanta;
using namespace lorvanta::test;
namespace fs = std::filesystem;

namespace {

// Writes interleaved frames with libsndfile.
void WriteSound(const fs::path& file, int rate, int channels, int format,
                const std::vector<float>& interleaved) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
    sf_writef_float(out, interleaved.data(),
                    static_cast<sf_count_t>(interleaved.size() / channels));
    sf_close(out);
}

std::vector<float> Sine(std::size_t frames, int rate, int channels, double hz, double level) {
    std::vector<float> out;
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            out.push_back(static_cast<float>(
                level * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate)));
    return out;
}

double Rms(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i)
        sum += static_cast<double>(samples[i]) * samples[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

std::vector<std::string> Texts(const RecordingMessageSink& sink) {
    std::vector<std::string> texts;
    for (const auto& message : sink.Messages())
        texts.push_back(message.text);
    return texts;
}

} // namespace

TEST(StrokeKitNames, SoundIdsComeFromTheStartOfTheName) {
    EXPECT_EQ(KitFileSoundId("12 Na.wav"), 12);
    EXPECT_EQ(KitFileSoundId("dir/3.flac"), 3);
    EXPECT_EQ(KitFileSoundId("07 Ki.wav"), 7);
    EXPECT_EQ(KitFileSoundId("5th take.wav"), 5);
    EXPECT_EQ(KitFileSoundId("123 x.wav"), -1);
    EXPECT_EQ(KitFileSoundId("Na.wav"), -1);
}

TEST(StrokeKitNames, BankFilesAreNamedByThePrimaryNames) {
    EXPECT_EQ(StrokeFileName(0), "0 Silence.wav");
    EXPECT_EQ(StrokeFileName(1), "1 Pressed Ge.wav");
    EXPECT_EQ(StrokeFileName(7), "7 Ki.wav");
    EXPECT_EQ(StrokeFileName(9), "9 Thap1.wav");
    EXPECT_EQ(StrokeFileName(11), "11 Kat.wav");
    EXPECT_EQ(StrokeFileName(15), "15 Ti.wav");
    EXPECT_EQ(StrokeFileName(29), "29 Dhin.wav");
}

TEST(StrokeKitLoading, StereoAt44100BecomesMonoAt22050OfTheSameDuration) {
    TempFolder folder;
    const fs::path file = folder.Path() / "12 Na.wav";
    WriteSound(file, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, Sine(44100, 44100, 2, 441.0, 0.5));
    std::vector<unsigned char> image;
    RecordingMessageSink sink;
    ASSERT_TRUE(LoadStrokeFile(file, image, sink));
    ASSERT_EQ(image.size(), 44u + 2 * 22050);
    EXPECT_EQ(GetLe32(image, 24), 22050u);
    EXPECT_EQ(GetLe16(image, 22), 1u);
    EXPECT_EQ(GetLe32(image, 40), 44100u);
    const auto samples = SamplesOf(std::span(image).subspan(44));
    // Level kept: a half-scale sine has an RMS of 0.5 / sqrt 2 of full scale.
    EXPECT_NEAR(Rms(samples, 1000, 21000), 0.5 / std::sqrt(2.0) * 32768.0, 150.0);
    // Still 441 Hz: every 50 samples at 22050 Hz is one period.
    EXPECT_NEAR(samples[5000 + 50], samples[5000], 200);

    // An odd length rounds to the nearest sample: 4411 frames are 2205.5.
    WriteSound(file, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, Sine(4411, 44100, 2, 441.0, 0.5));
    ASSERT_TRUE(LoadStrokeFile(file, image, sink));
    EXPECT_EQ(image.size(), 44u + 2 * 2206);
    EXPECT_TRUE(sink.Messages().empty());
}

TEST(StrokeKitLoading, ChannelsAreAveragedAndOtherFormatsConverted) {
    TempFolder folder;
    const fs::path file = folder.Path() / "3 Ge.flac";
    std::vector<float> opposite;
    for (float value : Sine(4800, 48000, 1, 100.0, 0.8)) {
        opposite.push_back(value);
        opposite.push_back(-value);
    }
    WriteSound(file, 48000, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, opposite);
    std::vector<unsigned char> image;
    RecordingMessageSink sink;
    ASSERT_TRUE(LoadStrokeFile(file, image, sink));
    ASSERT_EQ(image.size(), 44u + 2 * 2205);
    const auto samples = SamplesOf(std::span(image).subspan(44));
    EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](auto s) { return s == 0; }));
}

TEST(StrokeKitLoading, SixteenBitMonoAt22050IsTakenExactly) {
    TempFolder folder;
    const fs::path file = folder.Path() / "7 Ki.wav";
    CSampleBank bank;
    const auto builtIn = bank.StrokeImage(7);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(builtIn.data()),
               static_cast<std::streamsize>(builtIn.size()));
    std::vector<unsigned char> image;
    RecordingMessageSink sink;
    ASSERT_TRUE(LoadStrokeFile(file, image, sink));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), builtIn.begin(), builtIn.end()));
}

TEST(StrokeKitLoading, LongFilesAreCutAtThirtySeconds) {
    TempFolder folder;
    const fs::path file = folder.Path() / "14 Tin.wav";
    WriteSound(file, 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
               std::vector<float>(31 * 8000, 0.1f));
    std::vector<unsigned char> image;
    RecordingMessageSink sink;
    ASSERT_TRUE(LoadStrokeFile(file, image, sink));
    EXPECT_EQ(image.size(), 44u + 2 * 30 * 22050);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].kind, MessageKind::Warning);
}

TEST(StrokeKitLoading, AFolderReplacesWhatItHasAndSaysWhatItSkips) {
    TempFolder folder;
    const fs::path& dir = folder.Path();
    WriteSound(dir / "12 Na.wav", 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
               std::vector<float>(100, 0.25f));
    WriteSound(dir / "12 Na again.wav", 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
               std::vector<float>(50, 0.25f));
    WriteSound(dir / "3 Open Ge.flac", 44100, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
               std::vector<float>(400, -0.5f));
    WriteSound(dir / "0 Silence.wav", 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
               std::vector<float>(10, 0.0f));
    WriteSound(dir / "40 Nothing.wav", 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, {0.1f});
    std::ofstream(dir / "5 Broken.wav") << "not a sound file";
    std::ofstream(dir / "README.txt") << "my kit";

    CSampleBank bank;
    RecordingMessageSink sink;
    const StrokeKitResult result = LoadStrokeKit(bank, dir, sink);
    EXPECT_TRUE(result.folderRead);
    EXPECT_EQ(result.replaced, (std::vector<SoundId>{3, 12}));
    // Files are taken in name order: "12 Na again.wav" comes before "12 Na.wav".
    EXPECT_EQ(bank.StrokeImage(12).size(), 44u + 100);
    EXPECT_EQ(bank.StrokeImage(3).size(), 44u + 400);
    EXPECT_EQ(SamplesOf(bank.StrokeImage(3).subspan(44))[100], -16384);
    EXPECT_FALSE(bank.IsReplaced(5));
    EXPECT_FALSE(bank.IsReplaced(0));
    EXPECT_EQ(result.notUsed.size(), 4u);

    const auto texts = Texts(sink);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0],
              "Two stroke files for sound 12: " + (dir / "12 Na.wav").string() + " is not used");
    EXPECT_EQ(texts[1], "Stroke file " + (dir / "40 Nothing.wav").string() +
                            " does not start with a sound id from 1 to 29 and is not used");
    EXPECT_TRUE(texts[2].starts_with("Cannot read stroke file " + (dir / "5 Broken.wav").string()));
}

TEST(StrokeKitLoading, TheSilenceStaysSilent) {
    TempFolder folder;
    WriteSound(folder.Path() / "0 Boom.wav", 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
               std::vector<float>(10, 0.5f));
    CSampleBank bank;
    RecordingMessageSink sink;
    EXPECT_TRUE(LoadStrokeKit(bank, folder.Path(), sink).replaced.empty());
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_TRUE(sink.Messages()[0].text.starts_with("Sound 0 is the silence"));
}

TEST(StrokeKitLoading, AMissingFolderIsAnError) {
    CSampleBank bank;
    RecordingMessageSink sink;
    const StrokeKitResult result = LoadStrokeKit(bank, "/nonexistent/kit", sink);
    EXPECT_FALSE(result.folderRead);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].kind, MessageKind::Error);
    EXPECT_TRUE(
        sink.Messages()[0].text.starts_with("Cannot open the stroke kit folder /nonexistent/kit"));
}

TEST(StrokeBankWriting, WritesTheThirtyStrokesInUseAndReadsBackTheSame) {
    TempFolder folder;
    CSampleBank bank;
    RecordingMessageSink sink;
    ASSERT_TRUE(bank.ReplaceStroke(20, StrokeImage({1, -1, 2})));
    ASSERT_TRUE(WriteStrokeBank(bank, folder.Path() / "kit", sink));
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder.Path() / "kit")) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 30u);
    for (SoundId id = 0; id < kSoundCount; ++id) {
        std::ifstream in(folder.Path() / "kit" / StrokeFileName(id), std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
        const auto expected = bank.StrokeImage(id);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), expected.begin(), expected.end())) << id;
    }

    // Loaded back as a kit, it changes nothing audible.
    CSampleBank fresh;
    const StrokeKitResult result = LoadStrokeKit(fresh, folder.Path() / "kit", sink);
    EXPECT_EQ(result.replaced.size(), 29u);
    EXPECT_TRUE(sink.Messages().empty());
    for (SoundId id = 0; id < kSoundCount; ++id) {
        const auto a = fresh.StrokeImage(id);
        const auto b = bank.StrokeImage(id);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << id;
    }
}

TEST(StrokeBankWriting, AFolderThatCannotBeMadeIsReported) {
    TempFolder folder;
    std::ofstream(folder.Path() / "file") << "x";
    CSampleBank bank;
    RecordingMessageSink sink;
    EXPECT_FALSE(WriteStrokeBank(bank, folder.Path() / "file" / "kit", sink));
    ASSERT_EQ(sink.Messages().size(), 1u);
}
