#pragma once

// A practice routine: an ordered list of steps, each a Taal file played for
// so many cycles (or minutes) at a tempo, with an optional pause after it;
// and its text form, one step a line:
//
//   # Morning practice
//   Teentaal.tal | 4 cycles | 80 bpm
//   Teentaal.tal | 4 cycles | +20 bpm | pause 5 s
//   Compositions/Kaida.tal | 3 minutes
//
// Fields are separated by "|": the file, then the length ("N cycles" or
// "N minutes"), then optionally the tempo ("N bpm", or "+N bpm" / "-N bpm"
// from the step before; none: the Taal's own tempo) and a pause ("pause N s").
// Blank lines and lines starting with "#" are notes.

#include "model/StatusTable.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvanta {

enum class RoutineStatus : std::uint32_t {
    Ok = 0,
    NoFile = 1,
    BadLength = 2,
    BadTempo = 3,
    BadPause = 4,
    UnknownField = 5,
    NoSteps = 6,
    TooManySteps = 7,
};

// %1 = the line's number.
inline constexpr std::array<StatusEntry<RoutineStatus>, 8> kRoutineStatusTable{{
    {RoutineStatus::Ok, 0, ""},
    {RoutineStatus::NoFile, 1, "Line %1: a step starts with the Taal file it plays."},
    {RoutineStatus::BadLength, 2,
     "Line %1: give the step's length as \"N cycles\" (1 to 1000) or \"N minutes\" (at most "
     "600)."},
    {RoutineStatus::BadTempo, 3,
     "Line %1: give the tempo as \"N bpm\" (10 to 1000) or a change such as \"+10 bpm\"."},
    {RoutineStatus::BadPause, 4,
     "Line %1: give the pause as \"pause N s\", more than 0 and at most 600 seconds."},
    {RoutineStatus::UnknownField, 5,
     "Line %1: after the file come the length, the tempo and a pause, each once."},
    {RoutineStatus::NoSteps, 6, "The routine has no steps."},
    {RoutineStatus::TooManySteps, 7, "Line %1: a routine holds at most 1000 steps."},
}};
static_assert(StatusTableConsistent(kRoutineStatusTable));

constexpr const auto& StatusTableOf(RoutineStatus) {
    return kRoutineStatusTable;
}

inline constexpr int kMaxRoutineSteps = 1000;
inline constexpr int kMaxStepCycles = 1000;
inline constexpr double kMaxStepMinutes = 600.0;
inline constexpr double kMaxPauseSeconds = 600.0;

struct RoutineStep {
    enum class Tempo { OfTaal, Absolute, Change };
    std::string file;     // as written: absolute, or relative (see ResolveStepFile)
    int cycles = 4;       // when minutes is 0
    double minutes = 0.0; // more than 0: the length in minutes instead
    Tempo tempo = Tempo::OfTaal;
    double bpm = 0.0;          // Absolute: the tempo; Change: the change
    double pauseSeconds = 0.0; // silence after the step (the drone goes on)
    bool operator==(const RoutineStep&) const = default;
};

struct PracticeRoutine {
    std::vector<RoutineStep> steps;
    bool operator==(const PracticeRoutine&) const = default;
};

struct RoutineParse {
    RoutineStatus status = RoutineStatus::Ok;
    int line = 0; // 1-based line of the problem (0 for the whole text)
    PracticeRoutine routine;
};

RoutineParse ParseRoutine(std::string_view text);
std::string WriteRoutine(const PracticeRoutine& routine);
// What is wrong, for the player: the status's text with its line.
std::string RoutineProblemText(const RoutineParse& parse);

// The file extension of routines in the user's data folder.
inline constexpr std::string_view kRoutineExtension = ".routine";

// Where a step's file is: absolute as written, else the first of the folders
// (the routine's own, the Taals folder) that holds it; empty when none does.
std::filesystem::path ResolveStepFile(const RoutineStep& step,
                                      const std::vector<std::filesystem::path>& folders);

// The tempo a step plays at, from the tempo before it (the first step: the
// Taal's own) and the Taal's default tempo, within 10 to 1000 bpm.
double StepTempo(const RoutineStep& step, double previousBpm, double taalBpm);
// The cycles a step plays of a Taal so many beats long at a tempo: its
// cycles, or as many whole cycles as come nearest its minutes (at least 1).
int StepCycles(const RoutineStep& step, double taalBeats, double bpm);

} // namespace lorvanta
