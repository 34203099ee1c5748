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

// Each beat is printed when it is heard, each in turn: Teentaal at 1000 bpm (a
// beat every 60 ms, beat 1 at once, 16 followed by 1), and Keherwa's 8 beats
// from 480 bpm, +240 each cycle up to 960, then held (every beat of a cycle,
// its first included, is that cycle's tempo long). A machine busy enough to
// stall the program now and then gets another try.
TEST(PlayCommand, EachBeatIsPrintedWhenItIsHeard) {
    const std::string keherwa = std::string(LORVANTA_SOURCE_DIR) + "/Taals/Keherwa.tal";
    for (const auto& [args, beats, tempos] : {
             std::tuple(kTeentaal + "' --tempo 1000 --seconds 1.1", 16, std::vector<double>{1000}),
             {keherwa + "' --tempo 480 --ramp 960:240:1 --seconds 2.9", 8, {480, 720, 960, 960}},
         }) {
        const std::size_t checked = tempos.size() * static_cast<std::size_t>(beats);
        std::string failure;
        for (int attempt = 0; attempt < 3 && (attempt == 0 || !failure.empty()); ++attempt) {
            const Outcome run = Play("'" + args + " --times");
            ASSERT_EQ(run.exitCode, 0) << run.err;
            std::istringstream lines(run.out);
            std::string word, at;
            int beat = 0;
            std::size_t count = 0;
            double seconds = 0.0, last = 0.0;
            for (failure.clear(); count <= checked && lines >> word >> beat >> at >> seconds;
                 ++count, last = seconds) {
                const double expected =
                    count == 0 ? 0.0 : last + 60.0 / tempos[(count - 1) / std::size_t(beats)];
                if (beat != static_cast<int>(count) % beats + 1 ||
                    std::abs(seconds - expected) > 0.005)
                    failure +=
                        "beat " + std::to_string(beat) + " at " + std::to_string(seconds) + "\n";
            }
            if (count <= checked)
                failure += "too few beats: " + run.out;
        }
        EXPECT_TRUE(failure.empty()) << args << "\n" << failure;
    }
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
             {taal + "--ramp 1200:10:2", "virtual", 64, "target tempo must lie between"},
         }) {
        const Outcome run = Play(args, output);
        EXPECT_EQ(run.exitCode, code) << args;
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
    }
}

} // namespace
