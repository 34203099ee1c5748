// Choosing the strokes: the kit names, folder kits brought to the built-in
// strokes' shape, and --kit on the command line.

#include "AudioTestSupport.h"

#include "audio/StrokeKit.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <sys/wait.h>

using namespace lorvanta;
using namespace lorvanta::test;
namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class KitChoiceTest : public ::testing::Test {
protected:
    fs::path Write(const std::string& name, const std::vector<float>& samples, int rate = 22050) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        const fs::path file = dir / name;
        SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
        EXPECT_NE(out, nullptr) << sf_strerror(nullptr);
        sf_writef_float(out, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(out);
        return file;
    }
    std::vector<std::int16_t> Stroke(SoundId id) const {
        return SamplesOf(bank.StrokeImage(id).subspan(44));
    }
    // lorvanta-cli with these arguments: the exit code; stderr goes to err.
    int Cli(const std::string& args) {
        const fs::path errFile = dir / "stderr";
        const std::string command =
            std::string("'") + LORVANTA_CLI + "' " + args + " 2>'" + errFile.string() + "'";
        const int status = std::system(command.c_str());
        const auto bytes = Slurp(errFile);
        err.assign(bytes.begin(), bytes.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TempDir folder;
    const fs::path& dir = folder.Path();
    CSampleBank bank;
    RecordingMessageSink sink;
    std::string err;
};

int Peak(const std::vector<std::int16_t>& samples) {
    int peak = 0;
    for (const std::int16_t s : samples)
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
}

} // namespace

TEST_F(KitChoiceTest, KitNamesReadBackAndTheDefaultIsTheRecordedKitWhenBuilt) {
    const bool recorded = HasBuiltInKit(BuiltInKit::Recorded);
    EXPECT_EQ(DefaultBuiltInKit(), recorded ? BuiltInKit::Recorded : BuiltInKit::Synthesised);
    EXPECT_EQ(ParseKitChoice("recorded").has_value(), recorded);
    EXPECT_FALSE(ParseKitChoice("").has_value());
    for (const char* text : {"synthesised", "/some/kit", "recorded"}) {
        const auto choice = ParseKitChoice(text);
        if (choice) {
            EXPECT_EQ(KitChoiceText(*choice), text);
        }
    }
    EXPECT_EQ(ParseKitChoice("./recorded")->folder, "./recorded");

    // Applying a choice drops the replacements a folder made before.
    Write("12 Na.wav", std::vector<float>(300, 0.3f));
    EXPECT_EQ(ApplyKitChoice(bank, {BuiltInKit::Synthesised, dir}, sink).replaced,
              std::vector<SoundId>{12});
    EXPECT_TRUE(bank.IsReplaced(12));
    ApplyKitChoice(bank, {BuiltInKit::Synthesised, {}}, sink);
    EXPECT_FALSE(bank.IsReplaced(12));
    EXPECT_EQ(bank.Kit(), BuiltInKit::Synthesised);
    EXPECT_EQ(ReplacedIdsText({3, 12, 20}), "3, 12 and 20");
}

TEST_F(KitChoiceTest, FolderStrokesAreTrimmedLevelledAndFaded) {
    // 100 ms of silence, then a stroke at full scale that stops dead.
    std::vector<float> loud(2205, 0.0f);
    for (int i = 0; i < 4410; ++i)
        loud.push_back(static_cast<float>(std::sin(i * 0.3) * std::exp(-i / 3000.0)));
    Write("12 Na.wav", loud);
    // A soft stroke, quiet, ending in silence: only levelled.
    std::vector<float> soft;
    for (int i = 0; i < 4410; ++i)
        soft.push_back(static_cast<float>(0.05 * std::sin(i * 0.2) * std::exp(-i / 300.0)));
    Write("27 Soft Din.wav", soft);
    // Already within bounds (peak 14600, an attack at once, a silent end): kept
    // sample for sample.
    std::vector<float> kept;
    for (int i = 0; i < 2000; ++i)
        kept.push_back(
            static_cast<float>(14600.0 / 32768.0 * std::cos(i * 0.1) * std::exp(-i / 150.0)));
    Write("3 Open Ge.wav", kept);
    ASSERT_EQ(LoadStrokeKit(bank, dir, sink).replaced, (std::vector<SoundId>{3, 12, 27}));
    EXPECT_TRUE(sink.Messages().empty());

    const auto na = Stroke(12);
    // The attack (the first sample at 1% of the peak) 1 ms in, at sample 22.
    ASSERT_EQ(na.size(), 21u + 4410);
    EXPECT_EQ(na[21], 0);
    EXPECT_GT(na[22], 0);
    EXPECT_NEAR(Peak(na), 14600, 2);
    EXPECT_EQ(na.back(), 0);
    EXPECT_LT(std::abs(na[na.size() - 20]), 100);

    const auto softDin = Stroke(27);
    EXPECT_EQ(softDin.size(), 4410u);
    EXPECT_NEAR(Peak(softDin), 7300, 2);

    const auto ge = Stroke(3);
    for (std::size_t i = 0; i < ge.size(); ++i)
        ASSERT_EQ(ge[i], static_cast<std::int16_t>(std::nearbyint(kept[i] * 32768.0f))) << i;
}

TEST_F(KitChoiceTest, UnusableFilesAreNamedInOneWarningAndTheExactNameWins) {
    Write("12 Na.wav", std::vector<float>(300, 0.3f));
    Write("12 Na take 2.wav", std::vector<float>(200, 0.3f));
    Write("7 Ki.wav", {});
    std::ofstream(dir / "5 Tun.wav");
    std::ofstream(dir / "9 Thap1.flac") << "not a sound file";
    Write("40 Nothing.wav", {0.1f});
    const StrokeKitResult result = LoadStrokeKit(bank, dir, sink);
    EXPECT_EQ(result.replaced, std::vector<SoundId>{12});
    EXPECT_EQ(Stroke(12).size(), 300u);
    EXPECT_EQ(result.notUsed.size(), 5u);

    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].kind, MessageKind::Warning);
    const std::string& text = sink.Messages()[0].text;
    EXPECT_TRUE(text.starts_with("Files of the stroke kit " + dir.string() + " not used:\n"))
        << text;
    for (const char* line :
         {"\n12 Na take 2.wav: a second file for sound 12 (12 Na.wav is used)",
          "\n7 Ki.wav: the file holds no sound", "\n5 Tun.wav: the file is empty",
          "\n9 Thap1.flac: ", "\n40 Nothing.wav: the name does not start with a sound id"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
}

TEST_F(KitChoiceTest, TheCommandLineTakesRecordedSynthesisedOrAFolder) {
    const std::string kit = "'" + (dir / "kit").string() + "'";
    ASSERT_EQ(Cli("bank " + kit + " --kit synthesised"), 0) << err;
    EXPECT_TRUE(std::ranges::equal(Slurp(dir / "kit" / "12 Na.wav"),
                                   CSampleBank(BuiltInKit::Synthesised).StrokeImage(12)));
    // Without --kit the default kit is written.
    ASSERT_EQ(Cli("bank '" + (dir / "default").string() + "'"), 0) << err;
    EXPECT_TRUE(std::ranges::equal(Slurp(dir / "default" / "12 Na.wav"),
                                   CSampleBank(DefaultBuiltInKit()).StrokeImage(12)));
    EXPECT_EQ(err, "");
    const int recorded = Cli("bank '" + (dir / "rec").string() + "' --kit recorded");
    if (HasBuiltInKit(BuiltInKit::Recorded)) {
        EXPECT_EQ(recorded, 0);
        EXPECT_TRUE(std::ranges::equal(Slurp(dir / "rec" / "29 Dhin.wav"),
                                       CSampleBank(BuiltInKit::Recorded).StrokeImage(29)));
    } else {
        EXPECT_EQ(recorded, 2);
        EXPECT_NE(err.find("no recorded kit"), std::string::npos);
    }

    // A folder: stderr says which sounds came from it.
    fs::remove(dir / "kit" / "0 Silence.wav");
    for (const fs::directory_entry& entry : fs::directory_iterator(dir / "kit")) {
        if (KitFileSoundId(entry.path()) != 12 && KitFileSoundId(entry.path()) != 3)
            fs::remove(entry.path());
    }
    ASSERT_EQ(Cli("bank '" + (dir / "copy").string() + "' --kit " + kit), 0) << err;
    const std::string under = KitChoiceText({DefaultBuiltInKit(), {}});
    EXPECT_EQ(err, "lorvanta-cli: strokes 3 and 12 from " + (dir / "kit").string() +
                       ", the others the " + under + " kit's\n");
    EXPECT_EQ(Cli("bank '" + (dir / "x").string() + "' --kit '" + (dir / "missing").string() + "'"),
              2);
    EXPECT_NE(err.find("Cannot open the stroke kit folder"), std::string::npos);
}
