// Files that cannot be read at all: each one is a structural error with a
// message naming the file and the fault, and leaves the document empty.
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"

#include <gtest/gtest.h>

namespace lorvanta {
namespace {

using test::Bytes;

std::vector<std::uint8_t> ThreeBolFile(std::size_t length = SIZE_MAX) {
    Bytes file;
    file.Header().Params(120.0f).TaalHead("Three", 3, 3.5f, 3).ClassTag().Bol("Dha", 0, 1.0f);
    file.U16(0x8001).BolHead("Ge", 1, 2.0f).Sound("Closed Ge", 2).Sound();
    file.U16(0x8001).BolHead("Na", 2, 0.5f).Sound().Sound("Na", 12, 0, -3.0f);
    std::vector<std::uint8_t> bytes = file.Data();
    bytes.resize(std::min(length, bytes.size()));
    return bytes;
}

// The document a structural error leaves behind: a fresh empty Taal.
void ExpectEmptied(const CLorvantaDoc& doc) {
    EXPECT_EQ(doc.Taal().Name(), "New Taal");
    EXPECT_TRUE(doc.IsEmpty() && doc.Taal().Count() == 0);
    EXPECT_EQ(doc.DefaultTempo(), DefaultTempo());
}

std::string StructuralDetail(const std::vector<std::uint8_t>& bytes) {
    CLorvantaDoc doc;
    doc.InsertBol(-1);
    doc.Taal().SetName("Before");
    const ReadOutcome outcome = ReadTaalDocument(bytes, "/t/x.tal", doc);
    EXPECT_TRUE(outcome.structuralError);
    ExpectEmptied(doc);
    EXPECT_FALSE(PostReadMessage(outcome, "/t/x.tal").has_value());
    return outcome.errorDetail;
}

TEST(MalformedFile, DetailSaysWhere) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::string detail;
    };
    const Case cases[] = {
        {ThreeBolFile(1), "it holds no Taal"},
        // The first bol record starts at 291: name, index at 295, duration at 299.
        {ThreeBolFile(301), "the file ends inside the duration of bol 1 (byte 299)"},
        // Huge counts end with the data, never with a huge allocation.
        {Bytes()
             .Header()
             .Params()
             .Str("T")
             .I32(3)
             .F32(3.0f)
             .U16(0xFFFF)
             .U32(0xFFFFFFFF)
             .ClassTag()
             .Bol(),
         "the file ends inside the object tag of list element 2 (byte 345)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StructuralDetail(c.bytes), c.detail);
}

} // namespace
} // namespace lorvanta
