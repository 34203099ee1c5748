// The lehra on the command line: render --lehra mixes it in from sam (the
// written cycle less the plain one), lehra --list names the bundled ones, and
// lehra NAME writes one alone as long as asked; bad options are refused.
#include "AudioTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace lorvanta::test {
namespace {

TEST(LehraCommandLine, RenderMixesTheLehraFromSamAndRefusesBadOptions) {
    TempDir dir;
    const std::string taal = "'" + std::string(LORVANTA_SOURCE_DIR) + "/Taals/Teentaal.tal'";
    std::string err;
    const auto render = [&](const std::string& args, const std::string& out) {
        return RunCli(LORVANTA_CLI, "render " + taal + " -o '" + (dir / out).string() + "' " + args,
                      dir.Path(), err);
    };
    ASSERT_EQ(render("--tempo 120", "plain.wav"), 0) << err;
    ASSERT_EQ(render("--tempo 120 --lehra auto --lehra-level 0", "lehra.wav"), 0) << err;
    const auto plain = Slurp(dir / "plain.wav"), mixed = Slurp(dir / "lehra.wav");
    ASSERT_EQ(plain.size(), mixed.size());
    const auto a = SamplesOf(std::span(plain).subspan(kWaveHeaderSize));
    const auto b = SamplesOf(std::span(mixed).subspan(kWaveHeaderSize));
    // Sam is sounded within 10 ms of the cycle's start, and the lehra runs on
    // to the cycle's end.
    int atSam = 0, atEnd = 0;
    for (std::size_t i = 0; i < 220; ++i)
        atSam = std::max(atSam, std::abs(b[i] - a[i]));
    for (std::size_t i = a.size() - 2205; i < a.size(); ++i)
        atEnd = std::max(atEnd, std::abs(b[i] - a[i]));
    EXPECT_GT(atSam, 300);
    EXPECT_GT(atEnd, 300);

    const struct {
        std::string args;
        int exit;
        std::string says;
    } cases[] = {
        {"--lehra-level 3", 64, "need --lehra"},
        {"--lehra auto --lehra-instrument sitar", 64, "harmonium, santoor, sarangi or bansuri"},
        {"--lehra auto --lehra-level 13", 64, "from -60 to 12"},
        {"--lehra 'No Such Lehra'", 2, "no lehra named \"No Such Lehra\""},
        {"--lehra 'Des in Dadra'", 2, "does not fit a Taal of 16 beats"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(render(c.args, "refused.wav"), c.exit) << c.args;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.args << ": " << err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "refused.wav"));

    // Without a SoundFont the lehra cannot play, and says why.
    ::setenv("LORVANTA_SOUNDFONT", (dir / "missing.sf2").c_str(), 1);
    const int status = render("--lehra auto", "nofont.wav");
    ::unsetenv("LORVANTA_SOUNDFONT");
    EXPECT_EQ(status, 2);
    EXPECT_NE(err.find("The lehra cannot play: the SoundFont"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir / "nofont.wav"));
}

TEST(LehraCommandLine, ListsTheLehrasAndWritesOneAloneAsLongAsAsked) {
    TempDir dir;
    std::string err;
    ASSERT_EQ(RunCli(LORVANTA_CLI, "lehra --list > '" + (dir / "list.txt").string() + "'",
                     dir.Path(), err),
              0)
        << err;
    const auto list = Slurp(dir / "list.txt");
    const std::string text(list.begin(), list.end());
    EXPECT_NE(text.find("Kirwani in Teentaal\tKirwani\t16 beats\tharmonium\t"), std::string::npos)
        << text;
    EXPECT_GE(std::count(text.begin(), text.end(), '\n'), 14);

    ASSERT_EQ(RunCli(LORVANTA_CLI,
                     "lehra 'Bhairav in Rupak' --tempo 120 --pitch 3 --cycles 2 -o '" +
                         (dir / "l.wav").string() + "'",
                     dir.Path(), err),
              0)
        << err;
    const auto bytes = Slurp(dir / "l.wav");
    const std::uint32_t rate = TruncateToU32(std::exp2(3.0f / 12.0f) * 22050.0f);
    EXPECT_EQ(GetLe32(bytes, kSampleRateOffset), rate);
    const auto perLoop = static_cast<std::size_t>(14 * static_cast<double>(0.5f * rate));
    EXPECT_EQ((bytes.size() - kWaveHeaderSize) / 2, 2 * perLoop);
    for (const char* args :
         {"lehra", "lehra 'Bhairav in Rupak' --tempo 120 -o x.wav",
          "lehra 'Bhairav in Rupak' --tempo 120 --cycles 0 -o x.wav",
          "lehra 'Bhairav in Rupak' --tempo 120 --cycles 1 -o x.flac", "lehra --list extra"})
        EXPECT_EQ(RunCli(LORVANTA_CLI, args, dir.Path(), err), 64) << args;
}

} // namespace
} // namespace lorvanta::test
