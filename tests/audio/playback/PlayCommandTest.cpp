// lorvanta-cli play, run as the built program on the virtual output: the beat
// lines, --from, Ctrl+C, and what it refuses.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const std::string kTeentaal = std::string(LORVANTA_SOURCE_DIR) + "/Taals/Teentaal.tal";

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the tool with LORVANTA_AUDIO set to `output`; with interruptAfter set,
// sends it SIGINT after that long.
Outcome Play(const std::vector<std::string>& args, const std::string& output = "virtual",
             std::chrono::milliseconds interruptAfter = std::chrono::milliseconds(0)) {
    const std::string base = testing::TempDir() + "play-" + std::to_string(::getpid());
    const std::string outPath = base + ".out";
    const std::string errPath = base + ".err";
    std::vector<std::string> argv = {LORVANTA_CLI, "play"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& arg : argv)
        raw.push_back(arg.data());
    raw.push_back(nullptr);
    std::vector<std::string> env = {"LORVANTA_AUDIO=" + output, "JACK_NO_START_SERVER=1",
                                    "JACK_DEFAULT_SERVER=lorvanta-none"};
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("LORVANTA_AUDIO=", 0) != 0 && entry.rfind("JACK_", 0) != 0)
            env.push_back(entry);
    }
    std::vector<char*> rawEnv;
    for (std::string& entry : env)
        rawEnv.push_back(entry.data());
    rawEnv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    Outcome run;
    const int spawned =
        posix_spawn(&pid, LORVANTA_CLI, &actions, nullptr, raw.data(), rawEnv.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    if (interruptAfter.count() > 0) {
        std::this_thread::sleep_for(interruptAfter);
        ::kill(pid, SIGINT);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return run;
}

std::vector<int> Beats(const std::string& out) {
    std::vector<int> beats;
    std::istringstream lines(out);
    std::string word;
    int beat = 0;
    while (lines >> word >> beat) {
        EXPECT_EQ(word, "beat");
        beats.push_back(beat);
    }
    return beats;
}

TEST(PlayCommand, PrintsEachWholeBeatInTurnAndGoesRound) {
    // 600 bpm: a beat every 100 ms, 16 beats a cycle.
    const Outcome run = Play({kTeentaal, "--tempo", "600", "--seconds", "2.5"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<int> beats = Beats(run.out);
    ASSERT_GE(beats.size(), 20u);
    ASSERT_LE(beats.size(), 27u);
    EXPECT_EQ(beats.front(), 1);
    // Each line the next beat, 16 followed by 1. (A feeding thread held up
    // longer than the ring, as on an overloaded machine, may skip one.)
    int skips = 0;
    for (std::size_t i = 1; i < beats.size(); ++i) {
        const int step = (beats[i] - beats[i - 1] + 16) % 16;
        ASSERT_TRUE(step == 1 || step == 2) << "line " << i << ": " << run.out;
        skips += step == 2 ? 1 : 0;
    }
    EXPECT_LE(skips, 1) << run.out;
}

TEST(PlayCommand, FromStartsAtThatBol) {
    const Outcome run = Play({kTeentaal, "--tempo", "600", "--seconds", "0.5", "--from", "5"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<int> beats = Beats(run.out);
    ASSERT_FALSE(beats.empty());
    EXPECT_EQ(beats.front(), 5);
}

TEST(PlayCommand, CtrlCStopsCleanly) {
    const Outcome run =
        Play({kTeentaal, "--tempo", "600"}, "virtual", std::chrono::milliseconds(700));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(Beats(run.out).empty());
}

TEST(PlayCommand, RefusesWhatItCannotPlay) {
    EXPECT_EQ(Play({kTeentaal, "--tempo", "5"}).exitCode, 64);
    EXPECT_EQ(Play({kTeentaal, "--pitch", "7"}).exitCode, 64);
    EXPECT_EQ(Play({kTeentaal, "--from", "0"}).exitCode, 64);
    const Outcome past = Play({kTeentaal, "--from", "17"});
    EXPECT_EQ(past.exitCode, 64);
    EXPECT_NE(past.err.find("the Taal has 16 bols"), std::string::npos) << past.err;
    EXPECT_EQ(Play({kTeentaal, "--seconds", "-1"}).exitCode, 64);
    EXPECT_EQ(Play({}).exitCode, 64);
    EXPECT_EQ(Play({testing::TempDir() + "no such file.tal", "--seconds", "1"}).exitCode, 2);

    const Outcome bogus = Play({kTeentaal, "--seconds", "1"}, "speakers");
    EXPECT_EQ(bogus.exitCode, 64);
    EXPECT_NE(bogus.err.find("LORVANTA_AUDIO"), std::string::npos) << bogus.err;
}

TEST(PlayCommand, WithoutADeviceSaysHowToPlayWithoutOne) {
    const Outcome run = Play({kTeentaal, "--seconds", "0.2"}, "device");
    if (run.exitCode == 0)
        GTEST_SKIP() << "this machine has a sound device";
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("Error initializing DirectSound framework (error code = 29)"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("LORVANTA_AUDIO=virtual"), std::string::npos) << run.err;
}

} // namespace
