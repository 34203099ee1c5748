// Stroke kits loaded from folders and written out, the kit choices, and
// lorvanta-cli render and bank run as the built program.

#include "AudioTestSupport.h"

#include "audio/TaalRenderer.h"
#include "persistence/TaalFile.h"
#include "soundfiles/StrokeKit.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <numbers>
#include <sys/resource.h>

using namespace lorvanta;
using namespace lorvanta::test;
namespace fs = std::filesystem;

namespace {

std::vector<float> Sine(std::size_t frames, int rate, int channels, double hz, double level) {
    std::vector<float> out;
    for (std::size_t i = 0; i < frames * channels; ++i)
        out.push_back(
            static_cast<float>(level * std::sin(2.0 * std::numbers::pi * hz *
                                                static_cast<double>(i / channels) / rate)));
    return out;
}

int Peak(const std::vector<std::int16_t>& samples) {
    return std::abs(*std::ranges::max_element(samples, {}, [](int s) { return std::abs(s); }));
}

class StrokeKit : public ::testing::Test {
protected:
    // Writes interleaved frames with libsndfile.
    fs::path Write(const std::string& name, const std::vector<float>& interleaved, int rate = 22050,
                   int channels = 1, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
        SF_INFO info{0, rate, channels, format, 0, 0};
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
        std::vector<unsigned char> image;
        if (!LoadStrokeFile(file, image, sink))
            return {};
        EXPECT_TRUE(std::ranges::equal(std::span(image).first(44),
                                       MakeWaveHeader(22050, GetLe32(image, 40))));
        return SamplesOf(std::span(image).subspan(44));
    }
    std::vector<std::int16_t> Stroke(SoundId id) const {
        return SamplesOf(bank.StrokeImage(id).subspan(44));
    }

    int Run(const std::string& args) { return RunCli(LORVANTA_CLI, args, dir, err); }
    std::string Path(const std::string& name) const { return "'" + (dir / name).string() + "'"; }
    std::vector<unsigned char> Written(const std::string& name) const { return Slurp(dir / name); }

    // Saves a Taal file of these bols with this default tempo.
    std::string SaveTaal(const std::vector<BolSpec>& specs, float defaultTempo = 100.0f) {
        CLorvantaDoc doc;
        FillTaal(doc.Taal(), specs);
        doc.Taal().Recalculate(-1);
        doc.SetEmpty(specs.empty());
        doc.Params().defaultTempo = defaultTempo;
        SaveFailure error;
        EXPECT_TRUE(SaveTaalFile(doc, dir / "taal.tal", error)) << error.reason;
        return Path("taal.tal");
    }
    // What render writes for the two bols (at this default tempo) with these
    // options.
    std::vector<unsigned char> Rendered(const std::string& options, float defaultTempo = 100.0f) {
        EXPECT_EQ(
            Run("render " + SaveTaal(twoBols, defaultTempo) + " -o " + Path("r.wav") + options), 0)
            << options << ": " << err;
        return Written("r.wav");
    }

    // The image the program builds for these bols at 100 bpm, this pitch,
    // these levels and this stroke style, with the default kit.
    std::vector<unsigned char> ProgramImage(float factor, const DrumLevels& levels = {},
                                            const StrokeStyle& style = kDefaultStrokeStyle) {
        CTaal taal;
        FillTaal(taal, twoBols);
        CSampleBank defaultKit(DefaultBuiltInKit());
        CTaalRenderer renderer(taal, defaultKit, sink);
        renderer.SetPitch(factor);
        renderer.SetDrumLevels(levels);
        renderer.SetStrokeStyle(style);
        renderer.SetTempo(0.6f);
        renderer.InitialUpdate();
        renderer.BuildTaalImage();
        std::vector<unsigned char> bytes(static_cast<std::size_t>(renderer.ImageSize()));
        renderer.Image().CopyBytes(0, bytes);
        return bytes;
    }

    TempDir folder;
    const fs::path& dir = folder.Path();
    CSampleBank bank;
    RecordingMessageSink sink;
    std::string err;
    const std::vector<BolSpec> twoBols{{1.0f, 12, 3, 3.0f, 0.0f}, {0.5f, 7, 0}};
};

} // namespace

TEST(StrokeKitNames, SoundIdsComeFromTheStartOfTheNameAndBankFilesFromThePrimaryNames) {
    const std::pair<const char*, int> ids[] = {{"12 Na.wav", 12}, {"dir/3.flac", 3},
                                               {"07 Ki.wav", 7},  {"5th take.wav", 5},
                                               {"123 x.wav", -1}, {"Na.wav", -1}};
    for (const auto& [name, id] : ids)
        EXPECT_EQ(KitFileSoundId(name), id) << name;
    EXPECT_EQ(StrokeFileName(0), "0 Silence.wav");
    EXPECT_EQ(StrokeFileName(29), "29 Dhin.wav");
}

TEST_F(StrokeKit, OtherRatesChannelsAndFormatsBecomeMonoAt22050OfTheSameDurationAndLevel) {
    const auto samples = Load(Write("12 Na.wav", Sine(44100, 44100, 2, 441.0, 0.5), 44100, 2));
    ASSERT_EQ(samples.size(), 22050u);
    // A half-scale sine is levelled to a peak of 14600, still at 441 Hz: every
    // 50 samples at 22050 Hz is one period.
    EXPECT_NEAR(Peak(samples), 14600, 30);
    EXPECT_NEAR(samples[5000 + 50], samples[5000], 200);
    const auto flac = Write("3 Ge.flac", Sine(4800, 48000, 1, 50.0, 0.5), 48000, 1,
                            SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    EXPECT_EQ(Load(flac).size(), 2205u);
    EXPECT_TRUE(sink.Messages().empty());
    // Long files are cut at six seconds, with a warning.
    EXPECT_EQ(Load(Write("14 Tin.wav", std::vector<float>(7 * 8000, 0.1f), 8000)).size(),
              6u * 22050);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_NE(sink.Messages()[0].text.find("longer than 6 seconds"), std::string::npos);
}

// A long file at the highest rate costs no more than a stroke can use: its
// first six seconds, brought down by halving before the converter, still at
// its pitch and level; a kit's files are read side by side, telling progress.
TEST_F(StrokeKit, AHighRateLongFileIsReadOnlyAsFarAsAStrokeUses) {
    constexpr int kRate = 384000;
    Write("12 Na.wav", Sine(10 * kRate, kRate, 1, 1102.5, 0.5), kRate, 1);
    Write("13 Ta.wav", Sine(2205, 22050, 1, 441.0, 0.5));
    std::vector<std::pair<std::size_t, std::size_t>> steps;
    const StrokeKitResult result =
        LoadStrokeKit(bank, dir, sink, [&](std::size_t done, std::size_t total) {
            steps.emplace_back(done, total);
        });
    EXPECT_EQ(result.replaced, (std::vector<SoundId>{12, 13}));
    // Files done so far, never fewer than before, from none to both.
    ASSERT_GE(steps.size(), 2u);
    using Step = std::pair<std::size_t, std::size_t>;
    EXPECT_EQ(steps.front(), Step(0, 2));
    EXPECT_EQ(steps.back(), Step(2, 2));
    EXPECT_TRUE(std::ranges::is_sorted(steps));
    const auto na = Stroke(12);
    ASSERT_EQ(na.size(), 6u * 22050);
    EXPECT_NEAR(Peak(na), 14600, 60);
    // 1102.5 Hz: one period every 20 samples, in the middle as at the start.
    for (const std::size_t at : {1000u, 66000u})
        EXPECT_NEAR(na[at + 20], na[at], 300) << at;
    // The files cut short are named in one warning, however many they are.
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].kind, MessageKind::Warning);
    EXPECT_EQ(sink.Messages()[0].text, "Files of the stroke kit " + dir.string() +
                                           " longer than 6 seconds; only their first 6 seconds "
                                           "are used:\n12 Na.wav");
}

TEST_F(StrokeKit, FolderStrokesAreTrimmedLevelledAndFaded) {
    // 100 ms of silence, then a stroke at full scale that stops dead.
    std::vector<float> loud(2205, 0.0f), soft;
    for (int i = 0; i < 4410; ++i) {
        loud.push_back(static_cast<float>(std::sin(i * 0.3) * std::exp(-i / 3000.0)));
        // A soft stroke, quiet, ending in silence: only levelled.
        soft.push_back(static_cast<float>(0.05 * std::sin(i * 0.2) * std::exp(-i / 300.0)));
    }
    Write("12 Na.wav", loud);
    Write("27 Soft Din.wav", soft);
    ASSERT_EQ(LoadStrokeKit(bank, dir, sink).replaced, (std::vector<SoundId>{12, 27}));
    EXPECT_TRUE(sink.Messages().empty());

    // The attack (the first sample at 1% of the peak) 1 ms in, at sample 22.
    const auto na = Stroke(12);
    ASSERT_EQ(na.size(), 21u + 4410);
    EXPECT_EQ(std::pair(na[21], na[22] > 0), std::pair(std::int16_t{0}, true));
    EXPECT_NEAR(Peak(na), 14600, 2);
    EXPECT_EQ(na.back(), 0);
    EXPECT_LT(std::abs(na[na.size() - 20]), 100);
    EXPECT_EQ(Stroke(27).size(), 4410u);
    EXPECT_NEAR(Peak(Stroke(27)), 7300, 2);
}

TEST_F(StrokeKit, UnusableFilesAreNamedInOneWarningAndTheExactNameWins) {
    Write("12 Na.wav", std::vector<float>(300, 0.3f));
    Write("12 Na take 2.wav", std::vector<float>(200, 0.3f));
    std::ofstream(dir / "5 Tun.wav");
    Write("40 Nothing.wav", {0.1f});
    Write("0 Boom.wav", std::vector<float>(10, 0.5f));
    std::ofstream(dir / "README.txt") << "my kit";
    const StrokeKitResult result = LoadStrokeKit(bank, dir, sink);
    EXPECT_TRUE(result.folderRead);
    EXPECT_EQ(result.replaced, std::vector<SoundId>{12});
    EXPECT_EQ(Stroke(12).size(), 300u);
    EXPECT_EQ(result.notUsed.size(), 4u);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].kind, MessageKind::Warning);
    const std::string& text = sink.Messages()[0].text;
    EXPECT_TRUE(text.starts_with("Files of the stroke kit " + dir.string() + " not used:\n"));
    for (const char* line : {"\n12 Na take 2.wav: a second file for sound 12 (12 Na.wav is used)",
                             "\n5 Tun.wav: the file is empty",
                             "\n40 Nothing.wav: the name does not start with a sound id",
                             "\n0 Boom.wav: sound 0 is the silence and cannot be replaced"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
}

// A file that cannot even be looked at (a link to itself) and a name with a
// newline in it are named in the one warning, the newline escaped; nothing is
// thrown, here or in the commands that take the kit.
TEST_F(StrokeKit, BadLinksAndControlCharactersAreNamedInTheWarning) {
    Write("13 Ta.wav", std::vector<float>(300, 0.3f));
    fs::create_symlink("12 Na.wav", dir / "12 Na.wav");
    Write("99\n12 Na.wav", std::vector<float>(300, 0.3f));
    const StrokeKitResult result = LoadStrokeKit(bank, dir, sink);
    EXPECT_EQ(result.replaced, std::vector<SoundId>{13});
    EXPECT_EQ(result.notUsed.size(), 2u);
    ASSERT_EQ(sink.Messages().size(), 1u);
    const std::string& text = sink.Messages()[0].text;
    for (const char* line : {"\n12 Na.wav: Too many levels of symbolic links",
                             "\n99\\n12 Na.wav: the name does not start with a sound id"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    EXPECT_EQ(std::ranges::count(text, '\n'), 2);
    EXPECT_EQ(Run("bank " + Path("out") + " --kit " + Path("")), 0) << err;
    EXPECT_NE(err.find("12 Na.wav: Too many levels"), std::string::npos) << err;
    EXPECT_EQ(Run("render " + SaveTaal(twoBols) + " -o " + Path("x.wav") + " --kit " + Path("")), 0)
        << err;
}

// Files may grow to a few kilobytes while one lives, as on a nearly full disk;
// a write past it fails with "File too large" (the signal ignored), here and
// in the commands run from here.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) : m_signal(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit limit{bytes, m_old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_signal);
    }
    void (*m_signal)(int);
    rlimit m_old{};
};

TEST_F(StrokeKit, AFullDiskIsNamedAsSuchAndTheBankWritesAllOrNothing) {
    const std::string taal = SaveTaal(twoBols);
    const std::string reason = std::strerror(EFBIG);
    {
        const FileSizeLimit limit(4096);
        EXPECT_FALSE(WriteStrokeBank(CSampleBank(BuiltInKit::Synthesised), dir / "kit", sink));
        for (const char* name : {"x.wav", "x.flac"}) {
            EXPECT_EQ(Run("render " + taal + " -o " + Path(name) + " --tempo 10"), 2) << name;
            EXPECT_EQ(err,
                      "Cannot write sound file " + (dir / name).string() + ": " + reason + "\n");
        }
    }
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_TRUE(sink.Messages()[0].text.ends_with(": " + reason)) << sink.Messages()[0].text;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "kit"), fs::directory_iterator()), 0);
}

TEST_F(StrokeKit, TheBankWritesTheThirtyStrokesInUseAndReadsBackTheSame) {
    // Every built-in stroke reads back sample for sample: trimming, levelling
    // and fading leave a stroke already in shape alone.
    for (const BuiltInKit kit : {BuiltInKit::Synthesised, BuiltInKit::Recorded}) {
        if (!HasBuiltInKit(kit))
            continue;
        CSampleBank source(kit);
        const fs::path kitDir = dir / std::to_string(static_cast<int>(kit));
        ASSERT_TRUE(WriteStrokeBank(source, kitDir, sink));
        EXPECT_EQ(std::distance(fs::directory_iterator(kitDir), fs::directory_iterator()), 30);
        CSampleBank fresh(kit == BuiltInKit::Recorded ? BuiltInKit::Synthesised
                                                      : BuiltInKit::Recorded);
        EXPECT_EQ(LoadStrokeKit(fresh, kitDir, sink).replaced.size(), 29u);
        EXPECT_TRUE(sink.Messages().empty());
        for (SoundId id = 0; id < kSoundCount; ++id) {
            const auto expected = source.StrokeImage(id);
            EXPECT_TRUE(std::ranges::equal(Slurp(kitDir / StrokeFileName(id)), expected)) << id;
            EXPECT_TRUE(id == 0 || std::ranges::equal(fresh.StrokeImage(id), expected)) << id;
        }
    }
    std::ofstream(dir / "file") << "x";
    EXPECT_FALSE(WriteStrokeBank(CSampleBank(), dir / "file" / "kit", sink));
}

TEST_F(StrokeKit, KitChoicesReadBackAndTheDefaultIsTheRecordedKitWhenBuilt) {
    const bool recorded = HasBuiltInKit(BuiltInKit::Recorded);
    EXPECT_EQ(DefaultBuiltInKit(), recorded ? BuiltInKit::Recorded : BuiltInKit::Synthesised);
    EXPECT_EQ(ParseKitChoice("recorded").has_value(), recorded);
    EXPECT_EQ(KitChoiceText(*ParseKitChoice("synthesised")), "synthesised");
    EXPECT_EQ(ParseKitChoice("./recorded")->folder, "./recorded");
    // Applying a choice drops the replacements a folder made before.
    Write("12 Na.wav", std::vector<float>(300, 0.3f));
    EXPECT_EQ(ApplyKitChoice(bank, {BuiltInKit::Synthesised, dir}, sink).replaced,
              std::vector<SoundId>{12});
    ApplyKitChoice(bank, {BuiltInKit::Synthesised, {}}, sink);
    EXPECT_FALSE(bank.IsReplaced(12));
}

TEST_F(StrokeKit, RenderWavIsTheImageByteForByteWithTheFilesTempoByDefault) {
    const auto up = Rendered(" --tempo 100 --pitch 1"); // a semitone up: the rate of the image
    EXPECT_EQ(GetLe32(up, 24), 23361u);
    EXPECT_EQ(up, ProgramImage(1.0594631f));
    EXPECT_EQ(Rendered(" --treble-level -12.5 --bass-level off --master-level 3"),
              ProgramImage(1.0f, {{-12.5f}, {0.0f, true}, {3.0f}}));
    // Cut at the next bol, not humanised: the image as it always was.
    const auto cut = Rendered(" --ring cut --humanise 0");
    EXPECT_EQ(cut, ProgramImage(1.0f, {}, {}));
    EXPECT_NE(cut, ProgramImage(1.0f));
    // Without --tempo, the file's; out of range there, the default just below 100 bpm.
    EXPECT_EQ(Rendered("", 120.0f).size(), 44u + 2 * (11025 + 5512));
    EXPECT_EQ(Rendered("", 5.0f).size(), 39734u);
}

// --rate converts the cycle to a usual rate with the best converter: the
// header says the rate, the length follows it (rounded up: 97 bpm makes a
// cycle no whole number of converted samples), and a tone stays a tone.
TEST_F(StrokeKit, RenderConvertsToTheRateAsked) {
    const std::vector<unsigned char> image = Rendered(" --tempo 97");
    const std::uint64_t samples = (image.size() - kWaveHeaderSize) / 2;
    for (const std::uint32_t rate : {44100u, 48000u}) {
        const auto written = Rendered(" --tempo 97 --rate " + std::to_string(rate));
        EXPECT_EQ(GetLe32(written, kSampleRateOffset), rate);
        const std::uint64_t expected = (samples * rate + kSampleRate - 1) / kSampleRate;
        EXPECT_EQ((written.size() - kWaveHeaderSize) / 2, expected);
        EXPECT_EQ(GetLe32(written, kDataSizeOffset), 2 * expected);
        // At twice the rate (44.1 kHz) every other sample is close to the image's.
        if (rate == 44100) {
            const auto a = SamplesOf(std::span(image).subspan(kWaveHeaderSize));
            const auto b = SamplesOf(std::span(written).subspan(kWaveHeaderSize));
            double error = 0.0, level = 0.0;
            for (std::size_t n = 100; n + 100 < a.size(); ++n) {
                error += std::abs(static_cast<double>(b[2 * n]) - a[n]);
                level += std::abs(static_cast<double>(a[n]));
            }
            EXPECT_LT(error, 0.02 * level);
        }
    }
}

TEST_F(StrokeKit, RenderWhatItRefusesWritesNothing) {
    const std::string render = "render " + SaveTaal(twoBols) + " -o " + Path("x.wav");
    const std::string tempo =
        "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in bpm)\n";
    const std::string pitch = "Enter a value between -6.0 and 6.0 (number of semitones from C#). "
                              "For example, +1 means D and -2 means B#.\n";
    const std::string humanise = "lorvanta-cli: --humanise needs a percentage from 0 to 100";
    const std::string rate = "lorvanta-cli: --rate needs 44100 or 48000";
    // The whole of stderr when the message ends in a newline, else its start.
    for (const auto& [args, message] :
         {std::pair{" --tempo 9.99", tempo},
          {" --tempo 1000.1", tempo},
          {" --pitch 6.5", pitch},
          {" --ring natural-ish", "lorvanta-cli: --ring needs natural or cut"},
          {" --humanise 100.5", humanise},
          {" --humanise -1", humanise},
          {" --bass-tuning 5.5", "lorvanta-cli: --bass-tuning needs semitones from -5 to 5"},
          {" --rate 96000", rate},
          {" --rate 44100.0", rate}}) {
        EXPECT_EQ(Run(render + args), 64) << args;
        EXPECT_EQ(message.ends_with('\n') ? err : err.substr(0, message.size()), message);
    }
    EXPECT_FALSE(fs::exists(dir / "x.wav"));
    EXPECT_EQ(Run(render + " --tempo 10 --pitch -6"), 0);
    EXPECT_EQ(Run("render " + SaveTaal({}) + " -o " + Path("empty.wav")), 2);
    EXPECT_EQ(err, "You must load a Taal before playing it\n");
    EXPECT_FALSE(fs::exists(dir / "empty.wav"));
}

TEST_F(StrokeKit, BankCommandTakesRecordedSynthesisedOrAFolder) {
    ASSERT_EQ(Run("bank " + Path("kit") + " --kit synthesised"), 0) << err;
    EXPECT_TRUE(std::ranges::equal(Written("kit/12 Na.wav"),
                                   CSampleBank(BuiltInKit::Synthesised).StrokeImage(12)));
    EXPECT_EQ(err, "");
    EXPECT_EQ(Run("bank " + Path("rec") + " --kit recorded"),
              HasBuiltInKit(BuiltInKit::Recorded) ? 0 : 2);
    // A folder: stderr says which sounds came from it.
    for (const fs::directory_entry& entry : fs::directory_iterator(dir / "kit"))
        if (const int id = KitFileSoundId(entry.path()); id != 12 && id != 3)
            fs::remove(entry.path());
    ASSERT_EQ(Run("bank " + Path("copy") + " --kit " + Path("kit")), 0) << err;
    EXPECT_EQ(err, "lorvanta-cli: strokes 3 and 12 from " + (dir / "kit").string() +
                       ", the others the " + KitChoiceText({DefaultBuiltInKit(), {}}) + " kit's\n");
    EXPECT_EQ(Run("bank " + Path("x") + " --kit " + Path("missing")), 2);
    EXPECT_NE(err.find("Cannot open the stroke kit folder"), std::string::npos);
}
