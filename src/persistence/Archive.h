#pragma once

// The archive encoding shared by Taal files and the bol clipboard: flat
// little-endian fields, length-prefixed strings, counted lists and class-tagged
// objects.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lorvanta {

// A stream that cannot be read as an archive at all: it ends inside a field or
// holds an object of the wrong kind. The text says what is wrong; context is
// added on the way out ("... of bol 3") so the message can say where.
class ArchiveError : public std::runtime_error {
public:
    // note, when given, follows the offset: "(byte 264, a string of 5 characters)".
    ArchiveError(const std::string& what, std::size_t offset, std::string note = {});

    std::size_t Offset() const { return m_offset; }
    // What is wrong, followed by the contexts added, then the byte offset.
    std::string Detail() const;
    // Adds an enclosing context, e.g. "the bass sound", then "bol 3".
    void AddContext(std::string_view context);

private:
    std::string m_context;
    std::size_t m_offset;
    std::string m_note;
};

// Converts UTF-16 little-endian text to single-byte Latin-1; characters outside
// Latin-1 (a surrogate pair counts as one) become '?'.
std::string Utf16ToLatin1(std::span<const std::uint8_t> utf16le);

// Reads fields from a byte image; running out of data throws ArchiveError
// naming the field. Never reads past the image.
class ArchiveReader {
public:
    // source names the stream in messages: "the file ends inside ...".
    explicit ArchiveReader(std::span<const std::uint8_t> bytes, const char* source = "data")
        : m_bytes(bytes), m_source(source) {}

    std::uint8_t ReadU8(const char* field);
    std::uint16_t ReadU16(const char* field);
    std::uint32_t ReadU32(const char* field);
    std::int16_t ReadI16(const char* field);
    std::int32_t ReadI32(const char* field);
    float ReadF32(const char* field);
    void ReadBytes(std::span<std::uint8_t> out, const char* field);
    // A string in any of its length forms, UTF-16 ones converted to Latin-1.
    std::string ReadString(const char* field);
    // A list count: u16, or 0xFFFF then u32.
    std::uint32_t ReadCount(const char* field);

    std::size_t Position() const { return m_position; }
    std::size_t Remaining() const { return m_bytes.size() - m_position; }

private:
    std::span<const std::uint8_t> Take(std::size_t size, const char* field);

    std::span<const std::uint8_t> m_bytes;
    const char* m_source;
    std::size_t m_position = 0;
};

// Appends fields to a growing byte image.
class ArchiveWriter {
public:
    void WriteU8(std::uint8_t value) { m_bytes.push_back(value); }
    void WriteU16(std::uint16_t value);
    void WriteU32(std::uint32_t value);
    void WriteI32(std::int32_t value) { WriteU32(static_cast<std::uint32_t>(value)); }
    void WriteF32(float value);
    void WriteBytes(std::span<const std::uint8_t> bytes);
    // Shortest length form: n < 255 one byte; n < 0xFFFE 0xFF then u16; else
    // 0xFF, 0xFFFF, then u32.
    void WriteString(std::string_view text);
    void WriteCount(std::uint32_t count);

    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
    std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

// Object tags of the archive.
inline constexpr std::uint16_t kNullTag = 0x0000;
inline constexpr std::uint16_t kBigObjectTag = 0x7FFF;
inline constexpr std::uint16_t kClassTag = 0x8000;
inline constexpr std::uint16_t kNewClassTag = 0xFFFF;
inline constexpr std::size_t kMaxClassNameLength = 63;

// Reads the tags in front of the objects of one stream and accepts only objects
// of one class (with schema 0). Classes and objects are numbered together from
// 1 in order of first appearance, as the writer numbered them.
class ObjectTagReader {
public:
    // knownClasses: every class the program can store (named in the message
    // when the stream holds one of the wrong kind).
    ObjectTagReader(std::string expectedClass, std::vector<std::string> knownClasses);

    // Reads one tag (and class description); throws ArchiveError unless an
    // object of the expected class follows. elementName names the element in
    // messages ("list element 3").
    void ReadTag(ArchiveReader& reader, const std::string& elementName);

private:
    enum class Entry : std::uint8_t { Null, ExpectedClass, Object };
    std::string m_expectedClass;
    std::vector<std::string> m_knownClasses;
    std::vector<Entry> m_map{Entry::Null};
};

// Writes the tags of one stream's objects, all of one class: the class
// description before the first, a reference to its class number after that.
class ObjectTagWriter {
public:
    explicit ObjectTagWriter(std::string className) : m_className(std::move(className)) {}
    void WriteTag(ArchiveWriter& writer);

private:
    std::string m_className;
    std::uint32_t m_classNumber = 0;
    std::uint32_t m_nextNumber = 1;
};

} // namespace lorvanta
