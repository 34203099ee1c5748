// lorvanta-cli drone: the tanpura alone, written to a WAV file as the program
// sounds it at the given pitch shift: the drone's loop at the program's rate,
// played at the shifted playback rate the way the pitch bar shifts the Taal.
#include "Commands.h"

#include "audio/AudioStatus.h"
#include "audio/TaalRenderer.h"
#include "audio/Tanpura.h"
#include "audio/WaveFormat.h"
#include "soundfiles/SoundFile.h"

#include <cmath>

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage =
    "drone --tuning pa|ma|ni|sa [--octave 3|4] [--pitch SEMITONES] --seconds S -o OUT.wav";
constexpr double kMaxDroneSeconds = 3600.0;

ExitCode RunDrone(const std::vector<std::string>& args) {
    const std::string usage = std::string("lorvanta-cli ") + kUsage;
    CommandLine line;
    if (auto problem = ParseCommandLine(
            args, {"-o", "--tuning", "--octave", "--pitch", "--seconds"}, {}, line))
        return UsageError(usage, *problem);
    const std::optional<std::string> out = line.Option("-o");
    const std::optional<std::string> tuningText = line.Option("--tuning");
    const std::optional<std::string> secondsText = line.Option("--seconds");
    if (!line.positional.empty() || !out || !tuningText || !secondsText)
        return UsageError(usage);
    if (SoundFileKindOf(*out) != SoundFileKind::Wav)
        return UsageError(usage, "OUT must end in .wav");

    TanpuraSetup setup;
    if (const auto tuning = ParseDroneTuning(*tuningText))
        setup.tuning = *tuning;
    else
        return UsageError(usage, "--tuning needs pa, ma, ni or sa");
    if (const auto octaveText = line.Option("--octave")) {
        const std::optional<long> octave = ParseInteger(*octaveText);
        if (!octave || *octave < kLowestDroneOctave || *octave > kHighestDroneOctave)
            return UsageError(usage, "--octave needs 3 or 4");
        setup.octave = static_cast<int>(*octave);
    }
    const std::optional<double> seconds = ParseNumber(*secondsText);
    if (!seconds || !(*seconds > 0.0) || *seconds > kMaxDroneSeconds)
        return UsageError(usage, "--seconds needs a positive number of seconds, at most 3600");
    // The pitch bar's own check and message.
    std::optional<double> noTempo;
    double semitones = 0.0;
    if (!ReadTempoAndPitch(line, noTempo, semitones))
        return ExitCode::Usage;

    // The program mixes the drone's loop into the Taal's samples before the
    // pitch shift, which plays them all at the shifted rate (as the renderer
    // computes it from the pitch bar's factor).
    const auto factor = static_cast<float>(std::pow(2.0, semitones / 12.0));
    const std::uint32_t rate = PlaybackRateFor(factor);
    const std::vector<std::int16_t> loop = RenderTanpuraLoop(setup, kSampleRate);
    const auto count = static_cast<std::uint64_t>(std::llround(*seconds * rate));

    RecordingMessageSink sink;
    const bool saved = SaveLoopedSound(loop, count, rate, *out, sink);
    PrintMessages(sink);
    return saved ? ExitCode::Ok : ExitCode::Failure;
}

} // namespace

const Command kDroneCommand{"drone", kUsage, RunDrone};

} // namespace lorvanta::cli
