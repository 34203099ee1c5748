#pragma once

// Builds Taal file images field by field, so each test states the bytes it
// feeds the reader.

#include "model/Bol.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace lorvanta::test {

class Bytes {
public:
    Bytes& U8(std::uint8_t v) {
        m_data.push_back(v);
        return *this;
    }
    Bytes& U16(std::uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    Bytes& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Bytes& F32(float v) { return U32(std::bit_cast<std::uint32_t>(v)); }
    Bytes& Raw(std::string_view text) {
        m_data.insert(m_data.end(), text.begin(), text.end());
        return *this;
    }
    Bytes& Append(const std::vector<std::uint8_t>& more) {
        m_data.insert(m_data.end(), more.begin(), more.end());
        return *this;
    }
    Bytes& Zeros(std::size_t n) {
        m_data.insert(m_data.end(), n, 0);
        return *this;
    }
    // A short string (fewer than 255 characters).
    Bytes& Str(std::string_view text) {
        return U8(static_cast<std::uint8_t>(text.size())).Raw(text);
    }

    // File parts.
    Bytes& Header(std::uint16_t version = 4) { return U16(0xAAAA).U16(version); }
    Bytes& Params(float tempo = std::bit_cast<float>(0x42C7FFFFu)) { return F32(tempo).Zeros(256); }
    Bytes& TaalHead(std::string_view name, std::int32_t count, float total,
                    std::uint16_t listCount) {
        return Str(name).U32(static_cast<std::uint32_t>(count)).F32(total).U16(listCount);
    }
    Bytes& ClassTag() { return U16(0xFFFF).U16(0).U16(5).Raw("CBol2"); }
    Bytes& Sound(std::string_view name = "Silence", std::uint32_t id = 0,
                 std::uint8_t instrument = 0, float emphasis = 0.0f) {
        return Str(name).U32(id).U8(instrument).F32(emphasis);
    }
    // A bol record without its bass and pitch sounds.
    Bytes& BolHead(std::string_view name, std::uint32_t index = 0, float duration = 1.0f,
                   float reserved = 0.0f) {
        return Str(name).U32(index).F32(duration).F32(reserved);
    }
    // A bol record with two silent sounds.
    Bytes& Bol(std::string_view name = "Silence", std::uint32_t index = 0, float duration = 1.0f,
               float reserved = 0.0f) {
        return BolHead(name, index, duration, reserved).Sound().Sound();
    }

    const std::vector<std::uint8_t>& Data() const { return m_data; }
    operator const std::vector<std::uint8_t>&() const { return m_data; }
    operator std::span<const std::uint8_t>() const { return m_data; }

private:
    std::vector<std::uint8_t> m_data;
};

// A version 4 file of one bol with the given record bytes (tag included here).
inline std::vector<std::uint8_t> OneBolFile(const Bytes& bolRecord, float total = 1.0f) {
    Bytes file;
    file.Header().Params().TaalHead("T", 1, total, 1).ClassTag().Append(bolRecord.Data());
    return file.Data();
}

// A record of the headerless legacy layout: three 30-byte texts (cut, not
// terminated, when longer), two emphases, the duration and 8 bytes never read.
inline std::vector<std::uint8_t> LegacyRecord(std::string_view name, std::string_view bass,
                                              std::string_view pitch, float duration = 1.0f,
                                              std::int16_t bassEmphasis = 0,
                                              std::int16_t pitchEmphasis = 0) {
    Bytes record;
    for (const std::string_view text : {name, bass, pitch})
        record.Raw(text.substr(0, 30)).Zeros(30 - std::min<std::size_t>(text.size(), 30));
    record.U16(static_cast<std::uint16_t>(bassEmphasis))
        .U16(static_cast<std::uint16_t>(pitchEmphasis))
        .F32(duration)
        .Raw("NOTREAD!");
    return record.Data();
}

// "name id instrument emphasis".
inline std::string Describe(const CSound& s) {
    std::ostringstream out;
    out << s.name << " " << s.soundId << " " << static_cast<int>(s.instrument) << " " << s.emphasis;
    return out.str();
}

// "name index duration reserved / bass / pitch".
inline std::string Describe(const CBol2& b) {
    std::ostringstream out;
    out << b.name << " " << b.index << " " << b.duration << " " << b.reserved << " / "
        << Describe(b.bass) << " / " << Describe(b.pitch);
    return out.str();
}

} // namespace lorvanta::test
