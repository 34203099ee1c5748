// The bytes of Taal files: the written layout, version 3 and other headers, and
// round trips.
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"

#include <gtest/gtest.h>

#include <bit>

namespace lorvanta {
namespace {

using test::Bytes;

// The file's bytes: the header, the parameters (tempo and 256 zero bytes),
// then the given hex of the Taal.
std::vector<std::uint8_t> FileWithTaal(std::string_view taalHex) {
    std::vector<std::uint8_t> bytes{0xAA, 0xAA, 0x04, 0x00, 0xFF, 0xFF, 0xC7, 0x42};
    bytes.resize(bytes.size() + 256, 0);
    for (std::size_t i = 0; i < taalHex.size(); i += taalHex[i] == ' ' ? 1 : 2) {
        if (taalHex[i] != ' ')
            bytes.push_back(static_cast<std::uint8_t>(
                std::stoi(std::string(taalHex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

const std::vector<std::uint8_t> kEmptyNewTaal =
    FileWithTaal("08 4E 65 77 20 54 61 61 6C 00 00 00 00 00 00 00 00 00 00");

TEST(TaalFileLayout, NewTaalsByteForByte) {
    CLorvantaDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(WriteTaalDocument(doc), kEmptyNewTaal);

    doc.InsertBol(-1);
    const auto oneBol = FileWithTaal("08 4E 65 77 20 54 61 61 6C 01 00 00 00 00 00 80 3F 01 00"
                                     "FF FF 00 00 05 00 43 42 6F 6C 32"
                                     "07 53 69 6C 65 6E 63 65 00 00 00 00 00 00 80 3F 00 00 00 00"
                                     "07 53 69 6C 65 6E 63 65 00 00 00 00 00 00 00 00 00"
                                     "07 53 69 6C 65 6E 63 65 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(WriteTaalDocument(doc), oneBol);
}

TEST(TaalFileLayout, HeaderVersions) {
    struct Case {
        std::vector<std::uint8_t> file;
        std::uint16_t version;
        const char* name;
        int count;
    };
    const Case cases[] = {
        {kEmptyNewTaal, 4, "New Taal", 0},
        // Version 3 has no parameters: the default tempo.
        {Bytes().Header(3).TaalHead("Three", 1, 2.0f, 1).ClassTag().Bol("Na", 0, 2.0f), 3, "Three",
         1},
        // Later versions read like version 3.
        {Bytes().Header(9).TaalHead("Nine", 0, 0.0f, 0), 9, "Nine", 0},
        // Bytes after the Taal are ignored.
        {Bytes().Header(4).Params().TaalHead("T", 0, 0.0f, 0).Raw("junk"), 4, "T", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLorvantaDoc doc;
        doc.InsertBol(-1);
        doc.Params().defaultTempo = 55.0f;
        const ReadOutcome outcome = ReadTaalDocument(c.file, "/x/v.tal", doc);
        EXPECT_FALSE(outcome.structuralError);
        EXPECT_EQ(outcome.result, 0u);
        EXPECT_EQ(doc.Header().version, c.version);
        EXPECT_EQ(doc.Taal().Name(), c.name);
        EXPECT_EQ(doc.Taal().Count(), c.count);
        EXPECT_EQ(doc.IsEmpty(), c.count == 0);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(doc.DefaultTempo()), 0x42C7FFFFu);
        EXPECT_EQ(WriteTaalDocument(doc)[2], 4); // saving writes version 4
    }
}

} // namespace
} // namespace lorvanta
