// lorvanta-cli dump, convert, notation, parse and compose, run as a user runs
// them: exit codes, what goes to stdout and stderr, and the files written.
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
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

class CliCommands : public testing::Test {
protected:
    struct Run {
        int exitCode = -1;
        std::string out;
        std::string err;
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
        Run run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const auto out = TempDir::Read(m_out.Path() / "out");
        const auto err = TempDir::Read(m_out.Path() / "err");
        run.out.assign(out.begin(), out.end());
        run.err.assign(err.begin(), err.end());
        return run;
    }

    // The document in a file of the test's folder.
    std::unique_ptr<CLorvantaDoc> Open(const std::string& name) {
        auto doc = std::make_unique<CLorvantaDoc>();
        RecordingMessageSink sink;
        EXPECT_EQ(OpenTaalFile(*doc, m_dir / name, sink).result, kReadOk);
        return doc;
    }

    TempDir m_dir;
    TempDir m_out;
    std::filesystem::path m_noBols = m_out.Write("no bols.txt", {});
};

TEST_F(CliCommands, ExitCodesAndOutput) {
    CLorvantaDoc doc;
    m_dir.Write("empty.tal", WriteTaalDocument(doc));
    doc.InsertBol(-1);
    m_dir.Write("one.tal", WriteTaalDocument(doc));
    auto cut = WriteTaalDocument(doc);
    cut.resize(300);
    m_dir.Write("cut.tal", cut);
    m_dir.Write("old.tal", {1, 2, 3});
    m_dir.Write("long.tal", OneBolFile(Bytes().Bol("L", 0, 12.0f), 12.0f));
    m_dir.Write("fixed.tal", OneBolFile(Bytes().BolHead("B").Sound().Sound("x", 31)));
    std::ofstream(m_dir / "bols.txt") << "Dha = Na + Open Ge\n";

    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string err; // exact, or "~" and a part of it; %D is the folder
        std::string out = {};
    };
    std::vector<Case> cases = {
        {{"--bol-table", "bols.txt", "dump", "empty.tal"},
         0,
         "",
         "{\"result\": 0, \"valid\": true, \"repaired\": false, \"message\": null, \"version\": 4, "
         "\"tempo\": 99.9999924, \"name\": \"New Taal\", \"count\": 0, \"total\": 0, \"empty\": "
         "true, \"bols\": []}\n"},
        {{"dump", "one.tal"}, 0, "", "~\"count\": 1, \"total\": 1, \"empty\": false, "},
        // The message of a repaired file names its full path.
        {{"dump", "fixed.tal"},
         0,
         "",
         "~\"message\": \"Lorvanta encountered error 38 while reading file %D/fixed.tal, but"},
        {{"dump", "cut.tal"},
         2,
         "Cannot read file %D/cut.tal: the file ends inside the display name of bol 1 (byte 294, "
         "a string of 7 characters).\n"},
        // The notation pane's text and ranges.
        {{"compose", "Dha: Open Ge | Na | Tin | Ga [0.5]+ | Na | Silence [1]", "-o", "ex.tal"},
         0,
         ""},
        {{"notation", "ex.tal"},
         0,
         "",
         "{\"text\": \"Tabla: Dha: Open Ge [1.00] | Na | Tin | Ge [0.50]+ | Na | Silence [1.00]\", "
         "\"ranges\": [[7, 26], [29, 31], [34, 37], [40, 50], [53, 55], [58, 72]], \"code\": 0}\n"},
        {{"notation", "empty.tal"},
         0,
         "",
         "{\"text\": \"Compose a Taal by typing here or by inserting new bols above. Click "
         "\\\"Help\\\" button below to learn how to compose using notation.\", \"ranges\": [], "
         "\"code\": 0}\n"},
        {{"notation", "none.tal"}, 2, "~No such file or directory"},
        {{"parse", "tabla: dha: open ge(2) | xyz++"},
         0,
         "",
         "~\"count\": 2, \"total\": 4, \"empty\": false, \"bols\": [{\"name\": \"dha: open ge\", "
         "\"index\": 0, \"duration\": 2, \"reserved\": 0, \"pitch\": {\"name\": \"Na\", \"id\": "
         "12,"},
        {{"parse", "Na | Ta [20] | Ge"}, 2, "Error in taal at bol no 2, bol: Ta [20]\n"},
        {{"compose", "Na [0.5", "-o", "never.tal"}, 2, "Error in taal at bol no 1, bol: Na [0.5\n"},
        // Convert: the boxes of the read go to stderr; a file not read whole is
        // only converted when forced.
        {{"convert", "long.tal", "out.tal", "--force"},
         0,
         "Error 38 occurred while reading file %D/long.tal. Invalid Lorvanta file.\n"},
        {{"convert", "cut.tal", "old.tal"}, 2, "~Cannot read file"},
        {{"convert", "one.tal", "no/such/out.tal"},
         2,
         "Cannot save file %D/no/such/out.tal: No such file or directory.\n"},
        // Edit: the editor's lists (newest first), selection and messages.
        {{"compose", "Na | Tin [2] | Dha | Ge | Na | Tin | Na | Dha | Ge | Ta", "-o", "ten.tal"},
         0,
         ""},
        {{"edit", "ten.tal", "-o", "e.tal", "--script", "select 1 4 5; delete"},
         0,
         "",
         "{\"undo\": [32790], \"redo\": [], \"selected\": [], \"caret\": 5, \"anchor\": 5, "
         "\"modified\": true, \"messages\": []}\n"},
        {{"edit", "ten.tal", "-o", "e.tal", "--script", "select 0 1 2; copy; select 2; paste"},
         0,
         "",
         "~\"undo\": [32791], \"redo\": [], \"selected\": [4], \"caret\": 4, \"anchor\": 4"},
        {{"edit", "ten.tal", "-o", "e.tal", "--script",
          "properties \"New Taal\" 99.99999237060547; rename \"New Taal\""},
         0,
         "",
         "{\"undo\": [], \"redo\": [], \"selected\": [], \"caret\": -1, \"anchor\": -1, "
         "\"modified\": false, \"messages\": []}\n"},
        {{"edit", "ten.tal", "-o", "e.tal", "--script", "select 2; delete; undo; properties T 120"},
         0,
         "",
         "~\"undo\": [32795], \"redo\": [32790], "},
        {{"edit", "ten.tal", "-o", "e.tal", "--script",
          "delete; expand 2; expand 0.5; expand 3; cut; copy; paste; undo; redo; select 0; "
          "expand 10; expand 12; properties X 9.99"},
         0,
         "",
         "~\"messages\": [\"The command \\\"delete\\\" is not available now; it was skipped.\", "
         "\"The command \\\"expand 2\\\" is not available now; it was skipped.\", \"The command "
         "\\\"expand 0.5\\\" is not available now; it was skipped.\", \"The command "
         "\\\"expand\\\" is not available now; it was skipped.\", \"The command \\\"cut\\\" is "
         "not available now; it was skipped.\", \"The command \\\"copy\\\" is not available now; "
         "it was skipped.\", \"The command \\\"paste\\\" is not available now; it was "
         "skipped.\", \"The command \\\"undo\\\" is not available now; it was skipped.\", \"The "
         "command \\\"redo\\\" is not available now; it was skipped.\", \"Multiplier must be "
         "between 0.1 and 10.\", \"Tempo out of range: Enter a value between 10.0 and 1000.0 "
         "(measured in bpm)\"]}\n"},
        // A redo recorded before the notation replaced the Taal no longer fits.
        {{"edit", "ten.tal", "-o", "e.tal", "--script",
          "select 8; delete; undo; notation \"Na | Tin\"; redo"},
         0,
         "",
         "~\"undo\": [32823], \"redo\": [], \"selected\": [], \"caret\": 8, \"anchor\": 8, "
         "\"modified\": true, \"messages\": [\"This step could not be redone: the Taal has changed "
         "since the step was recorded and no longer has the bols it refers to (the Taal now has 2 "
         "bols). The step has been dropped.\"]}"},
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
        {{"edit", "ten.tal", "-o", "never.tal", "--script", "bol 1 duration=11"}, 64, "~duration"},
        {{"edit", "ten.tal", "-o", "never.tal", "--script", "rename \"open"}, 64, "~quoted"},
        {{"edit", "ten.tal", "-o", "never.tal"}, 64, "~usage: "},
        // The command line.
        {{"compose", "Na"}, 64, "~usage: "},
        {{"parse", "Na", "--tempo", "100"}, 64, "~usage: "},
        {{"dump", "a", "b"}, 64, "~usage: "},
        {{"dump", "--frob", "a"}, 64, "~usage: "},
        {{"--bol-table"}, 64, "~usage: "},
    };
    for (const char* tempo : {"9.99", "1000.5", "abc", "nan", "0x64", ""})
        cases.push_back({{"compose", "Na", "-o", "never.tal", "--tempo", tempo},
                         64,
                         "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in "
                         "bpm)\n"});
    auto expect = [&](const std::string& actual, std::string expected) {
        for (auto at = expected.find("%D"); at != std::string::npos; at = expected.find("%D"))
            expected.replace(at, 2, m_dir.Path().string());
        if (expected.starts_with("~"))
            EXPECT_NE(actual.find(expected.substr(1)), std::string::npos) << actual;
        else
            EXPECT_EQ(actual, expected);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Run run = Cli(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        expect(run.err, c.err);
        expect(run.out, c.out);
    }
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
    // Repaired only: an unknown instrument becomes the Tabla; the file stays valid.
    m_dir.Write("fixed.tal", OneBolFile(Bytes().BolHead("B").Sound().Sound("Na", 12, 2)));
    const auto readOnly = m_dir.Write("kept.tal", {1, 2});
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
    m_dir.Write("big.txt", std::vector<std::uint8_t>((1 << 20) + 1, '\n'));
    std::filesystem::create_directory(m_dir / "folder");
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((m_dir / "fifo.wav").c_str(), 0644), 0);
    // A link planted where a fixed temporary name would be is never followed.
    const auto victim = m_dir.Write("victim", {5});
    std::filesystem::create_symlink(victim, m_dir / "planted.wav.part");
    const std::string invalid = "~Invalid Lorvanta file.\nlorvanta-cli: the file was not read "
                                "completely; nothing is written (--force writes what was read)\n";
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string err; // "~" and a part of it; %D is the folder
    };
    const Case cases[] = {
        {{"convert", "long.tal", "never.tal"}, 3, invalid},
        {{"render", "long.tal", "-o", "never.wav"}, 3, invalid},
        {{"edit", "long.tal", "-o", "never.tal", "--script", "append"}, 3, invalid},
        {{"notation", "long.tal"}, 3, invalid},
        // A repair alone goes ahead, as the program invites the user to save it.
        {{"convert", "fixed.tal", "fixed2.tal"}, 0, "~tried to repair"},
        {{"render", "long.tal", "-o", "long.wav", "--force"}, 0, "~Invalid Lorvanta file."},
        {{"notation", "long.tal", "--force"}, 0, "~Invalid Lorvanta file."},
        // Only regular files are read...
        {{"dump", "fifo"}, 2, "Cannot read file %D/fifo: it is not a regular file.\n"},
        {{"convert", "fifo", "never.tal"}, 2, "~it is not a regular file."},
        {{"--bol-table", "fifo", "dump", "one.tal"}, 64, "~bol table fifo is not a regular file"},
        {{"--bol-table", "folder", "dump", "one.tal"}, 64, "~is not a regular file"},
        {{"--bol-table", "none.txt", "dump", "one.tal"}, 64, "~bol table none.txt does not exist"},
        {{"--bol-table", "big.txt", "dump", "one.tal"}, 2, "~is larger than 1 MB"},
        // ...and written.
        {{"convert", "one.tal", "fifo"}, 2, "%D/fifo is not a regular file.\n"},
        {{"convert", "one.tal", "folder"}, 2, "%D/folder is not a regular file.\n"},
        {{"render", "one.tal", "-o", "fifo.wav"}, 2, "~fifo.wav is not a regular file."},
        {{"render", "one.tal", "-o", "planted.wav"}, 0, ""},
        {{"convert", "one.tal", "kept.tal"}, 2, "%D/kept.tal is read-only.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Run run = Cli(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        std::string expected = c.err;
        for (auto at = expected.find("%D"); at != std::string::npos; at = expected.find("%D"))
            expected.replace(at, 2, m_dir.Path().string());
        if (expected.starts_with("~"))
            EXPECT_NE(run.err.find(expected.substr(1)), std::string::npos) << run.err;
        else
            EXPECT_EQ(run.err, expected);
    }
    EXPECT_EQ(TempDir::Read(victim), std::vector<std::uint8_t>{5});
    EXPECT_GT(std::filesystem::file_size(m_dir / "planted.wav"), 44u);
    for (const char* never : {"never.tal", "never.wav"})
        EXPECT_FALSE(std::filesystem::exists(m_dir / never)) << never;
    EXPECT_TRUE(std::filesystem::exists(m_dir / "fixed2.tal"));
    EXPECT_TRUE(std::filesystem::exists(m_dir / "long.wav"));
    EXPECT_TRUE(std::filesystem::is_fifo(m_dir / "fifo"));
    EXPECT_EQ(TempDir::Read(readOnly), (std::vector<std::uint8_t>{1, 2}));
}

// bank never replaces stroke files unless forced, and never the kit it reads.
TEST_F(CliCommands, BankKeepsExistingStrokes) {
    ASSERT_EQ(Cli({"bank", "kit"}).exitCode, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir / "kit"), {}), 30);
    m_dir.Write("kit/12 Na.wav", {1, 2, 3}); // the user's own recording, unreadable or not
    std::filesystem::create_directory(m_dir / "mine");
    m_dir.Write("mine/29 Mine.FLAC", {4});
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string err;
    };
    const Case cases[] = {
        {{"bank", "kit"}, 2, "~kit already holds stroke file "},
        {{"bank", "mine"}, 2, "~mine already holds stroke file 29 Mine.FLAC"},
        {{"bank", "kit", "--kit", "kit", "--force"}, 2, "~kit is the kit folder"},
        {{"bank", "./kit/", "--kit", "kit"}, 2, "~is the kit folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Run run = Cli(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_NE(run.err.find(c.err.substr(1)), std::string::npos) << run.err;
    }
    EXPECT_EQ(TempDir::Read(m_dir / "kit/12 Na.wav"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(TempDir::Read(m_dir / "mine/29 Mine.FLAC"), (std::vector<std::uint8_t>{4}));
    ASSERT_EQ(Cli({"bank", "kit", "--force"}).exitCode, 0);
    EXPECT_GT(TempDir::Read(m_dir / "kit/12 Na.wav").size(), 44u);
}

TEST_F(CliCommands, ComposeSavesNameAndTempo) {
    ASSERT_EQ(
        Cli({"compose", "Dha | Dhin", "-o", "mine.tal", "--name", "Mine", "--tempo", "10"}, false)
            .exitCode,
        0);
    auto doc = Open("mine.tal");
    EXPECT_EQ(doc->Taal().Name(), "Mine");
    EXPECT_EQ(doc->DefaultTempo(), 10.0f);
    ASSERT_EQ(doc->Taal().Count(), 2);
    // The shipped bols: Dha and Dhin over the open Ge.
    EXPECT_EQ(doc->Taal().BolAt(0)->bass.soundId, 3u);
    EXPECT_EQ(doc->Taal().BolAt(1)->bass.soundId, 3u);

    ASSERT_EQ(Cli({"compose", "Na", "-o", "mine.tal"}).exitCode, 0);
    doc = Open("mine.tal");
    EXPECT_EQ(doc->Taal().Name(), "New Taal");
    EXPECT_EQ(doc->DefaultTempo(), DefaultTempo());
}

TEST_F(CliCommands, EditSavesWhatTheCommandsMade) {
    ASSERT_EQ(
        Cli({"compose", "Na | Tin [2] | Dha [1] | Ge", "-o", "in.tal", "--tempo", "144"}).exitCode,
        0);
    // Clear All keeps the name and the tempo, so its Undo gives back the same file.
    ASSERT_EQ(Cli({"edit", "in.tal", "-o", "back.tal", "--script", "select-all; clear-all; undo"})
                  .exitCode,
              0);
    EXPECT_EQ(TempDir::Read(m_dir / "back.tal"), TempDir::Read(m_dir / "in.tal"));

    ASSERT_EQ(Cli({"edit", "in.tal", "-o", "out.tal", "--script",
                   "select 0 1; expand 2; bol 3 \"name=Dhin: Open Ge\" bass-emphasis=-2.5 "
                   "pitch-instrument=Pakhawaj; "
                   "select 2; cut; rename Mine"})
                  .exitCode,
              0);
    auto doc = Open("out.tal");
    EXPECT_EQ(doc->Taal().Name(), "Mine");
    EXPECT_EQ(doc->DefaultTempo(), 144.0f);
    ASSERT_EQ(doc->Taal().Count(), 3);
    EXPECT_EQ(doc->Taal().Total(), 7.0f); // 1 + 2 beats doubled: 5 + 3, less the cut bol
    const CBol2& dhin = *doc->Taal().BolAt(2);
    EXPECT_EQ(dhin.name, "Dhin: Open Ge");
    EXPECT_EQ(dhin.pitch.name, "Sur");
    EXPECT_EQ(dhin.pitch.instrument, Pakhawaj);
    EXPECT_EQ(dhin.bass.name, "Open Ge");
    EXPECT_EQ(dhin.bass.emphasis, -2.5f);
}

TEST_F(CliCommands, ConvertSavesVersion4UnderTheOpeningRules) {
    m_dir.Write("Old.tal", LegacyRecord("Dha", "Normal Ge", "Na", 2.0f));
    ASSERT_EQ(Cli({"convert", "Old.tal", "New.tal"}).exitCode, 0);
    auto doc = Open("New.tal");
    EXPECT_EQ(TempDir::Read(m_dir / "New.tal")[2], 4);
    EXPECT_EQ(doc->Taal().Name(), "Old.tal");
    ASSERT_EQ(doc->Taal().Count(), 1);
    EXPECT_EQ(doc->Taal().BolAt(0)->bass.name, "Pressed Ge");

    // A tempo outside 10..1000 becomes the default.
    for (const float tempo : {5.0f, 240.0f}) {
        m_dir.Write("in.tal", Bytes().Header().Params(tempo).TaalHead("T", 0, 0.0f, 0));
        ASSERT_EQ(Cli({"convert", "in.tal", "out.tal"}).exitCode, 0);
        EXPECT_EQ(Open("out.tal")->DefaultTempo(), tempo == 5.0f ? DefaultTempo() : tempo);
    }
}

} // namespace
} // namespace lorvanta::test
