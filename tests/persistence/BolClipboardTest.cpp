// The "Lorvanta Bol" payload's exact bytes (malformed payloads are left to the
// fuzzer).
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

} // namespace
} // namespace lorvanta
