#pragma once

// A lehra: a short melody in a raag, one or two cycles of a Taal long, played
// in a loop under the tabla. The text form it is kept in (a ".lehra" file):
//
//   # a comment
//   name: Yaman Teentaal
//   raag: Yaman
//   beats: 16
//   instrument: harmonium
//   melody:
//   .N R G R | S - .N R | G M D N | D P M G
//
// The melody runs from the line after "melody:" to the end of the file. Each
// group of characters between spaces is one beat; commas split a beat into
// equal parts ("G,M" is two half beats). Swaras are S r R g G m M P d D n N
// (lower case komal, M tivra); a dot before a swara takes it an octave down,
// an apostrophe after it an octave up (".N", "S'"). "-" holds the sound
// before it on, "_" is silence, and "|" marks a vibhag's end; when the file
// gives "vibhags:" (beats of each, "4 4 4 4") the marks must fall there.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvanta {

// What the lehra is played on; each is a voice of the General MIDI set.
enum class LehraInstrument { Harmonium, Santoor, Sarangi, Bansuri };

inline constexpr LehraInstrument kAllLehraInstruments[] = {
    LehraInstrument::Harmonium, LehraInstrument::Santoor, LehraInstrument::Sarangi,
    LehraInstrument::Bansuri};

// "harmonium", "santoor", "sarangi" or "bansuri" (any case).
std::optional<LehraInstrument> ParseLehraInstrument(std::string_view name);
const char* LehraInstrumentName(LehraInstrument instrument);

// One sounded note: where it starts and how long it lasts, in beats from
// the lehra's start, and its distance from Sa in semitones (-12..-1 the lower
// octave, 12..23 the upper).
struct LehraNote {
    double start = 0.0;
    double length = 0.0;
    int semitones = 0;
};

struct Lehra {
    std::string name;
    std::string raag;
    int beats = 0;
    LehraInstrument instrument = LehraInstrument::Harmonium;
    std::vector<int> vibhags; // empty: not given
    std::vector<LehraNote> notes;

    // The lehra fits a Taal of taalBeats when it is one or two of its cycles.
    bool Fits(double taalBeats) const;
    // 1 or 2 for a Taal it fits; 0 otherwise.
    int CyclesOf(double taalBeats) const;
};

// A line of a lehra file that does not read, and why.
struct LehraProblem {
    int line = 0;
    std::string text;
};

struct LehraParse {
    std::optional<Lehra> lehra; // none when there is any problem
    std::vector<LehraProblem> problems;
};

// Reads the text of a lehra file. A lehra longer than kMaxLehraBeats, or
// with a part shorter than a sixteenth of a beat, does not read.
inline constexpr int kMaxLehraBeats = 64;
LehraParse ParseLehra(std::string_view text);

// Sa's MIDI note at no pitch shift: C#4, the dayan's note.
inline constexpr int kSaMidiNote = 61;

} // namespace lorvanta
