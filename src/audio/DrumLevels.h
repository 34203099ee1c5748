#pragma once

// The player's mix of the two drums: a level for the treble drum (the bols'
// pitch sounds), one for the bass drum (their bass sounds) and a master level
// over both. Each is a level in dB from -40 to +6, or off. The renderer
// scales each drum's strokes by its gain when it mixes a bol, with the
// mixing's saturation, so levels above 0 dB clip rather than wrap.

#include <optional>
#include <string>
#include <string_view>

namespace lorvanta {

inline constexpr float kMinDrumLevelDb = -40.0f;
inline constexpr float kMaxDrumLevelDb = 6.0f;

struct DrumLevel {
    float db = 0.0f;
    // Silent, whatever db says; db is kept so that turning it on again comes
    // back to the same level.
    bool off = false;

    bool operator==(const DrumLevel&) const = default;
    // 0 when off, else 10^(db / 20) in double precision, used in single.
    float Gain() const;
    // Within range: db clamped to -40 to +6, NaN taken as 0 dB.
    DrumLevel Clamped() const;
};

struct DrumLevels {
    // Each 0 dB unless given, so that a mix may name only its first levels.
    DrumLevel treble{};
    DrumLevel bass{};
    DrumLevel master{};

    bool operator==(const DrumLevels&) const = default;
    // The gain on each drum's strokes, master included; exactly 1 at 0 dB.
    float TrebleGain() const { return treble.Gain() * master.Gain(); }
    float BassGain() const { return bass.Gain() * master.Gain(); }
    DrumLevels Clamped() const { return {treble.Clamped(), bass.Clamped(), master.Clamped()}; }
};

// "off", or a number of dB from -40 to +6 (nothing else around it). Empty
// for anything else, out-of-range numbers included.
std::optional<DrumLevel> ParseDrumLevel(std::string_view text);
// "off" or the dB as the shortest text that reads back to the same float;
// ParseDrumLevel reads it back.
std::string DrumLevelText(const DrumLevel& level);

} // namespace lorvanta
