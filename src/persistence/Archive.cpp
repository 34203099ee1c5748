#include "persistence/Archive.h"

#include <algorithm>
#include <bit>

namespace lorvanta {

ArchiveError::ArchiveError(const std::string& what, std::size_t offset, std::string note)
    : std::runtime_error(what), m_offset(offset), m_note(std::move(note)) {}

void ArchiveError::AddContext(std::string_view context) {
    m_context += " of ";
    m_context += context;
}

std::string ArchiveError::Detail() const {
    std::string detail = std::string(what()) + m_context + " (byte " + std::to_string(m_offset);
    if (!m_note.empty())
        detail += ", " + m_note;
    return detail + ")";
}

std::string Utf16ToLatin1(std::span<const std::uint8_t> utf16le) {
    std::string out;
    out.reserve(utf16le.size() / 2);
    const std::size_t units = utf16le.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const auto unit = static_cast<std::uint16_t>(utf16le[2 * i] | (utf16le[2 * i + 1] << 8));
        if (unit < 0x100) {
            out += static_cast<char>(unit);
            continue;
        }
        // A surrogate pair is one character outside Latin-1: one '?'.
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const auto next =
                static_cast<std::uint16_t>(utf16le[2 * i + 2] | (utf16le[2 * i + 3] << 8));
            if (next >= 0xDC00 && next <= 0xDFFF)
                ++i;
        }
        out += '?';
    }
    return out;
}

std::span<const std::uint8_t> ArchiveReader::Take(std::size_t size, const char* field) {
    if (size > Remaining())
        throw ArchiveError(std::string("the ") + m_source + " ends inside the " + field,
                           m_position);
    const auto piece = m_bytes.subspan(m_position, size);
    m_position += size;
    return piece;
}

std::uint8_t ArchiveReader::ReadU8(const char* field) {
    return Take(1, field)[0];
}

std::uint16_t ArchiveReader::ReadU16(const char* field) {
    const auto b = Take(2, field);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t ArchiveReader::ReadU32(const char* field) {
    const auto b = Take(4, field);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::int16_t ArchiveReader::ReadI16(const char* field) {
    return static_cast<std::int16_t>(ReadU16(field));
}

std::int32_t ArchiveReader::ReadI32(const char* field) {
    return static_cast<std::int32_t>(ReadU32(field));
}

float ArchiveReader::ReadF32(const char* field) {
    return std::bit_cast<float>(ReadU32(field));
}

void ArchiveReader::ReadBytes(std::span<std::uint8_t> out, const char* field) {
    const auto piece = Take(out.size(), field);
    std::copy(piece.begin(), piece.end(), out.begin());
}

std::string ArchiveReader::ReadString(const char* field) {
    const std::size_t start = m_position;
    std::uint64_t length = ReadU8(field);
    bool wide = false;
    if (length == 0xFF) {
        std::uint16_t word = ReadU16(field);
        if (word == 0xFFFE) {
            // A UTF-16 string: its length follows again, counted in 16-bit units.
            wide = true;
            length = ReadU8(field);
            if (length == 0xFF)
                word = ReadU16(field);
        }
        if (length == 0xFF)
            length = word < 0xFFFF ? word : ReadU32(field);
    }
    const std::uint64_t size = wide ? length * 2 : length;
    if (size > Remaining())
        throw ArchiveError(std::string("the ") + m_source + " ends inside the " + field, start,
                           "a string of " + std::to_string(length) + " characters");
    const auto piece = Take(static_cast<std::size_t>(size), field);
    if (wide)
        return Utf16ToLatin1(piece);
    return std::string(piece.begin(), piece.end());
}

std::uint32_t ArchiveReader::ReadCount(const char* field) {
    const std::uint16_t count = ReadU16(field);
    if (count != 0xFFFF)
        return count;
    return ReadU32(field);
}

void ArchiveWriter::WriteU16(std::uint16_t value) {
    m_bytes.push_back(static_cast<std::uint8_t>(value));
    m_bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void ArchiveWriter::WriteU32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        m_bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

void ArchiveWriter::WriteF32(float value) {
    WriteU32(std::bit_cast<std::uint32_t>(value));
}

void ArchiveWriter::WriteBytes(std::span<const std::uint8_t> bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

void ArchiveWriter::WriteString(std::string_view text) {
    const std::size_t n = text.size();
    if (n < 0xFF) {
        WriteU8(static_cast<std::uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(static_cast<std::uint16_t>(n));
    } else if (n < 0xFFFFFFFFu) {
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<std::uint32_t>(n));
    } else {
        throw std::length_error("string too long for the archive");
    }
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
}

void ArchiveWriter::WriteCount(std::uint32_t count) {
    if (count < 0xFFFF) {
        WriteU16(static_cast<std::uint16_t>(count));
    } else {
        WriteU16(0xFFFF);
        WriteU32(count);
    }
}

namespace {

// A name from the stream as a message can show it.
std::string Printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return text;
}

} // namespace

ObjectTagReader::ObjectTagReader(std::string expectedClass, std::vector<std::string> knownClasses)
    : m_expectedClass(std::move(expectedClass)), m_knownClasses(std::move(knownClasses)) {}

void ObjectTagReader::ReadTag(ArchiveReader& reader, const std::string& elementName) {
    // A stream that ends inside a tag says which element it was reading.
    auto inElement = [&](auto read) {
        try {
            return read();
        } catch (ArchiveError& error) {
            error.AddContext(elementName);
            throw;
        }
    };
    const std::size_t start = reader.Position();
    const std::uint16_t tag = inElement([&] { return reader.ReadU16("object tag"); });
    std::uint16_t schema = 0;
    std::string name;
    if (tag == kNewClassTag) {
        schema = inElement([&] { return reader.ReadU16("class schema"); });
        const std::size_t lengthAt = reader.Position();
        const std::uint16_t length = inElement([&] { return reader.ReadU16("class name length"); });
        if (length > kMaxClassNameLength)
            throw ArchiveError(elementName + " names a class of " + std::to_string(length) +
                                   " characters (at most " + std::to_string(kMaxClassNameLength) +
                                   " are allowed)",
                               lengthAt);
        name.resize(length);
        inElement([&] {
            reader.ReadBytes(std::span(reinterpret_cast<std::uint8_t*>(name.data()), name.size()),
                             "class name");
            return 0;
        });
        const bool known =
            std::find(m_knownClasses.begin(), m_knownClasses.end(), name) != m_knownClasses.end();
        if (!known)
            throw ArchiveError(elementName + " is of the class \"" + Printable(name) +
                                   "\", which is no class of Lorvanta",
                               start);
        if (name != m_expectedClass)
            throw ArchiveError(elementName + " is a " + name + ", not a " + m_expectedClass, start);
        if (schema != 0)
            throw ArchiveError(elementName + " is a " + name + " of schema " +
                                   std::to_string(schema) + ", which Lorvanta cannot read",
                               start);
        m_map.push_back(Entry::ExpectedClass);
    } else if (tag == kBigObjectTag) {
        throw ArchiveError(
            elementName + " has a 32-bit object tag, which is not a " + m_expectedClass, start);
    } else if ((tag & kClassTag) != 0) {
        const std::size_t number = tag & ~kClassTag;
        if (number == 0 || number >= m_map.size())
            throw ArchiveError(elementName + " refers to class number " + std::to_string(number) +
                                   ", which was never described",
                               start);
        if (m_map[number] != Entry::ExpectedClass)
            throw ArchiveError(elementName + " refers to number " + std::to_string(number) +
                                   ", which is not a class",
                               start);
    } else if (tag == kNullTag) {
        throw ArchiveError(elementName + " is a null object, not a " + m_expectedClass, start);
    } else {
        throw ArchiveError(elementName + " refers back to object " + std::to_string(tag) +
                               " instead of holding a " + m_expectedClass,
                           start);
    }
    m_map.push_back(Entry::Object);
}

void ObjectTagWriter::WriteTag(ArchiveWriter& writer) {
    if (m_classNumber == 0) {
        writer.WriteU16(kNewClassTag);
        writer.WriteU16(0); // schema
        writer.WriteU16(static_cast<std::uint16_t>(m_className.size()));
        writer.WriteBytes(std::span(reinterpret_cast<const std::uint8_t*>(m_className.data()),
                                    m_className.size()));
        m_classNumber = m_nextNumber++;
    } else {
        writer.WriteU16(static_cast<std::uint16_t>(kClassTag | m_classNumber));
    }
    ++m_nextNumber;
}

} // namespace lorvanta
