// lorvanta-cli render FILE -o OUT: Save Sound. Builds the Taal image through
// the program's session, as when it plays FILE at the given tempo and pitch,
// with the drums at the levels given, and writes it as a WAV file (the image's
// bytes exactly) or a FLAC file (the same samples). With --drone, the tanpura
// runs from the cycle's start, mixed into the samples as playback mixes it, at
// the Taal's playback rate. --rate converts the whole to 44.1 or 48 kHz.
// With --lehra, the lehra starts with the cycle on sam (a lehra two cycles
// long is written for the first of them).
#include "Commands.h"

#include "audio/Gain.h"
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "session/LorvantaSession.h"
#include "soundfiles/SoundFile.h"
#include "soundfiles/StrokeKit.h"

#include <algorithm>
#include <cmath>

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage =
    "render FILE -o OUT [--tempo BPM] [--pitch SEMITONES] [--kit "
    "recorded|synthesised|FOLDER] [--force] [--treble-level DB|off] "
    "[--bass-level DB|off] [--master-level DB|off] [--drone "
    "pa|ma|ni|sa [--drone-level DB] [--drone-octave 3|4]] [--ring natural|cut] "
    "[--humanise PERCENT] [--bass-tuning SEMITONES] "
    "[--rate 44100|48000] [--lehra NAME|auto [--lehra-instrument NAME] [--lehra-level DB]]";

ExitCode RunRender(const std::vector<std::string>& args) {
    const std::string usage = std::string("lorvanta-cli ") + kUsage;
    CommandLine line;
    if (auto problem = ParseCommandLine(
            args,
            {"-o", "--tempo", "--pitch", "--kit", "--drone", "--drone-level", "--drone-octave",
             "--treble-level", "--bass-level", "--master-level", "--ring", "--humanise",
             "--bass-tuning", "--rate", "--lehra", "--lehra-instrument", "--lehra-level"},
            {"--force"}, line))
        return UsageError(usage, *problem);
    const std::optional<std::string> out = line.Option("-o");
    if (line.positional.size() != 1 || !out)
        return UsageError(usage);
    if (SoundFileKindOf(*out) == SoundFileKind::Unknown)
        return UsageError(usage, "OUT must end in .wav or .flac");

    // Without --rate the file holds the image's samples at its own rate.
    std::uint32_t fileRate = 0;
    if (const auto text = line.Option("--rate")) {
        const std::optional<long> rate = ParseInteger(*text);
        if (!rate || std::ranges::find(kSoundFileRates, *rate) == std::end(kSoundFileRates))
            return UsageError(usage, "--rate needs 44100 or 48000");
        fileRate = static_cast<std::uint32_t>(*rate);
    }

    // The tempo and pitch bars' own checks and messages.
    SoundOptions sound;
    if (const auto exit = ReadSoundOptions(line, usage, sound))
        return *exit;

    // The kit is read once the file is known to be usable; the session's
    // renderer reads the bank only when the bols are rendered.
    CSampleBank bank;
    RecordingMessageSink sink;
    CLorvantaSession session(bank, sink, {});
    if (const auto failed =
            OpenTaalArgument(session.Document(), line, sink, {.readWhole = true, .playable = true}))
        return *failed;
    if (!LoadKitOption(line, bank))
        return ExitCode::Failure;

    // As the program plays a file it has just opened: the pitch in force when
    // the bols are rendered, the file's default tempo unless another is given.
    session.SetPitch(static_cast<float>(std::pow(2.0, sound.semitones / 12.0)));
    const double tempo =
        sound.bpm ? *sound.bpm : static_cast<double>(session.Document().DefaultTempo());
    session.SetTempo(static_cast<float>(60.0 / tempo));
    session.Renderer().SetDrumLevels(sound.levels); // in force when the bols are rendered
    session.Renderer().SetStrokeResampler(ResampleStroke);
    session.Renderer().SetStrokeStyle(sound.style);
    session.OnInitialUpdate();
    CTaalRenderer& renderer = session.Renderer();
    const AudioStatus built = renderer.BuildTaalImage();
    PrintMessages(sink);
    if (renderer.InitStatus() != AudioStatus::Ok || built != AudioStatus::Ok)
        return ExitCode::Failure;

    sink.Clear();
    std::span<const std::int16_t> droneLoop;
    if (sound.drone) {
        session.SetDrone(*sound.drone);
        droneLoop = *session.DroneLoopInUse();
    }
    std::span<const std::int16_t> lehraLoop;
    LehraLoopPtr lehraInUse;
    if (sound.lehra) {
        if (!ApplyLehraOption(session, *sound.lehra, sink) ||
            !(lehraInUse = session.LehraLoopInUse()))
            return ExitCode::Failure;
        lehraLoop = lehraInUse->samples;
    }
    const bool saved =
        SaveTaalImage(renderer.Image(), renderer.StreamFormat().samplesPerSec, *out, sink,
                      droneLoop, sound.drone ? DbToGain(session.Drone().levelDb) : 1.0f, fileRate,
                      lehraLoop, sound.lehra ? DbToGain(session.LehraChoice().levelDb) : 1.0f);
    PrintMessages(sink);
    return saved ? ExitCode::Ok : ExitCode::Failure;
}

} // namespace

const Command kRenderCommand{"render", kUsage, RunRender};

} // namespace lorvanta::cli
