#include "CliCommon.h"

#include "audio/AudioStatus.h"
#include "audio/SampleBank.h"
#include "model/Messages.h"
#include "model/PlaybackLimits.h"
#include "model/Text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace lorvanta::cli {

std::optional<std::string> CommandLine::Option(const std::string& name) const {
    for (auto it = options.rbegin(); it != options.rend(); ++it) {
        if (it->first == name)
            return it->second;
    }
    return std::nullopt;
}

std::optional<std::string> ParseCommandLine(const std::vector<std::string>& args,
                                            const std::vector<std::string>& valueOptions,
                                            const std::vector<std::string>& flagOptions,
                                            CommandLine& out) {
    auto listed = [](const std::vector<std::string>& list, const std::string& name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyPositional || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg != "-o")) {
            out.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        if (listed(flagOptions, arg)) {
            out.options.emplace_back(arg, std::string());
        } else if (listed(valueOptions, arg)) {
            if (i + 1 >= args.size())
                return "option " + arg + " needs a value";
            out.options.emplace_back(arg, args[++i]);
        } else {
            return "unknown option " + arg;
        }
    }
    return std::nullopt;
}

std::optional<ExitCode> ReadArguments(const std::vector<std::string>& args, const char* usage,
                                      const std::vector<std::string>& valueOptions,
                                      std::size_t positionalCount, CommandLine& line,
                                      const std::vector<std::string>& flagOptions) {
    const std::string fullUsage = std::string("lorvanta-cli ") + usage;
    if (auto problem = ParseCommandLine(args, valueOptions, flagOptions, line))
        return UsageError(fullUsage, *problem);
    if (line.positional.size() != positionalCount)
        return UsageError(fullUsage);
    return std::nullopt;
}

std::optional<ExitCode> RefuseIncompleteRead(const ReadOutcome& outcome, const CommandLine& line) {
    if (outcome.valid || line.Has("--force"))
        return std::nullopt;
    std::fprintf(stderr, "lorvanta-cli: the file was not read completely; nothing is written "
                         "(--force writes what was read)\n");
    return ExitCode::NotReadWhole;
}

std::optional<ExitCode> OpenTaalArgument(CLorvantaDoc& doc, const CommandLine& line,
                                         RecordingMessageSink& sink, OpenChecks checks) {
    const ReadOutcome outcome = OpenTaalFile(doc, line.positional[0], sink);
    PrintMessages(sink);
    if (outcome.structuralError)
        return ExitCode::Failure;
    if (checks.readWhole) {
        if (const auto refused = RefuseIncompleteRead(outcome, line))
            return refused;
    }
    ApplyOpenedTempoRule(doc);
    if (checks.playable && doc.IsEmpty()) {
        std::fprintf(stderr, "%s\n", messages::kMustLoadTaal);
        return ExitCode::Failure;
    }
    return std::nullopt;
}

ExitCode UsageError(const std::string& usage, const std::string& problem) {
    if (!problem.empty())
        std::fprintf(stderr, "lorvanta-cli: %s\n", problem.c_str());
    std::fprintf(stderr, "usage: %s\n", usage.c_str());
    return ExitCode::Usage;
}

std::optional<double> ParseNumber(const std::string& text) {
    if (text.empty() || text.find_first_of("xXnNiI") != std::string::npos)
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long> ParseInteger(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size())
        return std::nullopt;
    return value;
}

void PrintMessages(RecordingMessageSink& sink) {
    for (const UserMessage& message : sink.Messages())
        std::fprintf(stderr, "%s\n", message.text.c_str());
    sink.Clear();
}

void PrintTempoOutOfRange() {
    std::fprintf(stderr, "%s\n", FormatMessage(kTempoOutOfRangeMessage, "10.0", "1000.0").c_str());
}

bool ReadTempoAndPitch(const CommandLine& line, std::optional<double>& bpm, double& semitones) {
    if (const auto text = line.Option("--tempo")) {
        bpm = ParseNumber(*text);
        if (!bpm || !(*bpm >= kMinTempoBpm && *bpm <= kMaxTempoBpm)) {
            PrintTempoOutOfRange();
            return false;
        }
    }
    semitones = 0.0;
    if (const auto text = line.Option("--pitch")) {
        const std::optional<double> value = ParseNumber(*text);
        if (!value || *value < -kMaxPitchSemitones || *value > kMaxPitchSemitones) {
            std::fprintf(stderr, "%s\n", kPitchOutOfRangeMessage);
            return false;
        }
        semitones = *value;
    }
    return true;
}

std::optional<std::string> ReadDroneOptions(const CommandLine& line,
                                            std::optional<DroneSettings>& drone) {
    drone.reset();
    const std::optional<std::string> tuning = line.Option("--drone");
    if (!tuning) {
        if (line.Option("--drone-level") || line.Option("--drone-octave"))
            return "--drone-level and --drone-octave need --drone";
        return std::nullopt;
    }
    DroneSettings settings;
    settings.on = true;
    if (const auto parsed = ParseDroneTuning(*tuning))
        settings.setup.tuning = *parsed;
    else
        return "--drone needs pa, ma, ni or sa";
    if (const auto text = line.Option("--drone-level")) {
        const std::optional<double> level = ParseNumber(*text);
        if (!level || *level < kMinDroneLevelDb || *level > kMaxDroneLevelDb)
            return "--drone-level needs a level in dB from -60 to 12";
        settings.levelDb = static_cast<float>(*level);
    }
    if (const auto text = line.Option("--drone-octave")) {
        const std::optional<long> octave = ParseInteger(*text);
        if (!octave || *octave < kLowestDroneOctave || *octave > kHighestDroneOctave)
            return "--drone-octave needs 3 or 4";
        settings.setup.octave = static_cast<int>(*octave);
    }
    drone = settings;
    return std::nullopt;
}

std::optional<std::string> ReadLehraOptions(const CommandLine& line,
                                            std::optional<LehraSettings>& lehra) {
    lehra.reset();
    const std::optional<std::string> name = line.Option("--lehra");
    if (!name) {
        if (line.Option("--lehra-instrument") || line.Option("--lehra-level"))
            return "--lehra-instrument and --lehra-level need --lehra";
        return std::nullopt;
    }
    if (name->empty())
        return "--lehra needs a lehra's name or auto";
    LehraSettings settings;
    settings.on = true;
    if (*name != "auto")
        settings.name = *name;
    if (const auto text = line.Option("--lehra-instrument")) {
        const auto instrument = ParseLehraInstrument(*text);
        if (!instrument)
            return "--lehra-instrument needs harmonium, santoor, sarangi or bansuri";
        settings.instrument = *instrument;
    }
    if (const auto text = line.Option("--lehra-level")) {
        const std::optional<double> level = ParseNumber(*text);
        if (!level || *level < kMinLehraLevelDb || *level > kMaxLehraLevelDb)
            return "--lehra-level needs a level in dB from -60 to 12";
        settings.levelDb = static_cast<float>(*level);
    }
    lehra = settings;
    return std::nullopt;
}

bool ApplyLehraOption(CLorvantaSession& session, const LehraSettings& lehra,
                      RecordingMessageSink& sink) {
    auto library =
        std::make_shared<LehraLibrary>(LehraLibrary::Load(LehraLibrary::DefaultFolders()));
    for (const std::string& warning : library->Warnings())
        std::fprintf(stderr, "lorvanta-cli: %s\n", warning.c_str());
    if (!lehra.name.empty() && library->Find(lehra.name) == nullptr) {
        std::fprintf(stderr,
                     "lorvanta-cli: there is no lehra named \"%s\" (lorvanta-cli lehra --list "
                     "lists them)\n",
                     lehra.name.c_str());
        return false;
    }
    session.SetLehraLibrary(std::move(library));
    session.SetLehra(lehra);
    // The command line waits for the loop: it plays or writes from sam.
    session.WaitForLehra();
    PrintMessages(sink);
    return session.LehraChoice().on;
}

std::optional<std::string> ReadLevelOptions(const CommandLine& line, DrumLevels& levels) {
    levels = {};
    for (const auto& [option, level] : {std::pair{"--treble-level", &levels.treble},
                                        {"--bass-level", &levels.bass},
                                        {"--master-level", &levels.master}}) {
        const std::optional<std::string> text = line.Option(option);
        if (!text)
            continue;
        const std::optional<DrumLevel> parsed = ParseDrumLevel(*text);
        if (!parsed)
            return std::string(option) + " needs a level in dB from -40 to 6, or off (not \"" +
                   *text + "\")";
        *level = *parsed;
    }
    return std::nullopt;
}

std::optional<std::string> ReadStrokeStyleOptions(const CommandLine& line, StrokeStyle& style) {
    style = kDefaultStrokeStyle;
    if (const auto text = line.Option("--ring")) {
        const std::optional<StrokeEndings> endings = ParseStrokeEndings(*text);
        if (!endings)
            return "--ring needs natural or cut";
        style.endings = *endings;
    }
    if (const auto text = line.Option("--humanise")) {
        const std::optional<double> percent = ParseNumber(*text);
        if (!percent || *percent < 0.0 || *percent > kMaxHumanise)
            return "--humanise needs a percentage from 0 to 100";
        style.humanise = static_cast<float>(*percent);
    }
    if (const auto text = line.Option("--bass-tuning")) {
        const std::optional<double> semitones = ParseNumber(*text);
        if (!semitones || *semitones < kMinBassTuning || *semitones > kMaxBassTuning)
            return "--bass-tuning needs semitones from -5 to 5";
        style.bassTuning = static_cast<float>(*semitones);
    }
    return std::nullopt;
}

std::optional<ExitCode> ReadSoundOptions(const CommandLine& line, const std::string& usage,
                                         SoundOptions& options) {
    if (!ReadTempoAndPitch(line, options.bpm, options.semitones))
        return ExitCode::Usage;
    auto problem = ReadDroneOptions(line, options.drone);
    if (!problem)
        problem = ReadLehraOptions(line, options.lehra);
    if (!problem)
        problem = ReadLevelOptions(line, options.levels);
    if (!problem)
        problem = ReadStrokeStyleOptions(line, options.style);
    if (problem)
        return UsageError(usage, *problem);
    return std::nullopt;
}

bool LoadKitOption(const CommandLine& line, CSampleBank& bank, KitChoice* chosen) {
    KitChoice choice = DefaultKitChoice();
    if (const auto text = line.Option("--kit")) {
        const std::optional<KitChoice> parsed = ParseKitChoice(*text);
        if (!parsed) {
            std::fprintf(stderr, text->empty()
                                     ? "lorvanta-cli: --kit needs recorded, synthesised or a "
                                       "folder\n"
                                     : "lorvanta-cli: this build has no recorded kit; --kit "
                                       "takes synthesised or a folder\n");
            return false;
        }
        choice = *parsed;
    }
    if (chosen)
        *chosen = choice;
    RecordingMessageSink sink;
    const StrokeKitResult result = ApplyKitChoice(bank, choice, sink);
    PrintMessages(sink);
    if (choice.folder.empty())
        return true;
    if (!result.folderRead)
        return false;
    const char* under =
        choice.builtIn == BuiltInKit::Recorded ? kRecordedKitName : kSynthesisedKitName;
    if (result.replaced.empty())
        std::fprintf(stderr, "lorvanta-cli: no strokes from %s; all are the %s kit's\n",
                     ShownName(choice.folder.string()).c_str(), under);
    else
        std::fprintf(stderr, "lorvanta-cli: strokes %s from %s, the others the %s kit's\n",
                     ReplacedIdsText(result.replaced).c_str(),
                     ShownName(choice.folder.string()).c_str(), under);
    return true;
}

} // namespace lorvanta::cli
