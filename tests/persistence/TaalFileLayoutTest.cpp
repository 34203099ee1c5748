// The bytes of Taal files as written.
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"

#include <gtest/gtest.h>

namespace lorvanta {
namespace {

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

} // namespace
} // namespace lorvanta
