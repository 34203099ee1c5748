#pragma once

// The records of the model classes in the archive encoding, with the range
// checks and repairs applied while reading. Taal files and the bol clipboard
// share the bol and sound records.

#include "model/Bol.h"
#include "model/Sound.h"
#include "model/Taal.h"
#include "model/TaalLimits.h"
#include "persistence/Archive.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace lorvanta {

// What the record readers found while reading one document (or payload).
struct LoadStatus {
    bool valid = true;     // cleared by any failed check
    bool repaired = false; // set when a sound was repaired
};

inline constexpr const char* kBolClassName = "CBol2";
inline constexpr const char* kInvalidTaalName = "Invalid Taal";
// The reader's limits are the ones every edit keeps.
inline constexpr std::int32_t kMaxTaalCount = static_cast<std::int32_t>(limits::kMaxBols);
inline constexpr float kMaxTaalTotal = limits::kMaxBeats;
inline constexpr std::uint32_t kMaxBolIndex = static_cast<std::uint32_t>(limits::kMaxBols);
inline constexpr float kMaxBolDuration = limits::kMaxBolBeats;
inline constexpr float kMinBolDuration = limits::kMinBolBeats;
inline constexpr float kMaxReservedValue = 6.0f;
inline constexpr float kMaxEmphasis = 20.0f;

// Sound record: name, id, instrument, emphasis. Reading repairs an emphasis out
// of -20..20 (or not finite) to a silent Tabla sound, an id of 30 or more to 0,
// and an unknown instrument to Tabla.
void ReadSoundRecord(ArchiveReader& reader, CSound& sound, LoadStatus& status);
void WriteSoundRecord(ArchiveWriter& writer, const CSound& sound);

// Bol record: display name, index, duration, reserved value, bass sound, pitch
// sound. Out-of-range values clear the valid flag and stay as read, except the
// duration: above 10 it becomes 10, below 0.001 it becomes 0.001, not finite 1.0.
void ReadBolRecord(ArchiveReader& reader, CBol2& bol, LoadStatus& status);
void WriteBolRecord(ArchiveWriter& writer, const CBol2& bol);

// Bols as class-tagged objects: the first of a stream carries the "CBol2" class
// description, later ones a reference to it. Anything but a CBol2 is an
// ArchiveError. One reader or writer per stream.
class BolObjectReader {
public:
    BolObjectReader();
    // Reads the tag and record of the element at the given 0-based position.
    std::unique_ptr<CBol2> Read(ArchiveReader& reader, std::size_t position, LoadStatus& status);

private:
    ObjectTagReader m_tags;
};

class BolObjectWriter {
public:
    BolObjectWriter() : m_tags(kBolClassName) {}
    void Write(ArchiveWriter& writer, const CBol2& bol);

private:
    ObjectTagWriter m_tags;
};

// Taal record: name, count, total, list count, tagged bols. A count above 50000
// or a total above 100000 gives an empty Taal "Invalid Taal" and nothing more
// is read. taal is emptied first.
void ReadTaalRecord(ArchiveReader& reader, CTaal& taal, LoadStatus& status);
void WriteTaalRecord(ArchiveWriter& writer, const CTaal& taal);

// The headerless legacy layout: fixed records of 106 bytes.
inline constexpr std::size_t kLegacyRecordSize = 106;
// A bol from one legacy record; its index is left 0 for the reader to set. It
// gets a version 4 bol's checks: an emphasis out of range silences its sound,
// a duration out of range is brought into it, each clearing the valid flag.
CBol2 BolFromLegacyRecord(std::span<const std::uint8_t, kLegacyRecordSize> record,
                          LoadStatus& status);

} // namespace lorvanta
