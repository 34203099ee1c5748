// lorvanta-cli play FILE: plays the Taal in an endless loop through the
// program's session, as its Play does, and prints the beat display: one line
// each time the whole beat number changes, with --times followed by when it
// changed, in seconds since the sound started. --ramp TARGET:STEP:CYCLES
// raises (or lowers) the tempo by STEP bpm every CYCLES cycles up to TARGET.
// --device NAME plays through one of the outputs `devices` lists. A sound
// output lost while playing is reported, and playing goes on from where the
// sound stopped once it is back.
// play --routine ROUTINE plays a practice routine instead, printing each step
// as its first beat is heard; its Taal files are found beside the routine,
// then in the program's Taals folder.
#include "Commands.h"

#include "audio/AudioStatus.h"
#include "audio/CountIn.h"
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/output/OutputChoice.h"
#include "audio/playback/PlaybackEngine.h"
#include "audiodevice/SystemOutput.h"
#include "model/Conversions.h"
#include "model/ProgramData.h"
#include "session/LorvantaSession.h"
#include "session/PracticeRoutine.h"
#include "soundfiles/SoundFile.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage =
    "play FILE [--tempo BPM] [--pitch SEMITONES] [--seconds S] [--from N] [--times]"
    " [--kit recorded|synthesised|FOLDER] [--treble-level DB|off] [--bass-level DB|off]"
    " [--master-level DB|off] [--drone pa|ma|ni|sa [--drone-level DB] [--drone-octave 3|4]]"
    " [--ring natural|cut] [--humanise PERCENT] [--bass-tuning SEMITONES]"
    " [--lehra NAME|auto [--lehra-instrument NAME] [--lehra-level DB]]"
    " [--ramp TARGET:STEP:CYCLES] [--count-in BEATS] [--device NAME]\n"
    "       lorvanta-cli play --routine ROUTINE [--pitch SEMITONES] [--seconds S] [--times]"
    " [--kit ...] [--treble-level DB|off] [--bass-level DB|off] [--master-level DB|off]"
    " [--drone ...] [--ring natural|cut] [--humanise PERCENT] [--bass-tuning SEMITONES]"
    " [--lehra NAME|auto ...] [--device NAME]";

constexpr const char* kRampForm = "--ramp needs TARGET:STEP:CYCLES, for example 200:10:2";

// --ramp's TARGET:STEP:CYCLES: the request, or what is wrong with it.
std::optional<std::string> ReadRamp(const std::string& text, RampRequest& request) {
    const auto first = text.find(':');
    const auto second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos)
        return kRampForm;
    const auto target = ParseNumber(text.substr(0, first));
    const auto step = ParseNumber(text.substr(first + 1, second - first - 1));
    const auto cycles = ParseInteger(text.substr(second + 1));
    if (!target || !step || !cycles)
        return kRampForm;
    request = {RampRequest::Form::Stepped, *target, *step,
               static_cast<int>(std::clamp<long>(*cycles, 0, 1001)), 0.0};
    if (const RampStatus status = TempoRamp::Check(request); status != RampStatus::Ok)
        return std::string("--ramp: ") + StatusText(status);
    return std::nullopt;
}

// The routine file read and planned, or what is wrong with it (printed).
std::optional<RoutinePlan> ReadRoutineFile(const std::filesystem::path& path,
                                           RecordingMessageSink& sink) {
    std::error_code error;
    std::ifstream in;
    if (std::filesystem::is_regular_file(path, error) &&
        std::filesystem::file_size(path, error) <= (1u << 20))
        in.open(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "lorvanta-cli: cannot read the routine %s\n", path.string().c_str());
        return std::nullopt;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const RoutineParse parse = ParseRoutine(text);
    if (parse.status != RoutineStatus::Ok) {
        std::fprintf(stderr, "lorvanta-cli: %s: %s\n", path.string().c_str(),
                     RoutineProblemText(parse).c_str());
        return std::nullopt;
    }
    RoutinePlan plan = PlanRoutine(
        parse.routine,
        {path.parent_path().empty() ? "." : path.parent_path(), FindProgramData("Taals")}, sink);
    PrintMessages(sink);
    if (plan.status != RoutinePlanStatus::Ok) {
        std::fprintf(stderr, "lorvanta-cli: %s\n", RoutinePlanProblemText(plan).c_str());
        return std::nullopt;
    }
    return plan;
}

// The routine's steps as the beats printed reach them: a step starts at the
// first beat after the cycles of those before it.
class StepAnnouncer {
public:
    explicit StepAnnouncer(const RoutinePlan& plan) {
        std::uint64_t start = 0;
        for (const PlannedStep& step : plan.steps) {
            char line[512];
            std::snprintf(line, sizeof line, "step %d of %d: %s, %d cycle%s at %g bpm",
                          step.routineStep + 1, plan.routineSteps, step.title.c_str(), step.cycles,
                          step.cycles == 1 ? "" : "s", step.bpm);
            m_steps.push_back({start, line});
            start += static_cast<std::uint64_t>(step.cycles);
        }
    }
    // Called with each whole beat printed, before it.
    void Beat(int beat) {
        if (beat < m_lastBeat)
            ++m_cycles;
        m_lastBeat = beat;
        if (m_next < m_steps.size() && m_steps[m_next].start == m_cycles) {
            std::printf("%s\n", m_steps[m_next].line.c_str());
            ++m_next;
        }
    }

private:
    struct Step {
        std::uint64_t start;
        std::string line;
    };
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    std::uint64_t m_cycles = 0;
    int m_lastBeat = 0;
};

// Set by Ctrl+C (or a polite kill); the playing loop ends at its next look.
volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
}

class InterruptGuard {
public:
    InterruptGuard() {
        g_interrupted = 0;
        m_int = std::signal(SIGINT, OnInterrupt);
        m_term = std::signal(SIGTERM, OnInterrupt);
    }
    ~InterruptGuard() {
        std::signal(SIGINT, m_int);
        std::signal(SIGTERM, m_term);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    void (*m_int)(int);
    void (*m_term)(int);
};

// A whole beat as the display showed it, and when (the steady clock's count);
// the count-in's beats are negative, -N for the first of N.
struct NotedBeat {
    int beat = 0;
    std::int64_t at = 0;
};

// Whole beats handed from the feeding thread to the printing thread, in order,
// so that a late printer still prints every beat. One writer, one reader.
class BeatQueue {
public:
    // Feeding thread: notes the position; queues its whole beat when it changed.
    void Note(float beat) {
        const int whole = TruncateToInt(beat);
        if (whole == m_lastNoted)
            return;
        m_lastNoted = whole;
        const std::uint32_t head = m_head.load(std::memory_order_relaxed);
        if (head - m_tail.load(std::memory_order_acquire) == m_beats.size())
            return; // the printer is far behind: drop rather than wait
        m_beats[head % m_beats.size()] = {
            whole, std::chrono::steady_clock::now().time_since_epoch().count()};
        m_head.store(head + 1, std::memory_order_release);
    }
    // Printing thread: the next queued beat (beat 0: none).
    NotedBeat Take() {
        const std::uint32_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail == m_head.load(std::memory_order_acquire))
            return {};
        const NotedBeat beat = m_beats[tail % m_beats.size()];
        m_tail.store(tail + 1, std::memory_order_release);
        return beat;
    }

private:
    std::array<NotedBeat, 256> m_beats{};
    std::atomic<std::uint32_t> m_head{0};
    std::atomic<std::uint32_t> m_tail{0};
    int m_lastNoted = 0; // feeding thread only
};

ExitCode RunPlay(const std::vector<std::string>& args) {
    const std::string usage = std::string("lorvanta-cli ") + kUsage;
    CommandLine line;
    if (auto problem =
            ParseCommandLine(args, {"--tempo",       "--pitch",        "--seconds",
                                    "--from",        "--kit",          "--drone",
                                    "--drone-level", "--drone-octave", "--treble-level",
                                    "--bass-level",  "--master-level", "--ring",
                                    "--humanise",    "--bass-tuning",  "--ramp",
                                    "--routine",     "--lehra",        "--lehra-instrument",
                                    "--lehra-level", "--count-in",  "--device"},
                             {"--times"}, line))
        return UsageError(usage, *problem);
    const auto routineFile = line.Option("--routine");
    if (line.positional.size() != (routineFile ? 0u : 1u))
        return UsageError(usage);
    if (routineFile) {
        for (const char* option : {"--tempo", "--from", "--ramp", "--count-in"}) {
            if (line.Option(option))
                return UsageError(usage, std::string(option) +
                                             " cannot be given with --routine: its steps set the "
                                             "tempo and play from the start");
        }
    }

    SoundOptions sound;
    if (const auto exit = ReadSoundOptions(line, usage, sound))
        return *exit;
    std::optional<double> seconds;
    if (const auto text = line.Option("--seconds")) {
        seconds = ParseNumber(*text);
        if (!seconds || !(*seconds > 0.0) || *seconds > 1e7)
            return UsageError(usage, "--seconds needs a positive number of seconds");
    }
    std::optional<long> from;
    if (const auto text = line.Option("--from")) {
        from = ParseInteger(*text);
        if (!from || *from < 1)
            return UsageError(usage, "--from needs a bol number (1 for the first bol)");
    }
    long countIn = 0;
    if (const auto text = line.Option("--count-in")) {
        const auto beats = ParseInteger(*text);
        if (!beats || *beats < 1 || *beats > kMaxCountInBeats)
            return UsageError(usage, "--count-in needs a number of beats from 1 to " +
                                         std::to_string(kMaxCountInBeats));
        countIn = *beats;
    }
    std::optional<RampRequest> ramp;
    if (const auto text = line.Option("--ramp")) {
        ramp.emplace();
        if (auto problem = ReadRamp(*text, *ramp))
            return UsageError(usage, *problem);
    }
    if (!OutputChoiceFromEnvironment()) {
        std::fprintf(stderr, "lorvanta-cli: %s must be \"device\" or \"virtual\"\n",
                     kOutputChoiceVariable);
        return ExitCode::Usage;
    }

    // The feeding thread hands over each whole beat; this thread prints. The
    // queue outlives the session, whose feeding thread may note one more beat
    // just after Stop. The kit is read once the file is known to be playable:
    // the session's renderer reads the bank only when the bols are rendered.
    BeatQueue beats;
    CSampleBank bank;
    RecordingMessageSink sink;
    const std::string device = line.Option("--device").value_or("");
    CLorvantaSession session(bank, sink, [device](std::unique_ptr<OutputDevice>& out) {
        return OpenNamedOutput(device, out);
    });
    CLorvantaDoc& doc = session.Document();
    std::optional<RoutinePlan> routine;
    if (routineFile) {
        routine = ReadRoutineFile(*routineFile, sink);
        if (!routine)
            return ExitCode::Failure;
        // The first step's Taal is the one set up and rendered first.
        doc.Taal().Assign(routine->steps.front().doc->Taal());
        doc.SetEmpty(false);
    } else if (const auto failed = OpenTaalArgument(doc, line, sink, {.playable = true})) {
        return *failed;
    }
    if (from && *from > doc.Taal().Count()) {
        return UsageError(usage, "--from " + std::to_string(*from) + ": the Taal has " +
                                     std::to_string(doc.Taal().Count()) + " bols");
    }
    if (!LoadKitOption(line, bank))
        return ExitCode::Failure;

    // The count-in as "count 4", "count 3", ... then the Taal's beats.
    session.SetPositionListener([&beats, countIn](const PlayingPosition& position) {
        beats.Note(position.countingIn
                       ? -static_cast<float>(countIn - TruncateToInt(position.beat - 1.0f))
                       : position.beat);
    });
    session.SetCountInBeats(static_cast<int>(countIn));
    // Told on the feeding thread; this thread prints.
    std::atomic<int> lost{0}, restored{0};
    session.SetOutputListener([&lost, &restored](OutputEvent event) {
        (event == OutputEvent::Lost ? lost : restored).fetch_add(1, std::memory_order_release);
    });
    session.SetPitch(static_cast<float>(std::pow(2.0, sound.semitones / 12.0)));
    const double tempo = sound.bpm ? *sound.bpm : static_cast<double>(doc.DefaultTempo());
    session.SetTempo(static_cast<float>(60.0 / tempo));
    session.Renderer().SetDrumLevels(sound.levels); // in force when the bols are rendered
    session.Renderer().SetStrokeResampler(ResampleStroke);
    session.Renderer().SetStrokeStyle(sound.style);
    session.OnInitialUpdate(); // renders the bols, then sets the sound up
    PrintMessages(sink);
    if (session.Renderer().InitStatus() != AudioStatus::Ok)
        return ExitCode::Failure;
    if (const SoundSetupStatus status = session.SoundStatus(); status != SoundSetupStatus::Ok) {
        if (status == SoundSetupStatus::NoDevice)
            std::fprintf(stderr,
                         "lorvanta-cli: no sound device could be opened (error code = %u); start "
                         "the sound server, choose another with --device (see lorvanta-cli "
                         "devices), or set %s=virtual to play without one\n",
                         StatusNumber(status), kOutputChoiceVariable);
        return ExitCode::Failure;
    }
    if (const OutputDevice* output = session.Engine().Output(); output && output->FellBack())
        std::fprintf(stderr,
                     "lorvanta-cli: sound output \"%s\" was not found; playing through the "
                     "default, %s\n",
                     device.c_str(), output->DeviceLabel().c_str());

    // The drone's loop is rendered before playing starts, on this thread.
    if (sound.drone)
        session.SetDrone(*sound.drone);
    if (sound.lehra && !ApplyLehraOption(session, *sound.lehra, sink))
        return ExitCode::Failure;
    if (ramp)
        session.StartRamp(*ramp);
    InterruptGuard interrupts;
    std::optional<StepAnnouncer> announcer;
    if (routine) {
        announcer.emplace(*routine);
        session.StartRoutine(std::move(*routine));
    } else if (from) {
        session.Editor().Click(static_cast<int>(*from - 1), {});
        session.PlayFromSelected();
    } else {
        session.Play();
    }
    PrintMessages(sink);
    if (!session.IsPlaying())
        return ExitCode::Failure;

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const bool times = line.Has("--times");
    const std::int64_t soundStart = session.Engine().PlayStartedAt();
    int lostTold = 0, restoredTold = 0;
    while (g_interrupted == 0) {
        if (seconds && std::chrono::duration<double>(Clock::now() - start).count() >= *seconds)
            break;
        bool printed = false;
        for (NotedBeat noted = beats.Take(); noted.beat != 0; noted = beats.Take()) {
            const char* what = noted.beat < 0 ? "count" : "beat";
            const int number = noted.beat < 0 ? -noted.beat : noted.beat;
            // The count-in is no step of a routine.
            if (announcer && noted.beat > 0)
                announcer->Beat(noted.beat);
            if (times) {
                const Clock::duration since(noted.at - soundStart);
                std::printf("%s %d at %.4f\n", what, number,
                            std::chrono::duration<double>(since).count());
            } else {
                std::printf("%s %d\n", what, number);
            }
            printed = true;
        }
        if (printed)
            std::fflush(stdout);
        if (lost.load(std::memory_order_acquire) > lostTold) {
            lostTold = lost.load(std::memory_order_acquire);
            std::fprintf(stderr, "lorvanta-cli: the sound output was lost; playing goes on "
                                 "from here once it is back\n");
        }
        if (restored.load(std::memory_order_acquire) > restoredTold) {
            restoredTold = restored.load(std::memory_order_acquire);
            std::fprintf(stderr,
                         "lorvanta-cli: the sound output is back; playing on from beat %d\n",
                         TruncateToInt(session.PlayingBeat()));
        }
        session.UpdatePractice();
        // A routine ends by itself after its last step.
        if (announcer && !session.IsPlaying()) {
            for (NotedBeat noted = beats.Take(); noted.beat != 0; noted = beats.Take()) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    session.Stop();
    if (session.Engine().FeedingThreadExit() == FeedingExit::RefillFailed) {
        std::fprintf(stderr, "lorvanta-cli: %s\n", StatusText(FeedingExit::RefillFailed));
        return ExitCode::Failure;
    }
    return ExitCode::Ok;
}

} // namespace

const Command kPlayCommand{"play", kUsage, RunPlay};

} // namespace lorvanta::cli
