#pragma once

namespace lorvanta {

// The tempo and pitch a Taal may be played at, and what the user is told
// when a value lies outside them. Shared by the bars and the command-line tool.
inline constexpr double kMinTempoBpm = 10.0;
inline constexpr double kMaxTempoBpm = 1000.0;
inline constexpr double kMaxPitchSemitones = 6.0;

inline constexpr const char* kTempoOutOfRangeMessage =
    "Tempo out of range: Enter a value between %1 and %2 (measured in bpm)";
inline constexpr const char* kPitchOutOfRangeMessage =
    "Enter a value between -6.0 and 6.0 (number of semitones from C#). For example, +1 means D "
    "and -2 means B#.";

} // namespace lorvanta
