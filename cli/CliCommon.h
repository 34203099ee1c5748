#pragma once

#include "audio/DrumLevels.h"
#include "model/Messages.h"
#include "model/StatusTable.h"
#include "persistence/TaalFile.h"
#include "session/LorvantaSession.h"
#include "soundfiles/StrokeKit.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace lorvanta::cli {

// The tool's exit codes; none has a text of its own.
enum class ExitCode : std::uint32_t {
    Ok = 0,
    Failure = 2,      // the input could not be used
    NotReadWhole = 3, // a check failed reading the input; nothing written
    Usage = 64,       // the command line is wrong
};

inline constexpr std::array<StatusEntry<ExitCode>, 4> kExitCodeTable{{
    {ExitCode::Ok, 0, ""},
    {ExitCode::Failure, 2, ""},
    {ExitCode::NotReadWhole, 3, ""},
    {ExitCode::Usage, 64, ""},
}};
static_assert(StatusTableConsistent(kExitCodeTable));

// The process exit status of a code.
constexpr int StatusNumber(ExitCode code) {
    return static_cast<int>(FindStatus(kExitCodeTable, code).number);
}

// A command's arguments after the shared options were taken out.
struct CommandLine {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options; // "--name", value

    std::optional<std::string> Option(const std::string& name) const;
    bool Has(const std::string& name) const { return Option(name).has_value(); }
};

// Splits arguments into positionals and "--name value" options. Options listed
// in valueOptions take a value; flagOptions take none. Anything else starting
// with "--" is an error (returned as its text).
std::optional<std::string> ParseCommandLine(const std::vector<std::string>& args,
                                            const std::vector<std::string>& valueOptions,
                                            const std::vector<std::string>& flagOptions,
                                            CommandLine& out);

// Parses a command's arguments, expecting exactly positionalCount positionals.
// Returns the usage exit code (after printing the usage line) when they do not
// fit, nothing when line is ready to use.
std::optional<ExitCode> ReadArguments(const std::vector<std::string>& args, const char* usage,
                                      const std::vector<std::string>& valueOptions,
                                      std::size_t positionalCount, CommandLine& line,
                                      const std::vector<std::string>& flagOptions = {});

// A command that writes refuses to when its input's read failed a check (the
// valid flag cleared; a repair alone goes ahead), unless given --force: what
// was read is not the whole file. Returns the exit code when it refuses.
std::optional<ExitCode> RefuseIncompleteRead(const ReadOutcome& outcome, const CommandLine& line);

// What a command needs of the Taal file it opens.
struct OpenChecks {
    bool readWhole = false; // refuse a read that failed a check (see RefuseIncompleteRead)
    bool playable = false;  // refuse a Taal without bols to sound
};

// Opens the command's FILE (its first positional) into doc as the program
// opens a file, printing the reader's messages, and applies the program's
// tempo rule. Returns the exit code when the file cannot be used as checks
// ask, nothing when doc is ready.
std::optional<ExitCode> OpenTaalArgument(CLorvantaDoc& doc, const CommandLine& line,
                                         RecordingMessageSink& sink, OpenChecks checks);

// Prints "usage: ..." to stderr and returns ExitCode::Usage.
ExitCode UsageError(const std::string& usage, const std::string& problem = {});

// Strict number parsing of a whole argument (finite, nothing left over).
std::optional<double> ParseNumber(const std::string& text);
std::optional<long> ParseInteger(const std::string& text);

// Prints the message boxes the program would have shown, one a line on
// stderr, and forgets them so that a later call prints only newer ones.
void PrintMessages(RecordingMessageSink& sink);

// The tempo bar's message for a tempo outside 10 to 1000 bpm, on stderr.
void PrintTempoOutOfRange();

// Reads --tempo BPM and --pitch SEMITONES as the bars check them. On a value out
// of range prints the bars' message and returns false; absent options leave
// bpm empty and semitones 0.
bool ReadTempoAndPitch(const CommandLine& line, std::optional<double>& bpm, double& semitones);

// Reads play's and render's --drone, --drone-level and --drone-octave: drone
// stays empty without --drone. The level (dB against the
// Taal, -6 by default, -60 to +12) and the octave of Sa (3 by default) need
// --drone. A problem's text on a bad value.
std::optional<std::string> ReadDroneOptions(const CommandLine& line,
                                            std::optional<DroneSettings>& drone);

// Reads play's and render's --treble-level, --bass-level and --master-level
// (dB from -40 to +6, or off; 0 dB when absent) into levels. A problem's text
// on a bad value.
std::optional<std::string> ReadLevelOptions(const CommandLine& line, DrumLevels& levels);

// Reads play's and render's --lehra NAME|auto, --lehra-instrument and
// --lehra-level: lehra stays empty without --lehra. "auto" leaves the name
// empty (the first lehra that fits the Taal). A problem's text on a bad value.
std::optional<std::string> ReadLehraOptions(const CommandLine& line,
                                            std::optional<LehraSettings>& lehra);

// Turns the lehra on in the session from the lehras the program finds
// (their warnings printed); false after saying why when it cannot play.
bool ApplyLehraOption(CLorvantaSession& session, const LehraSettings& lehra,
                      RecordingMessageSink& sink);

// What render and play hear besides the Taal: the tempo (empty: the Taal's
// own), the pitch shift, the drone, the lehra and the drum levels.
struct SoundOptions {
    std::optional<double> bpm;
    double semitones = 0.0;
    std::optional<DroneSettings> drone;
    std::optional<LehraSettings> lehra;
    DrumLevels levels;
    // How strokes end, the humanise and the bass drum's tuning: the
    // program's defaults unless --ring, --humanise or --bass-tuning say otherwise.
    StrokeStyle style = kDefaultStrokeStyle;
};
// Reads --ring natural|cut, --humanise PERCENT (0 to 100) and --bass-tuning
// SEMITONES (-5 to 5). A problem's text on a bad value.
std::optional<std::string> ReadStrokeStyleOptions(const CommandLine& line, StrokeStyle& style);
// The option names ReadSoundOptions reads besides tempo, pitch, drone and levels.
inline constexpr const char* kStrokeStyleUsage =
    " [--ring natural|cut] [--humanise PERCENT] [--bass-tuning SEMITONES]";
// Reads them all; on a bad value says what is wrong (with the usage where the
// option is malformed) and returns the exit code.
std::optional<ExitCode> ReadSoundOptions(const CommandLine& line, const std::string& usage,
                                         SoundOptions& options);

// Reads --kit (recorded, synthesised or a folder; the default kit when absent)
// and puts it into bank. Says on stderr which sounds a folder gave and prints
// the kit's messages. False, with the reason printed, when the kit cannot be
// had (recorded in a build without it, a folder that cannot be read).
bool LoadKitOption(const CommandLine& line, CSampleBank& bank, KitChoice* chosen = nullptr);

} // namespace lorvanta::cli
