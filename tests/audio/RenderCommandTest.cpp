// lorvanta-cli render (Save Sound) and bank, run as the built program.

#include "AudioTestSupport.h"

#include "audio/TaalRenderer.h"
#include "persistence/TaalFile.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fstream>
#include <sstream>
#include <sys/wait.h>

using namespace lorvanta;
using namespace lorvanta::test;
namespace fs = std::filesystem;

namespace {

struct CliRun {
    int exitCode = -1;
    std::string err;
};

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

std::vector<unsigned char> Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class RenderCommand : public ::testing::Test {
protected:
    CliRun Run(const std::string& args) {
        const fs::path err = folder.Path() / "stderr";
        const std::string command = Quote(LORVANTA_CLI) + " " + args + " 2>" + Quote(err.string());
        const int status = std::system(command.c_str());
        CliRun run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const auto bytes = Slurp(err);
        run.err.assign(bytes.begin(), bytes.end());
        return run;
    }
    std::string Path(const std::string& name) const {
        return Quote((folder.Path() / name).string());
    }

    // Saves a Taal file of these bols with this default tempo.
    std::string SaveTaal(const std::vector<BolSpec>& specs, float defaultTempo = 100.0f) {
        CLorvantaDoc doc;
        FillTaal(doc.Taal(), specs);
        doc.Taal().Recalculate(-1);
        doc.SetEmpty(specs.empty());
        doc.Params().defaultTempo = defaultTempo;
        const fs::path file = folder.Path() / "taal.tal";
        std::string error;
        EXPECT_TRUE(SaveTaalFile(doc, file, error)) << error;
        return Quote(file.string());
    }

    // The image the program builds for these bols at this tempo and pitch.
    std::vector<unsigned char> ProgramImage(const std::vector<BolSpec>& specs, float secondsPerBeat,
                                            float factor) {
        CTaal taal;
        FillTaal(taal, specs);
        CSampleBank bank;
        RecordingMessageSink sink;
        CTaalRenderer renderer(taal, bank, sink);
        renderer.SetPitch(factor);
        renderer.SetTempo(secondsPerBeat);
        renderer.InitialUpdate();
        renderer.BuildTaalImage();
        std::vector<unsigned char> bytes(static_cast<std::size_t>(renderer.ImageSize()));
        renderer.Image().CopyBytes(0, bytes);
        return bytes;
    }

    TempFolder folder;
    const std::vector<BolSpec> twoBols{{1.0f, 12, 3, 3.0f, 0.0f}, {0.5f, 7, 0}};
};

} // namespace

TEST_F(RenderCommand, WavIsTheImageByteForByte) {
    const std::string taal = SaveTaal(twoBols);
    const CliRun run = Run("render " + taal + " -o " + Path("out.wav") + " --tempo 100");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto written = Slurp(folder.Path() / "out.wav");
    ASSERT_EQ(written.size(), 39734u);
    EXPECT_EQ(GetLe32(written, 40), 39690u);
    EXPECT_EQ(GetLe32(written, 4), 39726u);
    EXPECT_EQ(written, ProgramImage(twoBols, 0.6f, 1.0f));
}

TEST_F(RenderCommand, TempoComesFromTheFileThroughTheOpeningRule) {
    Run("render " + SaveTaal(twoBols, 120.0f) + " -o " + Path("fast.wav"));
    EXPECT_EQ(Slurp(folder.Path() / "fast.wav").size(), 44u + 2 * (11025 + 5512));
    // Out of range in the file: the default, just below 100 bpm.
    Run("render " + SaveTaal(twoBols, 5.0f) + " -o " + Path("default.wav"));
    EXPECT_EQ(Slurp(folder.Path() / "default.wav").size(), 39734u);
}

TEST_F(RenderCommand, PitchSetsTheRateAndWidensTheSlots) {
    const std::string taal = SaveTaal(twoBols);
    ASSERT_EQ(Run("render " + taal + " -o " + Path("up.wav") + " --pitch 1").exitCode, 0);
    const auto written = Slurp(folder.Path() / "up.wav");
    EXPECT_EQ(GetLe32(written, 24), 23361u);
    EXPECT_EQ(written, ProgramImage(twoBols, 0.6f, 1.0594631f));

    // FLAC: the same samples, at the rate the image plays at.
    ASSERT_EQ(Run("render " + taal + " -o " + Path("up.flac") + " --pitch 1").exitCode, 0);
    SF_INFO info{};
    SNDFILE* in = sf_open((folder.Path() / "up.flac").c_str(), SFM_READ, &info);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(info.samplerate, 23361);
    EXPECT_EQ(info.channels, 1);
    std::vector<short> samples(static_cast<std::size_t>(info.frames));
    sf_readf_short(in, samples.data(), info.frames);
    sf_close(in);
    const auto expected = SamplesOf(std::span(written).subspan(44));
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), expected.begin(), expected.end()));
}

TEST_F(RenderCommand, OutOfRangeTempoAndPitchGiveTheProgramsMessages) {
    const std::string taal = SaveTaal(twoBols);
    for (const char* tempo : {"9.99", "1000.1", "fast"}) {
        const CliRun run = Run("render " + taal + " -o " + Path("x.wav") + " --tempo " + tempo);
        EXPECT_EQ(run.exitCode, 64);
        EXPECT_EQ(run.err,
                  "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in bpm)\n");
    }
    for (const char* pitch : {"6.5", "-7"}) {
        const CliRun run = Run("render " + taal + " -o " + Path("x.wav") + " --pitch " + pitch);
        EXPECT_EQ(run.exitCode, 64);
        EXPECT_EQ(run.err, "Enter a value between -6.0 and 6.0 (number of semitones from C#). "
                           "For example, +1 means D and -2 means B#.\n");
    }
    EXPECT_EQ(Run("render " + taal + " -o " + Path("x.wav") + " --tempo 10 --pitch -6").exitCode,
              0);
    EXPECT_EQ(Run("render " + taal + " -o " + Path("y.mp3")).exitCode, 64);
    EXPECT_EQ(Run("render " + taal).exitCode, 64);
    EXPECT_FALSE(fs::exists(folder.Path() / "y.mp3"));
}

TEST_F(RenderCommand, AnEmptyTaalIsRefusedAndWritesNothing) {
    const CliRun run = Run("render " + SaveTaal({}) + " -o " + Path("empty.wav"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "You must load a Taal before playing it\n");
    EXPECT_FALSE(fs::exists(folder.Path() / "empty.wav"));
}

TEST_F(RenderCommand, BankWritesTheStrokesInUse) {
    ASSERT_EQ(Run("bank " + Path("kit")).exitCode, 0);
    CSampleBank bank;
    EXPECT_EQ(Slurp(folder.Path() / "kit" / "12 Na.wav").size(), bank.StrokeImage(12).size());
    // A kit in use is what the bank writes, and what render plays.
    const auto na = StrokeImage(std::vector<std::int16_t>(500, 1000));
    std::ofstream(folder.Path() / "kit" / "12 Na.wav", std::ios::binary)
        .write(reinterpret_cast<const char*>(na.data()), static_cast<std::streamsize>(na.size()));
    ASSERT_EQ(Run("bank " + Path("copy") + " --kit " + Path("kit")).exitCode, 0);
    EXPECT_EQ(Slurp(folder.Path() / "copy" / "12 Na.wav"), na);
    ASSERT_EQ(
        Run("render " + SaveTaal({{1.0f, 12}}) + " --kit " + Path("kit") + " -o " + Path("kit.wav"))
            .exitCode,
        0);
    const auto image = Slurp(folder.Path() / "kit.wav");
    const auto samples = SamplesOf(std::span(image).subspan(44));
    EXPECT_EQ(samples[0], 1000);
    EXPECT_EQ(samples[499], 1000);
    EXPECT_EQ(samples[500], 0);
    EXPECT_EQ(Run("bank " + Path("x") + " --kit " + Path("missing")).exitCode, 2);
}
