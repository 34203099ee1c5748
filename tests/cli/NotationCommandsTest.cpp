// lorvanta-cli notation, parse and compose, run as a user runs them.
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

namespace lorvanta::test {
namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quoted(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

class NotationCommands : public ::testing::Test {
protected:
    // Runs the tool with the built-in bols only unless told otherwise.
    CliRun Cli(const std::vector<std::string>& args, bool builtInBols = true) {
        std::string command = Quoted(LORVANTA_CLI);
        if (builtInBols)
            command += " --bol-table " + Quoted((m_dir / "no bols.txt").string());
        for (const auto& arg : args)
            command += " " + Quoted(arg);
        const auto errPath = m_dir / "stderr.txt";
        command += " 2>" + Quoted(errPath.string());
        CliRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return run;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            run.out.append(buffer, n);
        const int raw = pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        const auto err = TempDir::Read(errPath);
        run.err.assign(err.begin(), err.end());
        return run;
    }

    TempDir m_dir;
};

TEST_F(NotationCommands, WorkedExamplesComeOutAsWritten) {
    const auto file = (m_dir / "example.tal").string();
    CliRun compose =
        Cli({"compose", "Dha: Open Ge | Na | Tin | Ga [0.5]+ | Na | Silence [1]", "-o", file});
    ASSERT_EQ(compose.status, 0) << compose.err;
    EXPECT_EQ(compose.out, "");
    CliRun notation = Cli({"notation", file});
    ASSERT_EQ(notation.status, 0) << notation.err;
    EXPECT_EQ(notation.out,
              "{\"text\": \"Tabla: Dha: Open Ge [1.00] | Na | Tin | Ge [0.50]+ | Na | Silence "
              "[1.00]\", \"ranges\": [[7, 26], [29, 31], [34, 37], [40, 50], [53, 55], [58, "
              "72]], \"code\": 0}\n");

    CliRun parse = Cli({"parse", "tabla: dha: open ge(2) | ghasee dhi | xyz++ | Na [0.5] loud"});
    ASSERT_EQ(parse.status, 0) << parse.err;
    EXPECT_EQ(parse.out.rfind("{\"result\": 0, \"valid\": true, \"repaired\": false, \"message\": "
                              "null, \"version\": 4, \"tempo\": 99.9999924, \"name\": \"New "
                              "Taal\", \"count\": 4, \"total\": 6.5, \"empty\": false, \"bols\": "
                              "[{\"name\": \"dha: open ge\", \"index\": 0, \"duration\": 2,",
                              0),
              0u)
        << parse.out;
    EXPECT_NE(parse.out.find("{\"name\": \"xyz\", \"index\": 2, \"duration\": 2, \"reserved\": 0, "
                             "\"pitch\": {\"name\": \"Silence\", \"id\": 0, \"instrument\": 0, "
                             "\"emphasis\": 6}"),
              std::string::npos)
        << parse.out;
    EXPECT_NE(parse.out.find("{\"name\": \"Na\", \"index\": 3, \"duration\": 0.5,"),
              std::string::npos);

    CliRun refused = Cli({"parse", "Na | Ta [20] | Ge"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "Error in taal at bol no 2, bol: Ta [20]\n");
}

TEST_F(NotationCommands, NotationOfAnEmptyTaalIsTheHint) {
    CLorvantaDoc empty;
    const auto file = m_dir.Write("empty.tal", WriteTaalDocument(empty));
    CliRun notation = Cli({"notation", file.string()});
    ASSERT_EQ(notation.status, 0) << notation.err;
    EXPECT_EQ(notation.out,
              "{\"text\": \"Compose a Taal by typing here or by inserting new bols above. Click "
              "\\\"Help\\\" button below to learn how to compose using notation (help requires "
              "internet connection).\", \"ranges\": [], \"code\": 0}\n");

    CliRun missing = Cli({"notation", (m_dir / "missing.tal").string()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err, "");
}

TEST_F(NotationCommands, ComposeSavesNameAndTempo) {
    const auto file = m_dir / "mine.tal";
    CliRun compose = Cli(
        {"compose", "Dha | Dhin", "-o", file.string(), "--name", "Mine", "--tempo", "10"}, false);
    ASSERT_EQ(compose.status, 0) << compose.err;
    CLorvantaDoc doc;
    RecordingMessageSink sink;
    const ReadOutcome outcome = OpenTaalFile(doc, file, sink);
    EXPECT_EQ(outcome.result, kReadOk);
    EXPECT_EQ(doc.Header().version, 4);
    EXPECT_EQ(doc.Taal().Name(), "Mine");
    EXPECT_EQ(doc.DefaultTempo(), 10.0f);
    ASSERT_EQ(doc.Taal().Count(), 2);
    // The shipped bols: Dha and Dhin over the open Ge.
    EXPECT_EQ(doc.Taal().BolAt(0)->bass.soundId, 3u);
    EXPECT_EQ(doc.Taal().BolAt(1)->bass.soundId, 3u);

    CliRun defaults = Cli({"compose", "Na", "-o", file.string()});
    ASSERT_EQ(defaults.status, 0) << defaults.err;
    OpenTaalFile(doc, file, sink);
    EXPECT_EQ(doc.Taal().Name(), "New Taal");
    EXPECT_EQ(doc.DefaultTempo(), DefaultTempo());
}

TEST_F(NotationCommands, ComposeRefusals) {
    const auto file = m_dir / "never.tal";
    const std::string tempoMessage =
        "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in bpm)\n";
    for (const char* tempo : {"9.99", "1000.5", "-100", "abc", "nan", "inf", "0x64", ""}) {
        CliRun run = Cli({"compose", "Na", "-o", file.string(), "--tempo", tempo});
        EXPECT_EQ(run.status, 64) << tempo;
        EXPECT_EQ(run.err, tempoMessage) << tempo;
    }
    CliRun bad = Cli({"compose", "Na [0.5", "-o", file.string()});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "Error in taal at bol no 1, bol: Na [0.5\n");
    CliRun noOut = Cli({"compose", "Na"});
    EXPECT_EQ(noOut.status, 64);
    CliRun twoTexts = Cli({"compose", "Na", "Ta", "-o", file.string()});
    EXPECT_EQ(twoTexts.status, 64);
    CliRun unknown = Cli({"parse", "Na", "--tempo", "100"});
    EXPECT_EQ(unknown.status, 64);
    EXPECT_FALSE(std::filesystem::exists(file));
}

} // namespace
} // namespace lorvanta::test
