#pragma once

// How the renderer shapes the strokes beyond the recordings themselves: whether
// each drum rings on under the following bols or every stroke is cut where the
// next bol begins, how much each hit is varied (humanise), and how far the
// bass drum is tuned against the treble drum.

#include "model/SoundTables.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lorvanta {

enum class StrokeEndings : std::uint8_t {
    // Each drum's stroke rings until that drum is struck again.
    Ring,
    // Every stroke is cut where the next bol's slot begins.
    Cut,
};

enum class Drum : std::uint8_t { None, Treble, Bass };

// The drum a sound is played on and how fast its stroke damps that drum's
// ring (from stroke-endings.tsv).
struct StrokeEnding {
    Drum drum = Drum::None;
    float dampMs = 0.0f;
};
StrokeEnding StrokeEndingOf(SoundId sound);

inline constexpr float kMinBassTuning = -5.0f;
inline constexpr float kMaxBassTuning = 5.0f;
inline constexpr float kMaxHumanise = 100.0f;
// What a player hears as a steady but living hand.
inline constexpr float kDefaultHumanise = 40.0f;

struct StrokeStyle {
    StrokeEndings endings = StrokeEndings::Cut;
    // Percent, 0 to 100: 0 gives identical hits.
    float humanise = 0.0f;
    // Semitones the bass drum's strokes are moved against the treble drum.
    float bassTuning = 0.0f;

    bool operator==(const StrokeStyle&) const = default;
    // Within range; NaN taken as 0.
    StrokeStyle Clamped() const;
};

// The program's own choice for a new user: strokes ring, a little humanised.
inline constexpr StrokeStyle kDefaultStrokeStyle{StrokeEndings::Ring, kDefaultHumanise, 0.0f};

// "natural" (rings on) or "cut"; empty for anything else.
std::optional<StrokeEndings> ParseStrokeEndings(std::string_view text);
std::string_view StrokeEndingsText(StrokeEndings endings);

} // namespace lorvanta
