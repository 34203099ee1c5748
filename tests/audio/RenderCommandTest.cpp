// lorvanta-cli render (Save Sound) and bank --kit, run as the built program.

#include "AudioTestSupport.h"

#include "audio/StrokeKit.h"
#include "audio/TaalRenderer.h"
#include "persistence/TaalFile.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace lorvanta;
using namespace lorvanta::test;
namespace fs = std::filesystem;

namespace {

class RenderCommand : public ::testing::Test {
protected:
    int Run(const std::string& args) { return RunCli(LORVANTA_CLI, args, folder.Path(), err); }
    std::string Path(const std::string& name) const {
        return "'" + (folder.Path() / name).string() + "'";
    }
    std::vector<unsigned char> Written(const std::string& name) const {
        return Slurp(folder.Path() / name);
    }

    // Saves a Taal file of these bols with this default tempo.
    std::string SaveTaal(const std::vector<BolSpec>& specs, float defaultTempo = 100.0f) {
        CLorvantaDoc doc;
        FillTaal(doc.Taal(), specs);
        doc.Taal().Recalculate(-1);
        doc.SetEmpty(specs.empty());
        doc.Params().defaultTempo = defaultTempo;
        SaveFailure error;
        EXPECT_TRUE(SaveTaalFile(doc, folder.Path() / "taal.tal", error)) << error.reason;
        return Path("taal.tal");
    }

    // The image the program builds for these bols at 100 bpm and this pitch,
    // with the default kit.
    std::vector<unsigned char> ProgramImage(float factor) {
        CTaal taal;
        FillTaal(taal, twoBols);
        CSampleBank bank(DefaultBuiltInKit());
        RecordingMessageSink sink;
        CTaalRenderer renderer(taal, bank, sink);
        renderer.SetPitch(factor);
        renderer.SetTempo(0.6f);
        renderer.InitialUpdate();
        renderer.BuildTaalImage();
        std::vector<unsigned char> bytes(static_cast<std::size_t>(renderer.ImageSize()));
        renderer.Image().CopyBytes(0, bytes);
        return bytes;
    }

    TempDir folder;
    std::string err;
    const std::vector<BolSpec> twoBols{{1.0f, 12, 3, 3.0f, 0.0f}, {0.5f, 7, 0}};
};

} // namespace

TEST_F(RenderCommand, WavIsTheImageByteForByteWithTheFilesTempoByDefault) {
    // A semitone up: the rate of the image.
    ASSERT_EQ(
        Run("render " + SaveTaal(twoBols) + " -o " + Path("up.wav") + " --tempo 100 --pitch 1"), 0)
        << err;
    const auto up = Written("up.wav");
    EXPECT_EQ(GetLe32(up, 24), 23361u);
    EXPECT_EQ(up, ProgramImage(1.0594631f));

    // Without --tempo, the file's; out of range there, the default just below 100 bpm.
    Run("render " + SaveTaal(twoBols, 120.0f) + " -o " + Path("fast.wav"));
    EXPECT_EQ(Written("fast.wav").size(), 44u + 2 * (11025 + 5512));
    Run("render " + SaveTaal(twoBols, 5.0f) + " -o " + Path("default.wav"));
    EXPECT_EQ(Written("default.wav").size(), 39734u);
}

TEST_F(RenderCommand, WhatItRefusesWritesNothing) {
    const std::string render = "render " + SaveTaal(twoBols) + " -o " + Path("x.wav");
    const std::string tempo =
        "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in bpm)\n";
    const std::string pitch = "Enter a value between -6.0 and 6.0 (number of semitones from C#). "
                              "For example, +1 means D and -2 means B#.\n";
    const std::pair<std::string, std::string> refused[] = {
        {" --tempo 9.99", tempo}, {" --tempo 1000.1", tempo}, {" --pitch 6.5", pitch}};
    for (const auto& [args, message] : refused) {
        EXPECT_EQ(Run(render + args), 64) << args;
        EXPECT_EQ(err, message);
    }
    EXPECT_FALSE(fs::exists(folder.Path() / "x.wav"));
    EXPECT_EQ(Run(render + " --tempo 10 --pitch -6"), 0);
    EXPECT_EQ(Run("render " + SaveTaal(twoBols) + " -o " + Path("y.mp3")), 64);
    EXPECT_EQ(Run("render " + SaveTaal(twoBols)), 64);
    EXPECT_EQ(Run("render " + SaveTaal({}) + " -o " + Path("empty.wav")), 2);
    EXPECT_EQ(err, "You must load a Taal before playing it\n");
    EXPECT_FALSE(fs::exists(folder.Path() / "y.mp3"));
    EXPECT_FALSE(fs::exists(folder.Path() / "empty.wav"));
}

TEST_F(RenderCommand, BankTakesRecordedSynthesisedOrAFolder) {
    ASSERT_EQ(Run("bank " + Path("kit") + " --kit synthesised"), 0) << err;
    EXPECT_TRUE(std::ranges::equal(Written("kit/12 Na.wav"),
                                   CSampleBank(BuiltInKit::Synthesised).StrokeImage(12)));
    EXPECT_EQ(err, "");
    EXPECT_EQ(Run("bank " + Path("rec") + " --kit recorded"),
              HasBuiltInKit(BuiltInKit::Recorded) ? 0 : 2);
    // A folder: stderr says which sounds came from it.
    for (const fs::directory_entry& entry : fs::directory_iterator(folder.Path() / "kit"))
        if (const int id = KitFileSoundId(entry.path()); id != 12 && id != 3)
            fs::remove(entry.path());
    ASSERT_EQ(Run("bank " + Path("copy") + " --kit " + Path("kit")), 0) << err;
    EXPECT_EQ(err, "lorvanta-cli: strokes 3 and 12 from " + (folder.Path() / "kit").string() +
                       ", the others the " + KitChoiceText({DefaultBuiltInKit(), {}}) + " kit's\n");
    EXPECT_EQ(Run("bank " + Path("x") + " --kit " + Path("missing")), 2);
    EXPECT_NE(err.find("Cannot open the stroke kit folder"), std::string::npos);
}
