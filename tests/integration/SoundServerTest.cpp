// Playing through a real sound server that the test starts itself: a
// PulseAudio server with a null sink (and a JACK server with its dummy
// driver), in a private runtime folder, so that it runs as root in a machine
// without a sound card. What reaches the sink is recorded from its monitor and
// compared with the Taal rendered to a file. Skipped when the servers are not
// installed.
#include "audio/SampleBank.h"
#include "audio/playback/PlaybackEngine.h"
#include "audiodevice/SystemOutput.h"
#include "model/Messages.h"
#include "persistence/TaalFile.h"
#include "session/LorvantaSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lorvanta {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The recording's rate: the sink's own, so that the server converts nothing and
// the recording's samples fall where the sink's do. Recorded at half the rate,
// a stream that began on an odd sample of the sink comes out half a sample off
// the render, and the sharpest attacks correlate at only 0.977.
constexpr int kRate = 44100;
const std::string kTeentaal = std::string(LORVANTA_SOURCE_DIR) + "/Taals/Teentaal.tal";

bool Installed(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Polls `done` every 20 ms for at most `limit`.
template <class Done> bool WaitFor(Done done, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A program started in the background, its output into files.
class Background {
public:
    Background(const std::string& command, const fs::path& out, const fs::path& err) {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setpgid(0, 0);
            std::freopen(out.c_str(), "w", stdout);
            std::freopen(err.c_str(), "w", stderr);
            ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Background() { Stop(SIGKILL); }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // The exit status once it has ended (nothing while it runs).
    std::optional<int> Poll() {
        if (m_pid <= 0)
            return m_status;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return m_status;
    }
    void Stop(int signal) {
        if (m_pid > 0) {
            ::kill(m_pid, signal);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
            m_status = -1;
        }
    }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// The private runtime folder and the environment every program gets.
class Servers {
public:
    Servers()
        : m_root(fs::temp_directory_path() / ("lorvanta-sound-" + std::to_string(::getpid()))) {
        fs::create_directories(m_root / "run");
        fs::create_directories(m_root / "home");
        fs::permissions(m_root / "run", fs::perms::owner_all, fs::perm_options::replace);
        ::setenv("XDG_RUNTIME_DIR", (m_root / "run").c_str(), 1);
        ::setenv("HOME", (m_root / "home").c_str(), 1);
        ::setenv("LORVANTA_AUDIO", "device", 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
        ::setenv("JACK_DEFAULT_SERVER", JackName().c_str(), 1);
    }
    ~Servers() {
        m_recorder.reset();
        m_keeper.reset();
        m_pulse.reset();
        // Asked to quit, JACK takes its name out of the machine's registry of
        // servers; killed, it leaves it there, and after a few runs no server
        // may start.
        if (m_jack)
            m_jack->Stop(SIGTERM);
        m_jack.reset();
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    const fs::path& Root() const { return m_root; }
    std::string JackName() const { return "lorvanta-" + std::to_string(::getpid()); }

    // A PulseAudio server with one null sink, answering when this returns,
    // its monitor recorded into `recording`. An idle null sink renders ahead
    // by up to two seconds, holding back the start of any new stream (a
    // sound card's sink does not); a silent stream of short latency keeps it
    // rendering in short blocks, as a card would.
    bool StartPulse(const fs::path& recording, bool warmUp = true) {
        if (!StartServer())
            return false;
        m_keeper = std::make_unique<Background>(
            "pacat --latency-msec=20 --raw --rate=44100 --channels=2 --format=s16le /dev/zero",
            m_root / "keeper.out", m_root / "keeper.err");
        if (!WaitFor([] { return std::system("pactl list short sink-inputs | grep -q .") == 0; },
                     std::chrono::seconds(10)))
            return false;
        // A server's first client of the sound library's kind starts late
        // (once per server): that one plays before anything is measured.
        if (warmUp)
            std::system(
                ("'" LORVANTA_CLI "' play '" + kTeentaal + "' --seconds 0.5 >/dev/null 2>&1")
                    .c_str());
        Record(recording);
        return WaitFor([&] { return fs::exists(recording); }, std::chrono::seconds(5));
    }
    bool StartServer() {
        m_pulse = std::make_unique<Background>(
            "pulseaudio --daemonize=no --exit-idle-time=-1 -n --disallow-exit "
            "--load='module-null-sink sink_name=lorvanta_null rate=44100' "
            "--load=module-native-protocol-unix --log-target=stderr",
            m_root / "pulse.out", m_root / "pulse.err");
        return WaitFor([] { return std::system("pactl info >/dev/null 2>&1") == 0; },
                       std::chrono::seconds(15));
    }
    void KillPulse() {
        m_recorder.reset();
        m_keeper.reset();
        if (m_pulse)
            m_pulse->Stop(SIGKILL);
    }
    void StopPulse() {
        StopRecording();
        m_keeper.reset();
        if (m_pulse)
            m_pulse->Stop(SIGTERM);
    }
    // Records the null sink's monitor, mono at the sink's rate, raw.
    void Record(const fs::path& raw) {
        m_recorder = std::make_unique<Background>(
            "parec -d lorvanta_null.monitor --rate=44100 --channels=1 --format=s16le --raw "
            "--latency-msec=20 '" +
                raw.string() + "'",
            m_root / "parec.out", m_root / "parec.err");
    }
    void StopRecording() {
        if (m_recorder)
            m_recorder->Stop(SIGINT);
        m_recorder.reset();
    }
    bool StartJack() {
        m_jack = std::make_unique<Background>("jackd -n " + JackName() +
                                                  " --no-realtime -d dummy -r 48000 -p 1024",
                                              m_root / "jack.out", m_root / "jack.err");
        // JACK_DEFAULT_SERVER names it for every client, jack_lsp included.
        return WaitFor([] { return std::system("jack_lsp >/dev/null 2>&1") == 0; },
                       std::chrono::seconds(15));
    }

private:
    fs::path m_root;
    std::unique_ptr<Background> m_pulse, m_recorder, m_keeper, m_jack;
};

std::vector<float> ReadRaw(const fs::path& path) {
    const std::string bytes = Slurp(path);
    std::vector<float> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        std::int16_t sample = 0;
        std::memcpy(&sample, bytes.data() + 2 * i, 2);
        samples[i] = sample;
    }
    return samples;
}

// The samples of a 16-bit mono WAV file (its data chunk).
std::vector<float> ReadWave(const fs::path& path) {
    const std::string bytes = Slurp(path);
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        std::uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (bytes.compare(at, 4, "data") == 0) {
            const fs::path raw = path.string() + ".raw";
            std::ofstream(raw, std::ios::binary)
                .write(bytes.data() + at + 8, std::min<std::size_t>(size, bytes.size() - at - 8));
            return ReadRaw(raw);
        }
        at += 8 + size + size % 2;
    }
    return {};
}

// Normalised correlation of n samples of a from `at` and of the cycle from
// `cycleAt` (round the cycle).
double Correlation(const std::vector<float>& a, std::size_t at, const std::vector<float>& cycle,
                   std::size_t cycleAt, std::size_t n) {
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = a[at + i];
        const double y = cycle[(cycleAt + i) % cycle.size()];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return xx > 0.0 && yy > 0.0 ? xy / std::sqrt(xx * yy) : 0.0;
}

// Where in the recording (from `from`, within `span` samples) the cycle's
// samples from `cycleAt` start best, over n samples: the place and its score.
std::pair<std::size_t, double> BestMatch(const std::vector<float>& recording, std::size_t from,
                                         std::size_t span, const std::vector<float>& cycle,
                                         std::size_t cycleAt, std::size_t n) {
    std::pair<std::size_t, double> best{from, -2.0};
    const std::size_t last =
        std::min(from + span, recording.size() - std::min(recording.size(), n));
    for (std::size_t at = from; at < last; at += 4) {
        const double score = Correlation(recording, at, cycle, cycleAt, n);
        if (score > best.second)
            best = {at, score};
    }
    for (std::size_t at = best.first > 4 ? best.first - 4 : 0; at <= best.first + 4 && at < last;
         ++at) {
        const double score = Correlation(recording, at, cycle, cycleAt, n);
        if (score > best.second)
            best = {at, score};
    }
    return best;
}

// Where in the cycle the recording's n samples from `at` are: the cycle's
// offset and the score.
std::pair<std::size_t, double> PlaceInCycle(const std::vector<float>& recording, std::size_t at,
                                            const std::vector<float>& cycle, std::size_t n) {
    std::pair<std::size_t, double> best{0, -2.0};
    for (std::size_t offset = 0; offset < cycle.size(); offset += 4) {
        const double score = Correlation(recording, at, cycle, offset, n);
        if (score > best.second)
            best = {offset, score};
    }
    const std::size_t around = best.first;
    for (std::size_t offset = around + cycle.size() - 4; offset <= around + cycle.size() + 4;
         ++offset) {
        const double score = Correlation(recording, at, cycle, offset % cycle.size(), n);
        if (score > best.second)
            best = {offset % cycle.size(), score};
    }
    return best;
}

std::size_t LastSound(const std::vector<float>& samples) {
    for (std::size_t i = samples.size(); i > 0; --i) {
        if (std::abs(samples[i - 1]) > 300.0f)
            return i;
    }
    return 0;
}

std::size_t FirstSound(const std::vector<float>& samples, std::size_t from = 0) {
    for (std::size_t i = from; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > 300.0f)
            return i;
    }
    return samples.size();
}

// The beats printed by `play --times`.
std::vector<int> PrintedBeats(const std::string& out) {
    std::vector<int> beats;
    std::istringstream lines(out);
    std::string word, at;
    int beat = 0;
    double seconds = 0.0;
    while (lines >> word >> beat >> at >> seconds)
        beats.push_back(beat);
    return beats;
}

std::string Cli() {
    return "'" LORVANTA_CLI "'";
}

class SoundServerTest : public testing::Test {
protected:
    void SetUp() override {
        if (!Installed("pulseaudio") || !Installed("parec") || !Installed("pactl"))
            GTEST_SKIP() << "no PulseAudio server installed";
    }

    // The Taal's one cycle at `bpm`, rendered to a file.
    std::vector<float> Render(int bpm) {
        const fs::path wave = m_servers.Root() / ("render-" + std::to_string(bpm) + ".wav");
        const std::string command = Cli() + " render '" + kTeentaal + "' -o '" + wave.string() +
                                    "' --tempo " + std::to_string(bpm) +
                                    " --ring cut --humanise 0 --rate 44100 >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return ReadWave(wave);
    }

    Servers m_servers;
};

// Every stroke of the cycle arrives, in order, as rendered; the beats printed
// only move forward. A machine too busy to keep the sound going gets another
// try: what is checked is the order and content, not the timing.
TEST_F(SoundServerTest, EveryStrokeArrivesInOrder) {
    const std::vector<float> cycle = Render(240);
    ASSERT_FALSE(cycle.empty());
    const double beat = kRate * 60.0 / 240.0;
    std::string failure = "not run";
    std::vector<double> scores;
    for (int attempt = 0; attempt < 3 && !failure.empty(); ++attempt) {
        failure.clear();
        scores.clear();
        const fs::path raw = m_servers.Root() / "played.raw";
        ASSERT_TRUE(m_servers.StartPulse(raw));
        const fs::path out = m_servers.Root() / "play.out";
        const std::string command = Cli() + " play '" + kTeentaal +
                                    "' --tempo 240 --seconds 6 --times --ring cut --humanise 0 >'" +
                                    out.string() + "' 2>'" +
                                    (m_servers.Root() / "play.err").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << Slurp(m_servers.Root() / "play.err");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        m_servers.StopPulse();

        const std::vector<int> printed = PrintedBeats(Slurp(out));
        ASSERT_GE(printed.size(), 10u);
        for (std::size_t i = 1; i < printed.size(); ++i) {
            if (printed[i] != printed[i - 1] % 16 + 1)
                failure += "printed beat " + std::to_string(printed[i]) + " after " +
                           std::to_string(printed[i - 1]) + "\n";
        }
        const std::vector<float> recording = ReadRaw(raw);
        const std::size_t onset = FirstSound(recording);
        ASSERT_LT(onset, recording.size()) << "nothing reached the sink";
        const auto n = static_cast<std::size_t>(beat);
        ASSERT_LT(onset + 2 * n, recording.size()) << "hardly anything reached the sink";
        // Where the recording is in the cycle, from the first whole beat on.
        // Four beats, since a theka repeats its bols.
        ASSERT_LT(onset + 5 * n, recording.size()) << "hardly anything reached the sink";
        const auto [place, placeScore] = PlaceInCycle(recording, onset + n / 4, cycle, 4 * n);
        if (placeScore < 0.99) {
            failure = "the first beats do not match the cycle: " + std::to_string(placeScore);
            continue;
        }
        const auto first = static_cast<int>(std::ceil(static_cast<double>(place) / beat));
        std::size_t at =
            onset + n / 4 + static_cast<std::size_t>(std::lround(first * beat)) - place;
        int checked = 0;
        const std::size_t end = LastSound(recording);
        for (int k = first; at + n + 200 < end; ++k, ++checked) {
            const auto cycleAt = static_cast<std::size_t>(std::lround(k * beat)) % cycle.size();
            // Each beat is looked for just after the last one, or a little
            // later (a gap the server played while the machine was busy): a
            // stroke missing or out of order does not match there.
            const auto [found, score] =
                BestMatch(recording, at > 200 ? at - 200 : 0, 200 + kRate / 5, cycle, cycleAt, n);
            if (score < 0.99)
                failure += "beat " + std::to_string(k % 16 + 1) + " of cycle " +
                           std::to_string(k / 16 + 1) + ": correlation " + std::to_string(score) +
                           "\n";
            scores.push_back(score);
            at = found +
                 static_cast<std::size_t>(std::lround((k + 1) * beat) - std::lround(k * beat));
        }
        if (checked < 16)
            failure += "only " + std::to_string(checked) + " beats recorded\n";
    }
    EXPECT_EQ(failure, "");
    if (!scores.empty())
        std::printf("beats compared: %zu, lowest correlation %.5f\n", scores.size(),
                    *std::min_element(scores.begin(), scores.end()));
}

// The server killed and started again while playing: the program says so in
// its own words (the sound library's own lines stay off the terminal), and
// the sound goes on from where it stopped, not from beat 1.
TEST_F(SoundServerTest, ServerRestartResumesWhereTheSoundStopped) {
    ASSERT_TRUE(m_servers.StartPulse(m_servers.Root() / "before.raw"));
    const fs::path out = m_servers.Root() / "restart.out", err = m_servers.Root() / "restart.err";
    Background play(Cli() + " play '" + kTeentaal + "' --tempo 120 --seconds 12 --times", out, err);
    // Beat 5 heard (two seconds in), then the server goes.
    ASSERT_TRUE(
        WaitFor([&] { return PrintedBeats(Slurp(out)).size() >= 5; }, std::chrono::seconds(20)));
    m_servers.KillPulse();
    ASSERT_TRUE(WaitFor([&] { return Slurp(err).find("lost") != std::string::npos; },
                        std::chrono::seconds(10)))
        << Slurp(err);
    const std::vector<int> heldAt = PrintedBeats(Slurp(out));
    const fs::path raw = m_servers.Root() / "restart.raw";
    ASSERT_TRUE(m_servers.StartPulse(raw, false)); // the program playing is its first client
    ASSERT_TRUE(WaitFor([&] { return play.Poll().has_value(); }, std::chrono::seconds(30)));
    m_servers.StopRecording();
    EXPECT_EQ(play.Poll(), 0);

    const std::string said = Slurp(err);
    EXPECT_NE(said.find("the sound output was lost"), std::string::npos) << said;
    EXPECT_NE(said.find("the sound output is back"), std::string::npos) << said;
    EXPECT_EQ(said.find("Expression '"), std::string::npos) << said;
    EXPECT_EQ(said.find("was lost"), said.rfind("was lost")) << "reported once: " << said;
    // Printed beats go on forward from where they were held.
    const std::vector<int> printed = PrintedBeats(Slurp(out));
    ASSERT_GT(printed.size(), heldAt.size() + 2) << "no beats after the server came back";
    for (std::size_t i = 1; i < printed.size(); ++i)
        EXPECT_EQ(printed[i], printed[i - 1] % 16 + 1) << "at line " << i;
    // The first beat after the restart is the one after the beat held, and
    // sound reaches the sink again.
    EXPECT_EQ(printed[heldAt.size()], heldAt.back() % 16 + 1);
    EXPECT_NE(said.find("playing on from beat " + std::to_string(heldAt.back()) + "\n"),
              std::string::npos)
        << said;
    const std::vector<float> recording = ReadRaw(raw);
    EXPECT_LT(FirstSound(recording), recording.size()) << "nothing reached the sink again";
}

// The program started without a server: it goes on without sound and says
// so; once a server runs, the next Play plays.
TEST_F(SoundServerTest, PlayOpensTheOutputOnceAServerRuns) {
    CSampleBank bank;
    RecordingMessageSink sink;
    CLorvantaSession session(bank, sink, OpenChosenOutput);
    OpenTaalFile(session.Document(), kTeentaal, sink);
    ASSERT_FALSE(session.Document().IsEmpty());
    sink.Clear();
    session.OnInitialUpdate();
    EXPECT_EQ(session.SoundStatus(), SoundSetupStatus::NoDevice);
    EXPECT_TRUE(sink.Messages().empty()) << "no box at start-up";
    session.Play();
    EXPECT_FALSE(session.IsPlaying());
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_NE(sink.Messages().front().text.find("error code = 29"), std::string::npos);
    EXPECT_NE(sink.Messages().front().text.find("Sound output"), std::string::npos);

    const fs::path raw = m_servers.Root() / "later.raw";
    ASSERT_TRUE(m_servers.StartPulse(raw));
    session.Play();
    EXPECT_TRUE(session.IsPlaying());
    EXPECT_EQ(session.SoundStatus(), SoundSetupStatus::Ok);
    EXPECT_TRUE(WaitFor([&] { return FirstSound(ReadRaw(raw)) < ReadRaw(raw).size(); },
                        std::chrono::seconds(10)))
        << "nothing reached the sink";
    session.Stop();
    m_servers.StopRecording();
}

// With a null sink and a JACK server, both are offered; each can be chosen,
// and a device that is not there falls back to the default with a note.
TEST_F(SoundServerTest, DevicesOfBothServersAreListedAndChosen) {
    if (!Installed("jackd") || !Installed("jack_lsp"))
        GTEST_SKIP() << "no JACK server installed";
    ASSERT_TRUE(m_servers.StartPulse(m_servers.Root() / "devices.raw"));
    if (!m_servers.StartJack())
        GTEST_SKIP() << "the JACK server did not start";
    const fs::path list = m_servers.Root() / "devices.out";
    ASSERT_EQ(std::system((Cli() + " devices >'" + list.string() + "' 2>/dev/null").c_str()), 0);
    const std::string devices = Slurp(list);
    EXPECT_NE(devices.find("ALSA: pulse"), std::string::npos) << devices;
    EXPECT_NE(devices.find("JACK Audio Connection Kit: "), std::string::npos) << devices;

    for (const auto& [device, note] :
         {std::pair<std::string, bool>{"ALSA: pulse", false}, {"no such device", true}}) {
        const fs::path out = m_servers.Root() / "chosen.out", err = m_servers.Root() / "chosen.err";
        const std::string command = Cli() + " play '" + kTeentaal +
                                    "' --tempo 600 --seconds 1 "
                                    "--times --device '" +
                                    device + "' >'" + out.string() + "' 2>'" + err.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << Slurp(err);
        EXPECT_GE(PrintedBeats(Slurp(out)).size(), 3u) << device << ": " << Slurp(err);
        EXPECT_EQ(Slurp(err).find("was not found") != std::string::npos, note)
            << device << ": " << Slurp(err);
    }
}

// Context switches of every thread of this process so far: each one a wakeup.
long long ProcessWakeups() {
    long long total = 0;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.find("ctxt_switches:") != std::string::npos)
                total += std::stoll(line.substr(line.find(':') + 1));
    }
    return total;
}

// The null sink's state as the server reports it: RUNNING, IDLE, SUSPENDED.
std::string SinkState(const fs::path& root) {
    const fs::path out = root / "sinks.out";
    std::system(("pactl list short sinks >'" + out.string() + "' 2>&1").c_str());
    for (const char* state : {"RUNNING", "IDLE", "SUSPENDED"})
        if (Slurp(out).find(state) != std::string::npos)
            return state;
    return Slurp(out);
}

// The scheduling policy of the pulse plugin's thread in this process (-1: none).
int ClientThreadPolicy() {
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name == "threaded-ml")
            return sched_getscheduler(std::stoi(task.path().filename().string()));
    }
    return -1;
}

// A practice program stays open for hours: before the first Play and once
// stopped, its stream lets the sink idle and the program sleeps. While it
// plays, the samples reach the server at real-time priority.
TEST_F(SoundServerTest, StoppedProgramLetsTheSinkIdleAndSleeps) {
    ASSERT_TRUE(m_servers.StartServer());
    CSampleBank bank;
    RecordingMessageSink sink;
    CLorvantaSession session(bank, sink, OpenChosenOutput);
    OpenTaalFile(session.Document(), kTeentaal, sink);
    session.OnInitialUpdate();
    ASSERT_EQ(session.SoundStatus(), SoundSetupStatus::Ok);
    const fs::path& root = m_servers.Root();
    EXPECT_TRUE(WaitFor([&] { return SinkState(root) == "IDLE"; }, std::chrono::seconds(5)))
        << "before the first Play: " << SinkState(root);
    session.Play();
    EXPECT_TRUE(WaitFor([&] { return SinkState(root) == "RUNNING"; }, std::chrono::seconds(5)));
    EXPECT_EQ(ClientThreadPolicy(), SCHED_RR)
        << "the thread carrying the samples to the server runs at normal priority";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    session.Stop();
    EXPECT_TRUE(WaitFor([&] { return SinkState(root) == "IDLE"; }, std::chrono::seconds(5)))
        << "after Stop: " << SinkState(root);
    const long long before = ProcessWakeups();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_LE(ProcessWakeups() - before, 30) << "more than a few wakeups a second while stopped";
}

// A measurement, run by hand (--gtest_also_run_disabled_tests): Play to first
// sound at the sink, and each beat as the position listener names it against
// when it was heard. The recording's samples are placed in the system's time
// by the file's growth before Play and after Stop, which also gives the
// sink's own speed (a null sink runs a few hundred ppm off the system clock).
TEST_F(SoundServerTest, DISABLED_MeasurePlayToFirstSoundAndBeatDisplay) {
    const fs::path raw = m_servers.Root() / "display.raw";
    ASSERT_TRUE(m_servers.StartPulse(raw));
    std::this_thread::sleep_for(std::chrono::seconds(3)); // the recording settles
    const auto seconds = [] {
        return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
    };
    // The system time of the recording's first sample: the earliest estimate.
    const auto recordingOrigin = [&] {
        double origin = 1e18;
        for (const auto until = Clock::now() + std::chrono::seconds(1); Clock::now() < until;) {
            origin =
                std::min(origin, seconds() - static_cast<double>(fs::file_size(raw)) / 2 / kRate);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return origin;
    };
    CSampleBank bank;
    RecordingMessageSink sink;
    CLorvantaSession session(bank, sink, OpenChosenOutput);
    OpenTaalFile(session.Document(), kTeentaal, sink);
    constexpr double kBeat = 0.6;
    session.SetTempo(static_cast<float>(kBeat));
    std::vector<std::pair<int, double>> shown; // beat, when the listener named it
    shown.reserve(1024);
    session.SetPositionListener([&](const PlayingPosition& position) {
        const int beat = static_cast<int>(position.beat);
        if ((shown.empty() || shown.back().first != beat) && shown.size() < shown.capacity())
            shown.emplace_back(beat, seconds());
    });
    session.OnInitialUpdate();
    const double originBefore = recordingOrigin(), before = seconds();
    const std::size_t recordedBefore = ReadRaw(raw).size();
    const double played = seconds();
    session.Play();
    std::this_thread::sleep_for(std::chrono::seconds(30));
    session.Stop();
    const double originAfter = recordingOrigin();
    const double speed = 1.0 + (originBefore - originAfter) / (seconds() - before);
    const double heardStart =
        originBefore +
        static_cast<double>(FirstSound(ReadRaw(raw), recordedBefore)) / kRate / speed;
    std::vector<double> errors;
    int cycle = 0, previous = 0;
    for (const auto& [beat, at] : shown) {
        cycle += previous == 16 && beat == 1;
        previous = beat;
        errors.push_back((at - heardStart - (cycle * 16 + beat - 1) * kBeat / speed) * 1000.0);
    }
    ASSERT_FALSE(errors.empty());
    std::sort(errors.begin(), errors.end());
    std::printf("sink speed %+.0f ppm; Play to first sound %.1f ms\n"
                "%zu beats shown minus heard: median %.1f ms, from %.1f to %.1f ms\n",
                (speed - 1.0) * 1e6, (heardStart - played) * 1000.0, errors.size(),
                errors[errors.size() / 2], errors.front(), errors.back());
}

} // namespace
} // namespace lorvanta
