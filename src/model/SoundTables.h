#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace lorvanta {

using SoundId = std::uint32_t;

// The instrument a sound belongs to; it chooses the bol dictionary, never the recording.
enum Instrument : std::uint8_t { Tabla = 0, Pakhawaj = 1 };

inline constexpr SoundId kSilenceSoundId = 0;
inline constexpr SoundId kSoundCount = 30;
// Returned for a sound name found in neither table; plays as silence.
inline constexpr SoundId kUnknownSoundId = 30;

// The default tempo is one unit in the last place below 100 bpm.
inline constexpr std::uint32_t kDefaultTempoBits = 0x42C7FFFFu;
float DefaultTempo();

struct SoundTableRow {
    const char* name;
    SoundId id;
};

struct BuiltInBolRow {
    const char* name;
    const char* pitchSound;
    const char* bassSound;
};

enum class SoundTable { Pitch, Bass };

// Rows 0..20 of the pitch table and 0..11 of the bass table are the primary names.
std::span<const SoundTableRow> PitchTable();
std::span<const SoundTableRow> BassTable();
std::span<const SoundTableRow> Rows(SoundTable table);
std::size_t PrimaryRowCount(SoundTable table);
std::span<const BuiltInBolRow> BuiltInBols();

// Case-sensitive lookup that renames an alias to its primary name; 30 for a
// name in neither table (the name is then left alone).
SoundId NormalizeSoundName(std::string& name, SoundTable table);

// Case-insensitive lookup used by the dictionary loader: no renaming, 0 when
// nothing matches.
SoundId ResolveSoundName(const std::string& name, SoundTable table);

} // namespace lorvanta
