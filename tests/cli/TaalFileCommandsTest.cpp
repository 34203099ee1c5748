// lorvanta-cli dump and convert, run as the built program.
#include "TaalJson.h"

#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <bit>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace lorvanta {
namespace {

using test::Bytes;

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the tool with the given (already quoted) arguments, from folder when given.
CliRun RunCli(const std::string& args, const std::filesystem::path& folder = {}) {
    test::TempDir capture;
    std::string command;
    if (!folder.empty())
        command = "cd " + Quote(folder.string()) + " && ";
    command += Quote(LORVANTA_CLI) + " " + args + " >" + Quote((capture / "out").string()) + " 2>" +
               Quote((capture / "err").string());
    const int status = std::system(command.c_str());
    CliRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = Slurp(capture / "out");
    run.err = Slurp(capture / "err");
    return run;
}

std::vector<std::uint8_t> OneBolFile() {
    CLorvantaDoc doc;
    doc.InsertBol(-1);
    return WriteTaalDocument(doc);
}

class TaalFileCommands : public testing::Test {
protected:
    test::TempDir m_dir;
};

TEST_F(TaalFileCommands, DumpPrintsTheTaal) {
    const auto path = m_dir.Write("one.tal", OneBolFile());
    const CliRun run = RunCli("dump " + Quote(path.string()));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    CLorvantaDoc doc;
    const ReadOutcome outcome = ReadTaalDocument(OneBolFile(), path.string(), doc);
    EXPECT_EQ(run.out, cli::TaalToJson(doc, outcome) + "\n");
}

TEST_F(TaalFileCommands, DumpOfARepairedFileNamesItsFullPath) {
    Bytes bol;
    bol.Str("B").U32(0).F32(1.0f).F32(std::bit_cast<float>(0x7FC00000u)).Sound().Sound("x", 31);
    m_dir.Write("fixed.tal", test::OneBolFile(bol));
    const CliRun run = RunCli("dump fixed.tal", m_dir.Path());
    EXPECT_EQ(run.exitCode, 0);
    const std::string full = (m_dir / "fixed.tal").string();
    EXPECT_NE(run.out.find("{\"result\": 38, \"valid\": false, \"repaired\": true, \"message\": "
                           "\"Lorvanta encountered error 38 while reading file " +
                           full + ", but tried"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"reserved\": null"), std::string::npos);
    EXPECT_NE(run.out.find("\"pitch\": {\"name\": \"x\", \"id\": 0,"), std::string::npos);
}

TEST_F(TaalFileCommands, DumpOfAnUnreadableFileFails) {
    auto bytes = OneBolFile();
    bytes.resize(300);
    const auto path = m_dir.Write("cut.tal", bytes);
    const CliRun run = RunCli("dump cut.tal", m_dir.Path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Cannot read file " + path.string() +
                           ": the file ends inside the display name of bol 1 (byte 294, a "
                           "string of 7 characters).\n");

    const CliRun missing = RunCli("dump " + Quote((m_dir / "none.tal").string()));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos);
}

TEST_F(TaalFileCommands, UsageErrors) {
    for (const std::string args :
         {"dump", "dump a b", "dump --frob a", "convert a", "convert a b c", "--bol-table"}) {
        SCOPED_TRACE(args);
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 64);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage: "), std::string::npos);
    }
}

TEST_F(TaalFileCommands, BolTableOptionIsAccepted) {
    const auto path = m_dir.Write("one.tal", OneBolFile());
    std::ofstream(m_dir / "bols.txt") << "Dha = Na + Open Ge\n";
    const CliRun run = RunCli(
        "--bol-table " + Quote((m_dir / "bols.txt").string()) + " dump one.tal", m_dir.Path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("{\"result\": 0", 0), 0u);
}

TEST_F(TaalFileCommands, ConvertSavesALegacyFileAsVersion4) {
    std::vector<std::uint8_t> legacy(106, 0);
    const std::string name = "Dha", bass = "Normal Ge", pitch = "Na";
    std::copy(name.begin(), name.end(), legacy.begin());
    std::copy(bass.begin(), bass.end(), legacy.begin() + 30);
    std::copy(pitch.begin(), pitch.end(), legacy.begin() + 60);
    const auto duration = std::bit_cast<std::array<std::uint8_t, 4>>(2.0f);
    std::copy(duration.begin(), duration.end(), legacy.begin() + 94);
    m_dir.Write("Old.tal", legacy);

    const CliRun run = RunCli("convert Old.tal New.tal", m_dir.Path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    CLorvantaDoc doc;
    const auto bytes = test::TempDir::Read(m_dir / "New.tal");
    const ReadOutcome outcome = ReadTaalDocument(bytes, "/x/New.tal", doc);
    EXPECT_EQ(outcome.result, 0u);
    EXPECT_EQ(bytes[2], 4);
    EXPECT_EQ(doc.Taal().Name(), "Old.tal");
    ASSERT_EQ(doc.Taal().Count(), 1);
    EXPECT_EQ(doc.Taal().BolAt(0)->bass.name, "Pressed Ge");
    EXPECT_EQ(doc.Taal().Total(), 2.0f);
}

TEST_F(TaalFileCommands, ConvertAppliesTheOpenTempoRule) {
    for (const float tempo : {5.0f, 1200.0f, std::bit_cast<float>(0x7FC00000u), 240.0f}) {
        SCOPED_TRACE(tempo);
        Bytes file;
        file.Header().Params(tempo).TaalHead("T", 0, 0.0f, 0);
        m_dir.Write("in.tal", file);
        ASSERT_EQ(RunCli("convert in.tal out.tal", m_dir.Path()).exitCode, 0);
        CLorvantaDoc doc;
        ReadTaalDocument(test::TempDir::Read(m_dir / "out.tal"), "/x/out.tal", doc);
        EXPECT_EQ(doc.DefaultTempo(), tempo == 240.0f ? 240.0f : DefaultTempo());
    }
}

TEST_F(TaalFileCommands, ConvertOfAnUnreadableFileLeavesTheOutputAlone) {
    auto bytes = OneBolFile();
    bytes.resize(bytes.size() - 1);
    m_dir.Write("cut.tal", bytes);
    CliRun run = RunCli("convert cut.tal new.tal", m_dir.Path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "new.tal"));
    EXPECT_NE(run.err.find("Cannot read file"), std::string::npos);

    m_dir.Write("old.tal", {1, 2, 3});
    run = RunCli("convert cut.tal old.tal", m_dir.Path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(test::TempDir::Read(m_dir / "old.tal"), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(TaalFileCommands, ConvertReportsAFailedSave) {
    m_dir.Write("one.tal", OneBolFile());
    const CliRun run = RunCli("convert one.tal no/such/out.tal", m_dir.Path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "Cannot save file " + (m_dir / "no/such/out.tal").string() +
                           ": No such file or directory.\n");
}

TEST_F(TaalFileCommands, ConvertPrintsTheReadMessagesAndStillSaves) {
    m_dir.Write("long.tal", test::OneBolFile(Bytes().Bol("L", 0, 12.0f), 12.0f));
    const CliRun run = RunCli("convert long.tal out.tal", m_dir.Path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "Error 38 occurred while reading file " + (m_dir / "long.tal").string() +
                           ". Invalid Lorvanta file.\n");
    EXPECT_TRUE(std::filesystem::exists(m_dir / "out.tal"));
}

} // namespace
} // namespace lorvanta
