// The archive encoding (string length forms, counts, object tags) and the
// "Lorvanta Bol" clipboard payload's exact bytes.
#include "persistence/Archive.h"
#include "persistence/BolClipboard.h"
#include "persistence/TaalBytes.h"
#include "persistence/TaalRecords.h"

#include <gtest/gtest.h>

namespace lorvanta {
namespace {

using test::Bytes;

TEST(ArchiveString, WrittenInTheShortestLengthForm) {
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
        std::string text(c.length, '\0');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char>(i); // every byte value
        ArchiveWriter writer;
        writer.WriteString(text);
        const auto& bytes = writer.Bytes();
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.length);
        EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), bytes.begin()));
        ArchiveReader reader(bytes, "file");
        EXPECT_EQ(reader.ReadString("name"), text);
        EXPECT_EQ(reader.Remaining(), 0u);
    }
}

TEST(ArchiveCount, FormsAroundFFFF) {
    for (const std::uint32_t count : {0u, 0xFFFEu, 0xFFFFu, 0x10000u, 0xFFFFFFFFu}) {
        ArchiveWriter writer;
        writer.WriteCount(count);
        const auto bytes = writer.Take();
        EXPECT_EQ(bytes.size(), count < 0xFFFF ? 2u : 6u) << count;
        if (count == 0xFFFF) {
            EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
        }
        ArchiveReader reader(bytes);
        EXPECT_EQ(reader.ReadCount("list count"), count);
    }
}

// Reads tags until the data ends; the first error's detail, or "".
std::string TagError(const std::vector<std::uint8_t>& bytes) {
    ObjectTagReader tagReader("CBol2", {"CBol2", "CSound", "CTaal"});
    ArchiveReader reader(bytes, "file");
    try {
        for (int i = 1; reader.Remaining() > 0; ++i)
            tagReader.ReadTag(reader, "list element " + std::to_string(i));
    } catch (const ArchiveError& error) {
        return error.Detail();
    }
    return {};
}

TEST(ObjectTags, ReaderAcceptsOnlyBols) {
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {Bytes().ClassTag().U16(0x8001).U16(0x8001), ""},
        {Bytes().U16(0xFFFF).U16(0).U16(6).Raw("CSound"),
         "list element 1 is a CSound, not a CBol2 (byte 0)"},
        {Bytes().U16(0xFFFF).U16(1).U16(5).Raw("CBol2"),
         "list element 1 is a CBol2 of schema 1, which Lorvanta cannot read (byte 0)"},
        {Bytes().U16(0x8001),
         "list element 1 refers to class number 1, which was never described (byte 0)"},
        {Bytes().ClassTag().U16(0x8002),
         "list element 2 refers to number 2, which is not a class (byte 11)"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(TagError(cases[i].first), cases[i].second) << "case " << i;
}

std::vector<std::uint8_t> Payload(const std::vector<CBol2>& bols) {
    std::vector<const CBol2*> pointers;
    for (const CBol2& bol : bols)
        pointers.push_back(&bol);
    return WriteBolPayload(pointers);
}

// The class is described before the first bol; the others refer back to it.
TEST(BolPayload, ThreeBolsCarryOneClassDescriptionAndTwoReferences) {
    const CBol2 a("Silence", 0, 1.0f);
    CBol2 b = a;
    b.index = 4;
    b.duration = 0.5f;
    b.bass.emphasis = -3.5f;
    b.pitch.instrument = Pakhawaj;
    b.pitch.soundId = 29;
    const std::vector<std::uint8_t> payload = Payload({a, b, a});
    ArchiveWriter rb;
    WriteBolRecord(rb, b);
    EXPECT_EQ(
        payload,
        Bytes().U32(3).ClassTag().Bol().U16(0x8001).Append(rb.Bytes()).U16(0x8001).Bol().Data());
    std::vector<std::unique_ptr<CBol2>> read;
    std::string error;
    ASSERT_TRUE(ReadBolPayload(payload, read, error)) << error;
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(*read[1], b);
}

} // namespace
} // namespace lorvanta
