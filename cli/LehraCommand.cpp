// lorvanta-cli lehra: lists the lehras the program finds, or writes one alone
// to a WAV file as the program sounds it: its loop rendered for the tempo at
// the program's rate and played at the shifted rate the pitch bar sets, so
// that Sa is the tabla's Sa.
#include "Commands.h"

#include "audio/AudioStatus.h"
#include "audio/TaalRenderer.h"
#include "audio/WaveFormat.h"
#include "lehra/LehraLibrary.h"
#include "lehra/LehraSynth.h"
#include "soundfiles/SoundFile.h"

#include <cmath>

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage = "lehra --list | lehra NAME --tempo BPM [--pitch SEMITONES] "
                               "--cycles N [--instrument NAME] -o OUT.wav";
constexpr long kMaxCycles = 1000;

ExitCode RunLehra(const std::vector<std::string>& args) {
    const std::string usage = std::string("lorvanta-cli ") + kUsage;
    CommandLine line;
    if (auto problem = ParseCommandLine(
            args, {"-o", "--tempo", "--pitch", "--cycles", "--instrument"}, {"--list"}, line))
        return UsageError(usage, *problem);

    const LehraLibrary library = LehraLibrary::Load(LehraLibrary::DefaultFolders());
    for (const std::string& warning : library.Warnings())
        std::fprintf(stderr, "lorvanta-cli: %s\n", warning.c_str());
    if (line.Has("--list")) {
        if (!line.positional.empty() || line.Option("-o"))
            return UsageError(usage);
        for (const LehraEntry& entry : library.Lehras())
            std::printf("%s\t%s\t%d beats\t%s\t%s\n", entry.lehra.name.c_str(),
                        entry.lehra.raag.c_str(), entry.lehra.beats,
                        LehraInstrumentName(entry.lehra.instrument), entry.file.string().c_str());
        return ExitCode::Ok;
    }

    const std::optional<std::string> out = line.Option("-o");
    const std::optional<std::string> cyclesText = line.Option("--cycles");
    if (line.positional.size() != 1 || !out || !cyclesText || !line.Option("--tempo"))
        return UsageError(usage);
    if (SoundFileKindOf(*out) != SoundFileKind::Wav)
        return UsageError(usage, "OUT must end in .wav");
    const std::optional<long> cycles = ParseInteger(*cyclesText);
    if (!cycles || *cycles < 1 || *cycles > kMaxCycles)
        return UsageError(usage, "--cycles needs a whole number from 1 to 1000");
    const LehraEntry* entry = library.Find(line.positional.front());
    if (entry == nullptr) {
        std::fprintf(stderr,
                     "lorvanta-cli: there is no lehra named \"%s\" (lorvanta-cli lehra --list "
                     "lists them)\n",
                     line.positional.front().c_str());
        return ExitCode::Failure;
    }
    LehraInstrument instrument = entry->lehra.instrument;
    if (const auto text = line.Option("--instrument")) {
        const auto parsed = ParseLehraInstrument(*text);
        if (!parsed)
            return UsageError(usage, "--instrument needs harmonium, santoor, sarangi or bansuri");
        instrument = *parsed;
    }
    // The tempo and pitch bars' own checks and messages.
    std::optional<double> bpm;
    double semitones = 0.0;
    if (!ReadTempoAndPitch(line, bpm, semitones))
        return ExitCode::Usage;

    // As the renderer lays out an image: each beat is the tempo's seconds at
    // the shifted playback rate, and the loop is played back at that rate.
    const auto factor = static_cast<float>(std::pow(2.0, semitones / 12.0));
    const std::uint32_t rate = PlaybackRateFor(factor);
    const auto secondsPerBeat = static_cast<float>(60.0 / *bpm);
    const auto samples = static_cast<std::size_t>(
        entry->lehra.beats * static_cast<double>(secondsPerBeat * static_cast<float>(rate)));
    std::string problem;
    auto synth = LehraSynth::Open(kSampleRate, problem);
    if (!synth) {
        std::fprintf(stderr, "lorvanta-cli: the lehra cannot play: %s\n", problem.c_str());
        return ExitCode::Failure;
    }
    const std::vector<std::int16_t> loop = synth->Render(entry->lehra, instrument, samples);
    RecordingMessageSink sink;
    const bool saved =
        SaveLoopedSound(loop, loop.size() * static_cast<std::uint64_t>(*cycles), rate, *out, sink);
    PrintMessages(sink);
    return saved ? ExitCode::Ok : ExitCode::Failure;
}

} // namespace

const Command kLehraCommand{"lehra", kUsage, RunLehra};

} // namespace lorvanta::cli
