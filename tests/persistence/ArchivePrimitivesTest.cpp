// The archive encoding: string length forms, UTF-16 strings, counts and
// object tags.
#include "persistence/Archive.h"
#include "persistence/TaalBytes.h"

#include <gtest/gtest.h>

namespace lorvanta {
namespace {

using test::Bytes;

std::vector<std::uint8_t> Written(std::string_view text) {
    ArchiveWriter writer;
    writer.WriteString(text);
    return writer.Take();
}

std::string ReadBack(const std::vector<std::uint8_t>& bytes) {
    ArchiveReader reader(bytes);
    std::string text = reader.ReadString("name");
    EXPECT_EQ(reader.Remaining(), 0u);
    return text;
}

std::vector<std::uint8_t> Prefix(const std::vector<std::uint8_t>& bytes, std::size_t n) {
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)};
}

TEST(ArchiveString, LengthFormsAtTheirBoundaries) {
    struct Case {
        std::size_t length;
        std::vector<std::uint8_t> prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {0xFFFD, {0xFF, 0xFD, 0xFF}},
        {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {0x12345, {0xFF, 0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text(c.length, 'x');
        const auto bytes = Written(text);
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.length);
        EXPECT_EQ(Prefix(bytes, c.prefix.size()), c.prefix);
        EXPECT_EQ(ReadBack(bytes), text);
    }
}

TEST(ArchiveString, ReadsLongerFormsThanNeeded) {
    EXPECT_EQ(ReadBack(Bytes().U8(0xFF).U16(3).Raw("abc")), "abc");
    EXPECT_EQ(ReadBack(Bytes().U8(0xFF).U16(0xFFFF).U32(2).Raw("ab")), "ab");
}

TEST(ArchiveString, KeepsEveryByteValue) {
    std::string text;
    for (int c = 0; c < 256; ++c)
        text += static_cast<char>(c);
    EXPECT_EQ(ReadBack(Written(text)), text);
}

TEST(ArchiveString, Utf16StringsBecomeLatin1) {
    // FF, FFFE marks UTF-16; the length follows again in 16-bit units.
    const auto bytes = Bytes().U8(0xFF).U16(0xFFFE).U8(4).U16('A').U16(0xE9).U16(0x20AC).U16('z');
    EXPECT_EQ(ReadBack(bytes), "A\xE9?z");
}

TEST(ArchiveString, Utf16SurrogatePairIsOneUnmappableCharacter) {
    const auto pair = Bytes().U8(0xFF).U16(0xFFFE).U8(3).U16(0xD83D).U16(0xDE00).U16('b');
    EXPECT_EQ(ReadBack(pair), "?b");
    const auto lone = Bytes().U8(0xFF).U16(0xFFFE).U8(2).U16(0xDC00).U16(0xD800);
    EXPECT_EQ(ReadBack(lone), "??");
}

TEST(ArchiveString, Utf16LongLengthForms) {
    Bytes twoByte;
    twoByte.U8(0xFF).U16(0xFFFE).U8(0xFF).U16(300);
    for (int i = 0; i < 300; ++i)
        twoByte.U16('q');
    EXPECT_EQ(ReadBack(twoByte), std::string(300, 'q'));

    // After the UTF-16 mark a second 0xFFFE is a plain length.
    Bytes marked;
    marked.U8(0xFF).U16(0xFFFE).U8(0xFF).U16(0xFFFE);
    for (int i = 0; i < 0xFFFE; ++i)
        marked.U16(0x100);
    EXPECT_EQ(ReadBack(marked), std::string(0xFFFE, '?'));

    Bytes fourByte;
    fourByte.U8(0xFF).U16(0xFFFE).U8(0xFF).U16(0xFFFF).U32(2).U16(0xFF).U16(0x41);
    EXPECT_EQ(ReadBack(fourByte), "\xFF"
                                  "A");
}

TEST(ArchiveString, LengthBeyondTheDataIsAnErrorNotAnAllocation) {
    const std::vector<std::vector<std::uint8_t>> inputs = {
        Bytes().U8(5).Raw("abc"),
        Bytes().U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFF).Raw("abc"),
        Bytes().U8(0xFF).U16(0xFFFE).U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFF),
        Bytes().U8(0xFF).U16(0xFFFE).U8(2).U16('a'),
        Bytes().U8(0xFF),
        Bytes().U8(0xFF).U16(0xFFFE),
        Bytes().U8(0xFF).U16(0xFFFF).U16(0),
    };
    for (const auto& input : inputs) {
        ArchiveReader reader(input, "file");
        try {
            reader.ReadString("name");
            ADD_FAILURE() << "no error for a string longer than its data";
        } catch (const ArchiveError& error) {
            EXPECT_NE(error.Detail().find("the file ends inside the name"), std::string::npos)
                << error.Detail();
        }
    }
}

TEST(ArchiveCount, FormsAroundFFFF) {
    for (const std::uint32_t count : {0u, 0xFFFEu, 0xFFFFu, 0x10000u, 0xFFFFFFFFu}) {
        ArchiveWriter writer;
        writer.WriteCount(count);
        const auto bytes = writer.Take();
        EXPECT_EQ(bytes.size(), count < 0xFFFF ? 2u : 6u) << count;
        ArchiveReader reader(bytes);
        EXPECT_EQ(reader.ReadCount("list count"), count);
    }
    ArchiveWriter writer;
    writer.WriteCount(0xFFFF);
    EXPECT_EQ(writer.Bytes(), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
}

TEST(ArchiveReader, ShortFieldNamesTheFieldAndItsOffset) {
    const std::vector<std::uint8_t> bytes{1, 2, 3};
    ArchiveReader reader(bytes, "file");
    reader.ReadU16("magic number");
    try {
        reader.ReadU16("version");
        FAIL();
    } catch (ArchiveError& error) {
        error.AddContext("the header");
        EXPECT_EQ(error.Detail(), "the file ends inside the version of the header (byte 2)");
    }
    EXPECT_EQ(reader.Position(), 2u);
}

TEST(ArchiveReader, LittleEndianNumbers) {
    const auto bytes = Bytes().U32(0x11223344).U16(0xFFFE).F32(-2.5f).U32(0x80000000);
    ArchiveReader reader(bytes);
    EXPECT_EQ(reader.ReadU32("a"), 0x11223344u);
    EXPECT_EQ(reader.ReadI16("b"), -2);
    EXPECT_EQ(reader.ReadF32("c"), -2.5f);
    EXPECT_EQ(reader.ReadI32("d"), INT32_MIN);
}

// Object tags.

std::string TagError(const std::vector<std::uint8_t>& bytes, int tags = 8) {
    ObjectTagReader tagReader("CBol2", {"CBol2", "CSound", "CTaal"});
    ArchiveReader reader(bytes, "file");
    try {
        for (int i = 0; i < tags; ++i)
            tagReader.ReadTag(reader, "list element " + std::to_string(i + 1));
    } catch (const ArchiveError& error) {
        return error.Detail();
    }
    return {};
}

TEST(ObjectTags, WriterDescribesTheClassOnceThenRefersToIt) {
    ArchiveWriter writer;
    ObjectTagWriter tags("CBol2");
    for (int i = 0; i < 3; ++i)
        tags.WriteTag(writer);
    EXPECT_EQ(writer.Bytes(), Bytes().ClassTag().U16(0x8001).U16(0x8001).Data());
}

TEST(ObjectTags, ReaderAcceptsTheBolClassAndItsReferences) {
    EXPECT_EQ(TagError(Bytes().ClassTag().U16(0x8001).U16(0x8001), 3), "");
    // A class described twice takes a new number each time.
    EXPECT_EQ(TagError(Bytes().ClassTag().ClassTag().U16(0x8003).U16(0x8001), 4), "");
}

TEST(ObjectTags, RejectsEverythingButBols) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::string detail;
    };
    const Case cases[] = {
        {Bytes().U16(0xFFFF).U16(0).U16(6).Raw("CSound"),
         "list element 1 is a CSound, not a CBol2 (byte 0)"},
        {Bytes().U16(0xFFFF).U16(0).U16(4).Raw("CFoo"),
         "list element 1 is of the class \"CFoo\", which is no class of Lorvanta (byte 0)"},
        {Bytes().U16(0xFFFF).U16(1).U16(5).Raw("CBol2"),
         "list element 1 is a CBol2 of schema 1, which Lorvanta cannot read (byte 0)"},
        {Bytes().U16(0xFFFF).U16(0).U16(64).Raw(std::string(64, 'C')),
         "list element 1 names a class of 64 characters (at most 63 are allowed) (byte 4)"},
        {Bytes().U16(0x0000), "list element 1 is a null object, not a CBol2 (byte 0)"},
        {Bytes().ClassTag().U16(0x0002),
         "list element 2 refers back to object 2 instead of holding a CBol2 (byte 11)"},
        {Bytes().ClassTag().U16(0x7FFF).U32(0x80000001),
         "list element 2 has a 32-bit object tag, which is not a CBol2 (byte 11)"},
        {Bytes().U16(0x8001),
         "list element 1 refers to class number 1, which was never described (byte 0)"},
        {Bytes().ClassTag().U16(0x8000),
         "list element 2 refers to class number 0, which was never described (byte 11)"},
        {Bytes().ClassTag().U16(0x8002),
         "list element 2 refers to number 2, which is not a class (byte 11)"},
        {Bytes().ClassTag().U16(0x8001).U16(0xFFFF).U16(0),
         "the file ends inside the class name length of list element 3 (byte 17)"},
        {Bytes().U8(0xFF), "the file ends inside the object tag of list element 1 (byte 0)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TagError(c.bytes), c.detail);
}

TEST(ObjectTags, ClassNameOf63CharactersIsOnlyLookedUp) {
    const auto bytes = Bytes().U16(0xFFFF).U16(0).U16(63).Raw(std::string(63, 'C'));
    EXPECT_NE(TagError(bytes).find("which is no class of Lorvanta"), std::string::npos);
}

} // namespace
} // namespace lorvanta
