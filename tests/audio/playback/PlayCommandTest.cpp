// lorvanta-cli play, run as the built program on the virtual output: the beat
// lines, --from, Ctrl+C, and what it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

const std::string kTeentaal = std::string(LORVANTA_SOURCE_DIR) + "/Taals/Teentaal.tal";

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    std::remove(path.c_str());
    return text.str();
}

// Runs `play args` with LORVANTA_AUDIO set to `output`, no JACK server to
// find; with `interrupt`, sends it SIGINT once it has printed its first beat
// (a loaded machine may take a while to start it), or after 10 s.
Outcome Play(const std::string& args, const std::string& output = "virtual",
             bool interrupt = false) {
    const std::string base = testing::TempDir() + "play-" + std::to_string(::getpid());
    const std::string out = "'" + base + ".out'";
    std::string command = "env LORVANTA_AUDIO=" + output +
                          " JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER=lorvanta-none '" LORVANTA_CLI
                          "' play " +
                          args + " >" + out + " 2>'" + base + ".err'";
    if (interrupt)
        command = "sh -c \"" + command + " & p=\\$!; i=0; until [ -s " + out +
                  " ] || [ \\$i -ge 200 ]; do sleep 0.05; i=\\$((i+1)); done; kill -INT \\$p; wait "
                  "\\$p\"";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(base + ".out"),
            Slurp(base + ".err")};
}

TEST(PlayCommand, EachBeatIsPrintedWhenItIsHeard) {
    // 1000 bpm: a beat every 60 ms, beat 1 at once, each beat in turn and 16
    // followed by 1. A machine busy enough to stall the program now and then
    // gets another try.
    std::string failure;
    for (int attempt = 0; attempt < 3 && (attempt == 0 || !failure.empty()); ++attempt) {
        const Outcome run = Play("'" + kTeentaal + "' --tempo 1000 --seconds 1.1 --times");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::istringstream lines(run.out);
        std::string word, at;
        int beat = 0, count = 0;
        double seconds = 0.0;
        for (failure.clear(); lines >> word >> beat >> at >> seconds; ++count) {
            if (beat != count % 16 + 1 || std::abs(seconds - 0.060 * count) > 0.005)
                failure += "beat " + std::to_string(beat) + " at " + std::to_string(seconds) + "\n";
        }
        if (count < 17)
            failure += "too few beats: " + run.out;
    }
    EXPECT_TRUE(failure.empty()) << failure;
}

TEST(PlayCommand, ARampStepsTheTempoAtEachCyclesStart) {
    // Keherwa's 8 beats from 480 bpm, +240 each cycle up to 960, then held:
    // every beat of a cycle, its first included, is that cycle's tempo long.
    const std::string keherwa = std::string(LORVANTA_SOURCE_DIR) + "/Taals/Keherwa.tal";
    const double tempos[] = {480, 720, 960, 960};
    std::string failure;
    for (int attempt = 0; attempt < 3 && (attempt == 0 || !failure.empty()); ++attempt) {
        const Outcome run =
            Play("'" + keherwa + "' --tempo 480 --ramp 960:240:1 --seconds 2.9 --times");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::istringstream lines(run.out);
        std::string word, at;
        int beat = 0, cycle = 0, count = 0;
        double seconds = 0.0, last = 0.0;
        for (failure.clear(); lines >> word >> beat >> at >> seconds && cycle < 4; ++count) {
            if (count > 0 && std::abs(seconds - last - 60.0 / tempos[cycle]) > 0.005)
                failure += "cycle " + std::to_string(cycle) + " beat " + std::to_string(beat) +
                           " at " + std::to_string(seconds) + "\n";
            cycle += beat == 1 && count > 0 ? 1 : 0;
            last = seconds;
        }
        if (cycle < 4)
            failure += "too few cycles: " + run.out;
    }
    EXPECT_TRUE(failure.empty()) << failure;
}

TEST(PlayCommand, FromStartsAtThatBolAndCtrlCStopsCleanly) {
    // The drone under it and the drums' levels change nothing of the beats.
    const Outcome from = Play("'" + kTeentaal +
                              "' --tempo 600 --seconds 0.5 --from 5 --drone ni --drone-level -3"
                              " --treble-level -6 --bass-level off");
    ASSERT_EQ(from.exitCode, 0) << from.err;
    EXPECT_EQ(from.out.substr(0, 7), "beat 5\n") << from.out;

    const Outcome stopped = Play("'" + kTeentaal + "' --tempo 600", "virtual", true);
    EXPECT_EQ(stopped.exitCode, 0) << stopped.err;
    EXPECT_EQ(stopped.out.substr(0, 7), "beat 1\n") << stopped.out;
}

TEST(PlayCommand, RefusesWhatItCannotPlay) {
    const std::string taal = "'" + kTeentaal + "' ";
    // Arguments, the output asked for, the exit code and what stderr says;
    // tempo and pitch are read as render reads them.
    for (const auto& [args, output, code, says] : {
             std::tuple<std::string, const char*, int, const char*>(taal + "--from 0", "virtual",
                                                                    64, ""),
             {"'/nonexistent/no such file.tal' --seconds 1", "virtual", 2, ""},
             {taal + "--from 17", "virtual", 64, "the Taal has 16 bols"},
             {taal + "--seconds 1", "speakers", 64, "LORVANTA_AUDIO"},
             {taal + "--drone-level -3", "virtual", 64, "need --drone"},
             {taal + "--drone sa --drone-octave 2", "virtual", 64, "--drone-octave needs 3 or 4"},
             {taal + "--ramp 200:10", "virtual", 64, "--ramp needs TARGET:STEP:CYCLES"},
             {taal + "--ramp 200:x:2", "virtual", 64, "--ramp needs TARGET:STEP:CYCLES"},
             {taal + "--ramp 1200:10:2", "virtual", 64, "target tempo must lie between"},
             {taal + "--ramp 200:0:2", "virtual", 64, "step must be more than 0"},
             {taal + "--ramp 200:10:0", "virtual", 64, "cycles per step"},
         }) {
        const Outcome run = Play(args, output);
        EXPECT_EQ(run.exitCode, code) << args;
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
    }
}

} // namespace
