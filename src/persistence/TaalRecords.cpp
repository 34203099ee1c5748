#include "persistence/TaalRecords.h"

#include <bit>
#include <cmath>
#include <string_view>

namespace lorvanta {

namespace {

// Runs a read and, when the stream turns out malformed inside it, says which
// part of the record it was reading.
template <typename Read> void InContext(std::string_view context, Read read) {
    try {
        read();
    } catch (ArchiveError& error) {
        error.AddContext(context);
        throw;
    }
}

// A duration out of range would reach the layout's and the renderer's integer
// conversions: it is brought into range and fails the check.
void MendDuration(float& duration, LoadStatus& status) {
    if (!std::isfinite(duration))
        duration = 1.0f;
    else if (duration > kMaxBolDuration)
        duration = kMaxBolDuration;
    else if (duration < kMinBolDuration)
        duration = kMinBolDuration;
    else
        return;
    status.valid = false;
}

// Step 2 of the sound repair: an emphasis out of range silences the sound.
void MendEmphasis(CSound& sound, LoadStatus& status) {
    if (std::isfinite(sound.emphasis) && sound.emphasis <= kMaxEmphasis &&
        sound.emphasis >= -kMaxEmphasis)
        return;
    sound.name = "Silence";
    sound.soundId = kSilenceSoundId;
    sound.instrument = Tabla;
    sound.emphasis = 0.0f;
    status.valid = false;
}

} // namespace

void ReadSoundRecord(ArchiveReader& reader, CSound& sound, LoadStatus& status) {
    sound.name = reader.ReadString("name");
    sound.soundId = reader.ReadU32("sound id");
    sound.instrument = reader.ReadU8("instrument");
    sound.emphasis = reader.ReadF32("emphasis");

    MendEmphasis(sound, status);
    if (sound.soundId >= kSoundCount) {
        sound.soundId = kSilenceSoundId;
        sound.instrument = Tabla;
        status.valid = false;
        status.repaired = true;
    }
    if (sound.instrument != Tabla && sound.instrument != Pakhawaj) {
        sound.instrument = Tabla;
        status.repaired = true;
    }
}

void WriteSoundRecord(ArchiveWriter& writer, const CSound& sound) {
    writer.WriteString(sound.name);
    writer.WriteU32(sound.soundId);
    writer.WriteU8(sound.instrument);
    writer.WriteF32(sound.emphasis);
}

void ReadBolRecord(ArchiveReader& reader, CBol2& bol, LoadStatus& status) {
    bol.name = reader.ReadString("display name");
    bol.index = reader.ReadU32("index");
    bol.duration = reader.ReadF32("duration");
    bol.reserved = reader.ReadF32("reserved value");

    MendDuration(bol.duration, status);
    if (bol.index > kMaxBolIndex || !std::isfinite(bol.reserved) ||
        bol.reserved > kMaxReservedValue || bol.reserved < -kMaxReservedValue)
        status.valid = false;

    InContext("the bass sound", [&] { ReadSoundRecord(reader, bol.bass, status); });
    InContext("the pitch sound", [&] { ReadSoundRecord(reader, bol.pitch, status); });
}

void WriteBolRecord(ArchiveWriter& writer, const CBol2& bol) {
    writer.WriteString(bol.name);
    writer.WriteU32(bol.index);
    writer.WriteF32(bol.duration);
    writer.WriteF32(bol.reserved);
    WriteSoundRecord(writer, bol.bass);
    WriteSoundRecord(writer, bol.pitch);
}

BolObjectReader::BolObjectReader()
    : m_tags(kBolClassName, {"CBol2", "CSound", "CTaal", "CTaalParams", "CFileHeader"}) {}

std::unique_ptr<CBol2> BolObjectReader::Read(ArchiveReader& reader, std::size_t position,
                                             LoadStatus& status) {
    const std::string ordinal = std::to_string(position + 1);
    m_tags.ReadTag(reader, "list element " + ordinal);
    auto bol = std::make_unique<CBol2>();
    InContext("bol " + ordinal, [&] { ReadBolRecord(reader, *bol, status); });
    return bol;
}

void BolObjectWriter::Write(ArchiveWriter& writer, const CBol2& bol) {
    m_tags.WriteTag(writer);
    WriteBolRecord(writer, bol);
}

void ReadTaalRecord(ArchiveReader& reader, CTaal& taal, LoadStatus& status) {
    taal.RemoveAll();
    std::int32_t count = 0;
    float total = 0.0f;
    InContext("the Taal", [&] {
        taal.SetName(reader.ReadString("name"));
        count = reader.ReadI32("bol count");
        total = reader.ReadF32("total length");
    });
    if (count > kMaxTaalCount || total > kMaxTaalTotal) {
        taal.SetName(kInvalidTaalName);
        status.valid = false;
        return;
    }

    std::uint32_t listCount = 0;
    InContext("the Taal", [&] { listCount = reader.ReadCount("list count"); });
    // Elements are read one by one, never reserved for up front: a count larger
    // than the data can hold ends with the stream, not with a huge allocation.
    // Append keeps the running sum of the durations as the total.
    BolObjectReader bols;
    for (std::uint32_t i = 0; i < listCount; ++i)
        taal.Append(bols.Read(reader, i, status));

    // The model's count is its list; a record whose count disagrees is invalid.
    if (static_cast<std::int64_t>(count) != static_cast<std::int64_t>(listCount))
        status.valid = false;
    // A stated length that is no number keeps the sum of the durations read.
    if (std::isfinite(total))
        taal.SetTotal(total);
    else
        status.valid = false;
}

void WriteTaalRecord(ArchiveWriter& writer, const CTaal& taal) {
    writer.WriteString(taal.Name());
    writer.WriteI32(taal.Count());
    writer.WriteF32(taal.Total());
    writer.WriteCount(static_cast<std::uint32_t>(taal.Count()));
    BolObjectWriter bols;
    for (const auto& bol : taal.Bols())
        bols.Write(writer, *bol);
}

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

// A 30-byte text field: up to the first NUL, trailing white space removed.
std::string LegacyText(std::span<const std::uint8_t> field) {
    std::string_view text(reinterpret_cast<const char*>(field.data()), field.size());
    text = text.substr(0, text.find('\0'));
    const auto last = text.find_last_not_of(kWhiteSpace);
    return std::string(last == std::string_view::npos ? std::string_view{}
                                                      : text.substr(0, last + 1));
}

std::int16_t LegacyI16(std::span<const std::uint8_t> bytes) {
    return static_cast<std::int16_t>(bytes[0] | (bytes[1] << 8));
}

float LegacyF32(std::span<const std::uint8_t> bytes) {
    const std::uint32_t bits =
        static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
        (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
    return std::bit_cast<float>(bits);
}

CSound LegacySound(std::span<const std::uint8_t> nameField, std::int16_t emphasis,
                   SoundTable table) {
    CSound sound;
    sound.name = LegacyText(nameField);
    sound.soundId = NormalizeSoundName(sound.name, table);
    sound.instrument = Tabla;
    sound.emphasis = static_cast<float>(emphasis);
    return sound;
}

} // namespace

CBol2 BolFromLegacyRecord(std::span<const std::uint8_t, kLegacyRecordSize> record,
                          LoadStatus& status) {
    CBol2 bol;
    bol.name = LegacyText(record.subspan(0, 30));
    bol.bass =
        LegacySound(record.subspan(30, 30), LegacyI16(record.subspan(90, 2)), SoundTable::Bass);
    bol.pitch =
        LegacySound(record.subspan(60, 30), LegacyI16(record.subspan(92, 2)), SoundTable::Pitch);
    MendEmphasis(bol.bass, status);
    MendEmphasis(bol.pitch, status);
    bol.duration = LegacyF32(record.subspan(94, 4));
    MendDuration(bol.duration, status);
    bol.reserved = 0.0f;
    bol.index = 0;
    return bol;
}

} // namespace lorvanta
