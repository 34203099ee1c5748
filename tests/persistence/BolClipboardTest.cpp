// The "Lorvanta Bol" payload: its exact bytes, and every malformed payload
// refused with a message before any bol is handed out.
#include "persistence/BolClipboard.h"

#include "persistence/TaalBytes.h"
#include "persistence/TaalRecords.h"

#include <gtest/gtest.h>

namespace lorvanta {
namespace {

using test::Bytes;

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

TEST(BolPayload, MalformedPayloadsAreRefusedWithAReason) {
    const Bytes one = Bytes().ClassTag().Bol("Dha");
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "bol count"},
        {"ends inside a record", Bytes().U32(1).ClassTag().BolHead("Dhage Tirakita"),
         "clipboard data ends inside the name of the bass sound of bol 1"},
        {"count beyond the data", Bytes().U32(2).Append(one),
         "announces 2 bols but holds only 61 bytes"},
        {"another class", Bytes().U32(1).U16(0xFFFF).U16(0).U16(5).Raw("CTaal").Bol("Dha"),
         "CTaal"},
        {"second description", Bytes().U32(2).Append(one).Append(one), "0xFFFF instead of 0x8001"},
    };
    for (const Case& c : cases) {
        std::vector<std::unique_ptr<CBol2>> bols;
        bols.push_back(std::make_unique<CBol2>());
        std::string error;
        EXPECT_FALSE(ReadBolPayload(c.bytes, bols, error)) << c.name;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(bols.size(), 1u) << c.name; // untouched
    }
}

} // namespace
} // namespace lorvanta
