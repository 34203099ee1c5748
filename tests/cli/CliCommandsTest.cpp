// lorvanta-cli dump, convert, notation, parse and compose, run as a user runs
// them: exit codes, what goes to stdout and stderr, and the files written; and
// the JSON forms of strings and numbers.
#include "TaalJson.h"
#include "model/Vibhags.h"
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <limits>
#include <sys/stat.h>
#include <sys/wait.h>

namespace lorvanta::test {
namespace {

std::string Quoted(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Text(const std::filesystem::path& path) {
    const auto bytes = TempDir::Read(path);
    return {bytes.begin(), bytes.end()};
}

class CliCommands : public testing::Test {
protected:
    struct Run {
        int exitCode;
        std::string out, err;
    };

    // Runs the tool in the test's folder, with the built-in bols only unless
    // told otherwise.
    Run Cli(const std::vector<std::string>& args, bool builtInBols = true) {
        std::string command = "cd " + Quoted(m_dir.Path().string()) + " && " + Quoted(LORVANTA_CLI);
        if (builtInBols)
            command += " --bol-table " + Quoted(m_noBols.string());
        for (const auto& arg : args)
            command += " " + Quoted(arg);
        command += " >" + Quoted(m_out.Path() / "out") + " 2>" + Quoted(m_out.Path() / "err");
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Text(m_out / "out"),
                Text(m_out / "err")};
    }

    // The document in a file of the test's folder.
    std::unique_ptr<CLorvantaDoc> Open(const std::string& name) {
        auto doc = std::make_unique<CLorvantaDoc>();
        RecordingMessageSink sink;
        EXPECT_EQ(OpenTaalFile(*doc, m_dir / name, sink).result, ReadResult::Ok);
        return doc;
    }

    // A run of the tool: its exit code and its stderr and stdout, each exactly or
    // "~" and a part of it; %D is the test's folder.
    struct Row {
        std::vector<std::string> args;
        int exitCode;
        std::string err;
        std::string out = "~";
    };
    void Check(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::PrintToString(row.args));
            const Run run = Cli(row.args);
            EXPECT_EQ(run.exitCode, row.exitCode);
            Expect(run.err, row.err);
            Expect(run.out, row.out);
        }
    }

    void Expect(const std::string& actual, std::string expected) const {
        for (auto at = expected.find("%D"); at != std::string::npos; at = expected.find("%D"))
            expected.replace(at, 2, m_dir.Path().string());
        if (expected.starts_with("~"))
            EXPECT_NE(actual.find(expected.substr(1)), std::string::npos) << actual;
        else
            EXPECT_EQ(actual, expected);
    }

    TempDir m_dir;
    TempDir m_out;
    std::filesystem::path m_noBols = m_out.Write("no bols.txt", {});
};

TEST_F(CliCommands, ExitCodesAndOutput) {
    CLorvantaDoc doc;
    m_dir.Write("empty.tal", WriteTaalDocument(doc));
    doc.InsertBol(-1);
    auto cut = WriteTaalDocument(doc);
    cut.resize(300);
    m_dir.Write("cut.tal", cut);
    m_dir.Write("old.tal", {1, 2, 3});
    m_dir.Write("long.tal", OneBolFile(Bytes().Bol("L", 0, 12.0f), 12.0f));
    std::ofstream(m_dir / "bols.txt") << "Dha = Na + Open Ge\n";

    std::vector<Row> cases = {
        {{"--bol-table", "bols.txt", "dump", "empty.tal"},
         0,
         "",
         "{\"result\": 0, \"valid\": true, \"repaired\": false, \"message\": null, \"version\": 4, "
         "\"tempo\": 99.9999924, \"name\": \"New Taal\", \"count\": 0, \"total\": 0, \"empty\": "
         "true, \"bols\": [], \"vibhags\": []}\n"},
        // The notation pane's text and ranges.
        {{"compose", "Dha: Open Ge | Na | Tin | Ga [0.5]+ | Na | Silence [1]", "-o", "ex.tal"},
         0,
         ""},
        {{"notation", "ex.tal"},
         0,
         "",
         "{\"text\": \"Tabla: Dha: Open Ge [1.00] | Na | Tin | Ge [0.50]+ | Na | Silence [1.00]\", "
         "\"ranges\": [[7, 26], [29, 31], [34, 37], [40, 50], [53, 55], [58, 72]], \"code\": 0}\n"},
        {{"parse", "tabla: dha: open ge(2) | xyz++"},
         0,
         "",
         "~\"count\": 2, \"total\": 4, \"empty\": false, \"bols\": [{\"name\": \"dha: open ge\", "
         "\"index\": 0, \"duration\": 2, \"reserved\": 0, \"pitch\": {\"name\": \"Na\", \"id\": "
         "12,"},
        // Convert: the boxes of the read go to stderr; a file not read whole is
        // only converted when forced.
        {{"convert", "long.tal", "out.tal", "--force"},
         0,
         "Error 38 occurred while reading file %D/long.tal. Invalid Lorvanta file.\n"},
        {{"convert", "cut.tal", "old.tal"}, 2, "~Cannot read file"},
        // Edit: the editor's lists (newest first), selection and messages.
        {{"compose", "Na | Tin [2] | Dha | Ge | Na | Tin | Na | Dha | Ge | Ta", "-o", "ten.tal"},
         0,
         ""},
        {{"edit", "ten.tal", "-o", "e.tal", "--script", "select 1 4 5; delete"},
         0,
         "",
         "{\"undo\": [32790], \"redo\": [], \"selected\": [], \"caret\": 5, \"anchor\": 5, "
         "\"modified\": true, \"messages\": []}\n"},
        {{"edit", "ten.tal", "-o", "e.tal", "--script",
          "expand 2; paste; select 0; expand 10; expand 12; properties X 9.99"},
         0,
         "",
         "~\"messages\": [\"The command \\\"expand 2\\\" is not available now; it was "
         "skipped.\", \"The command \\\"paste\\\" is not available now; it was skipped.\", "
         "\"Multiplier must be between 0.1 and 10.\", \"Tempo out of range: Enter a value "
         "between 10.0 and 1000.0 (measured in bpm)\"]}\n"},
        {{"edit", "ten.tal", "-o", "e.tal", "--script", "notation \"Na [20]\"; bol 10 name=Ta"},
         0,
         "",
         "~\"messages\": [\"Error in taal at bol no 1, bol: Na [20]\", \"Error in Taal entered. "
         "Would you like to retry?\", \"The command \\\"bol 10\\\" is not available now; it was "
         "skipped.\"]}"},
        // Changes that would make a file the reader refuses are refused whole;
        // the text composed holds 10,002 bols of 10 beats.
        {{"edit", "ten.tal", "-o", "e.tal", "--script", "select 1; expand 10; bol 0 duration=0"},
         0,
         "",
         "~\"undo\": [], \"redo\": [], \"selected\": [0], \"caret\": 0, \"anchor\": 0, "
         "\"modified\": false, \"messages\": [\"A bol lasts from 0.001 to 10 beats.\", \"A bol "
         "lasts from 0.001 to 10 beats.\"]}"},
        {{"compose", "Na [10]" + std::string(10001, '|') + "Na", "-o", "never.tal"},
         2,
         "A Taal holds at most 50,000 bols and 100,000 beats.\n"},
        {{"edit", "ten.tal", "-o", "never.tal", "--script", "select 1; frob"},
         64,
         "~lorvanta-cli: unknown command \"frob\"\nusage: "},
    };
    for (const char* tempo : {"1000.5", "nan", "0x64"})
        cases.push_back({{"compose", "Na", "-o", "never.tal", "--tempo", tempo},
                         64,
                         "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in "
                         "bpm)\n"});
    Check(cases);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "never.tal"));
    EXPECT_EQ(TempDir::Read(m_dir / "old.tal"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(std::filesystem::exists(m_dir / "out.tal"));
}

// Writers refuse an input whose read failed a check unless forced, and every
// file named is judged before it is opened, so nothing blocks on a FIFO.
TEST_F(CliCommands, WhatIsReadAndWrittenIsChecked) {
    CLorvantaDoc doc;
    doc.InsertBol(-1);
    m_dir.Write("one.tal", WriteTaalDocument(doc));
    m_dir.Write("long.tal", OneBolFile(Bytes().Bol("L", 0, 12.0f), 12.0f));
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((m_dir / "fifo.wav").c_str(), 0644), 0);
    // A link planted where a fixed temporary name would be is never followed.
    const auto victim = m_dir.Write("victim", {5});
    std::filesystem::create_symlink(victim, m_dir / "planted.wav.part");
    Check({
        {{"convert", "long.tal", "never.tal"},
         3,
         "~Invalid Lorvanta file.\nlorvanta-cli: the file was not read completely; nothing is "
         "written (--force writes what was read)\n"},
        // Only regular files are read...
        {{"dump", "fifo"}, 2, "Cannot read file %D/fifo: it is not a regular file.\n"},
        // ...and written.
        {{"convert", "one.tal", "fifo"}, 2, "%D/fifo is not a regular file.\n"},
        {{"render", "one.tal", "-o", "fifo.wav"}, 2, "~fifo.wav is not a regular file."},
        {{"render", "one.tal", "-o", "planted.wav"}, 0, ""},
    });
    EXPECT_EQ(TempDir::Read(victim), std::vector<std::uint8_t>{5});
    EXPECT_GT(std::filesystem::file_size(m_dir / "planted.wav"), 44u);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "never.tal"));
}

// The drums' levels of render and play: dB from -40 to +6 or off, anything
// else refused as a wrong command line.
TEST_F(CliCommands, LevelOptionsTakeDecibelsInRangeOrOff) {
    CLorvantaDoc doc;
    doc.InsertBol(-1);
    m_dir.Write("one.tal", WriteTaalDocument(doc));
    const std::string needs = " needs a level in dB from -40 to 6, or off (not \"";
    Check({
        {{"render", "one.tal", "-o", "l.wav", "--treble-level", "off", "--bass-level", "-40",
          "--master-level", "+6"},
         0,
         ""},
        {{"render", "one.tal", "-o", "l.wav", "--treble-level", "6.5"},
         64,
         "~--treble-level" + needs + "6.5\")\nusage: lorvanta-cli render FILE"},
        {{"render", "one.tal", "-o", "l.wav", "--master-level"},
         64,
         "~--master-level needs a value"},
        {{"play", "one.tal", "--bass-level", "Off"}, 64, "~--bass-level" + needs + "Off\")"},
    });
    EXPECT_GT(std::filesystem::file_size(m_dir / "l.wav"), 44u);
}

// bank never replaces stroke files unless forced, and never the kit it reads.
TEST_F(CliCommands, BankKeepsExistingStrokes) {
    ASSERT_EQ(Cli({"bank", "kit"}).exitCode, 0);
    m_dir.Write("kit/12 Na.wav", {1, 2, 3}); // the user's own recording, unreadable or not
    Check({
        {{"bank", "kit"}, 2, "~kit already holds stroke file "},
        {{"bank", "kit", "--kit", "kit", "--force"}, 2, "~kit is the kit folder"},
    });
    EXPECT_EQ(TempDir::Read(m_dir / "kit/12 Na.wav"), (std::vector<std::uint8_t>{1, 2, 3}));
}

// Vibhags composed, dumped while they fit, set and refused by edit; a record
// that does not read is warned of and carried through convert unchanged.
TEST_F(CliCommands, VibhagsComposedDumpedAndEdited) {
    CLorvantaDoc doc;
    doc.InsertBol(-1);
    WriteVibhagRecord(doc.Params(), {{1, 'X'}});
    doc.Params().reserved[4] = 9; // a version of the record not known
    m_dir.Write("odd.tal", WriteTaalDocument(doc));
    const std::string notFit = "The vibhags add up to 5 beats, but the Taal is 4 beats long.";
    const std::string odd = "The vibhags stored in %D/odd.tal cannot be read; the Taal opens "
                            "without them. The stored record is kept as it is unless you set new "
                            "vibhags in Taal Properties.\n";
    Check({
        {{"compose", "Na | Tin | Na | Tin", "-o", "v.tal", "--vibhags", "X:2 0:3"},
         64,
         "lorvanta-cli: " + notFit + "\n"},
        {{"compose", "Na | Tin | Na | Tin", "-o", "v.tal", "--vibhags", "x:2 0:2"}, 0, ""},
        {{"dump", "v.tal"},
         0,
         "",
         "~\"vibhags\": [{\"beats\": 2, \"mark\": \"X\"}, {\"beats\": 2, \"mark\": "
         "\"0\"}]}\n"},
        {{"edit", "v.tal", "-o", "w.tal", "--script", "select 0; insert"}, 0, ""},
        {{"dump", "w.tal"},
         0,
         "The stored vibhags (X:2 0:2) add up to 4 beats, but the Taal is now 5 beats long: they "
         "are kept, and shown again once they fit.\n",
         "~\"vibhags\": []}\n"},
        {{"edit", "v.tal", "-o", "x.tal", "--script",
          "vibhags \"X:5\"; select 0; insert; vibhags \"X:5\"; undo; redo"},
         0,
         "",
         "{\"undo\": [32795, 32791], \"redo\": [], \"selected\": [0], \"caret\": 0, "
         "\"anchor\": 0, \"modified\": true, \"messages\": [\"" +
             notFit + "\"]}\n"},
        {{"dump", "x.tal"}, 0, "", "~\"vibhags\": [{\"beats\": 5, \"mark\": \"X\"}]}\n"},
        {{"edit", "x.tal", "-o", "never.tal", "--script", "vibhags \"X:5 Q:1\""},
         64,
         "~lorvanta-cli: vibhags: Write the vibhags"},
        {{"dump", "odd.tal"}, 0, odd, "~\"vibhags\": []}\n"},
        {{"convert", "odd.tal", "odd2.tal"}, 0, odd},
    });
    EXPECT_EQ(TempDir::Read(m_dir / "odd2.tal"), TempDir::Read(m_dir / "odd.tal"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "never.tal"));
}

TEST_F(CliCommands, ComposeAndEditSaveWhatTheyMade) {
    ASSERT_EQ(Cli({"compose", "Dha | Dhin [2] | Na [1] | Ge", "-o", "in.tal", "--name", "Mine",
                   "--tempo", "10"},
                  false)
                  .exitCode,
              0);
    EXPECT_EQ(Open("in.tal")->Taal().BolAt(1)->bass.soundId,
              3u); // the shipped Dhin: over the open Ge
    ASSERT_EQ(Cli({"edit", "in.tal", "-o", "out.tal", "--script",
                   "select 0 1; expand 2; bol 3 \"name=Dhin: Open Ge\" bass-emphasis=-2.5 "
                   "pitch-instrument=Pakhawaj; select 2; cut; rename Other"})
                  .exitCode,
              0);
    const auto doc = Open("out.tal");
    EXPECT_EQ(doc->Taal().Name(), "Other");
    EXPECT_EQ(doc->DefaultTempo(), 10.0f);
    ASSERT_EQ(doc->Taal().Count(), 3);
    EXPECT_EQ(doc->Taal().Total(), 7.0f); // 1 + 2 beats doubled: 6 + 2, less the cut bol
    EXPECT_EQ(Describe(*doc->Taal().BolAt(2)),
              "Dhin: Open Ge 2 1 0 / Open Ge 3 0 -2.5 / Sur 13 1 0");
}

// play --routine prints each step as its first beat is heard, then that
// step's beats, and ends after the last; a routine that does not read is
// refused with its line.
TEST_F(CliCommands, PlayRoutinePrintsEachStepAsItStarts) {
    ::setenv("LORVANTA_AUDIO", "virtual", 1);
    ASSERT_EQ(Cli({"compose", "Dha | Na", "-o", "a.tal", "--name", "A"}).exitCode, 0);
    ASSERT_EQ(Cli({"compose", "Na | Ge [2]", "-o", "b.tal", "--name", "B"}).exitCode, 0);
    std::ofstream(m_dir / "r.routine") << "# two steps\na.tal | 2 cycles | 300 bpm\n"
                                          "b.tal | 1 cycle | +150 bpm\n";
    std::ofstream(m_dir / "bad.routine") << "a.tal | 2 cycles\nb.tal | 2 cycles | fast\n";
    std::ofstream(m_dir / "lost.routine") << "a.tal | 2 cycles\nc.tal | 2 cycles\n";
    Check({
        {{"play", "--routine", "r.routine", "--seconds", "30"},
         0,
         "",
         "~step 1 of 2: A, 2 cycles at 300 bpm\nbeat 1\nbeat 2\nbeat 1\nbeat 2\n"
         "step 2 of 2: B, 1 cycle at 450 bpm\nbeat 1\nbeat 2\nbeat 3\n"},
        {{"play", "--routine", "bad.routine"},
         2,
         "lorvanta-cli: bad.routine: Line 2: after the file come the length, the tempo and a "
         "pause, each once.\n",
         ""},
        {{"play", "--routine", "lost.routine"},
         2,
         "lorvanta-cli: Step 2: the Taal file \"c.tal\" was not found.\n",
         ""},
        {{"play", "a.tal", "--routine", "r.routine"}, 64, "~usage:", ""},
        {{"play", "--routine", "r.routine", "--tempo", "90"}, 64, "~--tempo cannot be given", ""},
    });
}

TEST(TaalJson, Latin1StringsAndFloatsThatReadBackExactly) {
    EXPECT_EQ(cli::JsonString("a\"b\\c/"), "\"a\\\"b\\\\c/\"");
    EXPECT_EQ(cli::JsonString(std::string("\x01\n\x1f\x7f\x80\xe9\xff", 7)),
              "\"\\u0001\\u000a\\u001f\\u007f\\u0080\\u00e9\\u00ff\"");
    EXPECT_EQ(cli::JsonFloat(1.0f), "1");
    EXPECT_EQ(cli::JsonFloat(DefaultTempo()), "99.9999924");
    EXPECT_EQ(cli::JsonFloat(-std::numeric_limits<float>::infinity()), "null");
}

} // namespace
} // namespace lorvanta::test
