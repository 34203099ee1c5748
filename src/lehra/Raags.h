#pragma once

// The raags the bundled lehras are written in, with the notes each allows, so
// that a melody can be checked against its raag.

#include <array>
#include <optional>
#include <string_view>

namespace lorvanta {

struct RaagScale {
    std::string_view name;
    // The swaras it uses, as written in a lehra ("S R G M P D N").
    std::string_view swaras;
};

inline constexpr std::array<RaagScale, 12> kRaagScales{{
    {"Yaman", "S R G M P D N"},
    {"Bhimpalasi", "S R g m P D n"},
    {"Bageshri", "S R g m P D n"},
    {"Malkauns", "S g m d n"},
    {"Chandrakauns", "S g m d N"},
    {"Kirwani", "S R g m P d N"},
    {"Bhairav", "S r G m P d N"},
    {"Des", "S R G m P D n N"},
    {"Khamaj", "S R G m P D n N"},
    {"Kafi", "S R g m P D n"},
    {"Bhupali", "S R G P D"},
    {"Hamsadhwani", "S R G P N"},
}};

// The raag of that name (any case), if known.
std::optional<RaagScale> FindRaag(std::string_view name);
// Whether a note (semitones from Sa, any octave) is one of the raag's.
bool RaagAllows(const RaagScale& raag, int semitones);
// A swara's semitones above Sa in the middle octave: S 0, r 1 ... N 11;
// none for a character that is not a swara.
std::optional<int> SwaraSemitones(char swara);

} // namespace lorvanta
