// Files that cannot be read at all: each one is a structural error with a
// message naming the file and the fault, and leaves the document empty.
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

namespace lorvanta {
namespace {

using test::Bytes;

std::vector<std::uint8_t> ThreeBolFile() {
    Bytes file;
    file.Header().Params(120.0f).TaalHead("Three", 3, 3.5f, 3).ClassTag().Bol("Dha", 0, 1.0f);
    file.U16(0x8001).Str("Ge").U32(1).F32(2.0f).F32(0.0f).Sound("Closed Ge", 2).Sound();
    file.U16(0x8001).Str("Na").U32(2).F32(0.5f).F32(0.0f).Sound().Sound("Na", 12, 0, -3.0f);
    return file.Data();
}

// The document a structural error leaves behind: a fresh empty Taal.
void ExpectEmptied(const CLorvantaDoc& doc) {
    EXPECT_EQ(doc.Taal().Count(), 0);
    EXPECT_EQ(doc.Taal().Name(), "New Taal");
    EXPECT_TRUE(doc.IsEmpty());
    EXPECT_EQ(doc.Header().version, 4);
    EXPECT_EQ(doc.DefaultTempo(), DefaultTempo());
}

std::string StructuralDetail(const std::vector<std::uint8_t>& bytes) {
    CLorvantaDoc doc;
    doc.InsertBol(-1);
    const ReadOutcome outcome = ReadTaalDocument(bytes, "/t/x.tal", doc);
    EXPECT_TRUE(outcome.structuralError);
    ExpectEmptied(doc);
    EXPECT_FALSE(PostReadMessage(outcome, "/t/x.tal").has_value());
    return outcome.errorDetail;
}

TEST(MalformedFile, TruncatedAtEveryOffset) {
    const auto whole = ThreeBolFile();
    {
        CLorvantaDoc doc;
        ASSERT_EQ(ReadTaalDocument(whole, "/t/x.tal", doc).result, 0u);
        ASSERT_EQ(doc.Taal().Count(), 3);
    }
    for (std::size_t length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE(length);
        const std::vector<std::uint8_t> cut(whole.begin(),
                                            whole.begin() + static_cast<std::ptrdiff_t>(length));
        const std::string detail = StructuralDetail(cut);
        EXPECT_EQ(detail.rfind("the file ends inside the ", 0), 0u) << detail;
    }
}

TEST(MalformedFile, TruncationSaysWhere) {
    const auto whole = ThreeBolFile();
    auto cut = [&](std::size_t length) {
        return StructuralDetail(std::vector<std::uint8_t>(
            whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
    };
    EXPECT_EQ(cut(0), "the file ends inside the magic number of the header (byte 0)");
    EXPECT_EQ(cut(100), "the file ends inside the reserved block of the parameters (byte 8)");
    EXPECT_EQ(cut(266),
              "the file ends inside the name of the Taal (byte 264, a string of 5 characters)");
    EXPECT_EQ(cut(279), "the file ends inside the list count of the Taal (byte 278)");
    // First bol record starts at 291: name, index at 295, duration at 299.
    EXPECT_EQ(cut(301), "the file ends inside the duration of bol 1 (byte 299)");
    // Its pitch sound (after the 17-byte bass sound at 307) starts at 324.
    EXPECT_EQ(cut(334), "the file ends inside the sound id of the pitch sound of bol 1 (byte 332)");
    EXPECT_EQ(cut(342), "the file ends inside the object tag of list element 2 (byte 341)");
}

// Every kind of foreign tag is covered with the tag reader; here the file
// reader's handling of them.
TEST(MalformedFile, ListElementsThatAreNotBols) {
    auto withElement = [](const Bytes& element) {
        Bytes file;
        file.Header().Params().TaalHead("T", 2, 2.0f, 2).ClassTag().Bol().Append(element.Data());
        return StructuralDetail(file);
    };
    EXPECT_EQ(withElement(Bytes().U16(0xFFFF).U16(0).U16(6).Raw("CSound").Sound()),
              "list element 2 is a CSound, not a CBol2 (byte 341)");
    EXPECT_EQ(withElement(Bytes().U16(0x0002)),
              "list element 2 refers back to object 2 instead of holding a CBol2 (byte 341)");
}

TEST(MalformedFile, HugeCountsEndWithTheData) {
    Bytes list;
    list.Header().Params().Str("T").I32(3).F32(3.0f).U16(0xFFFF).U32(0xFFFFFFFF).ClassTag().Bol();
    EXPECT_EQ(StructuralDetail(list), "the file ends inside the object tag of list element 2 "
                                      "(byte 345)");

    Bytes name;
    name.Header().Params().U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFE).Raw("short");
    EXPECT_EQ(StructuralDetail(name), "the file ends inside the name of the Taal (byte 264, a "
                                      "string of 4294967294 characters)");
}

TEST(MalformedFile, OpenReportsTheFileAndEmptiesTheDocument) {
    test::TempDir dir;
    const auto whole = ThreeBolFile();
    dir.Write("cut.tal", std::vector<std::uint8_t>(whole.begin(), whole.begin() + 301));
    CLorvantaDoc doc;
    doc.InsertBol(-1);
    doc.Taal().SetName("Before");
    RecordingMessageSink sink;
    const ReadOutcome outcome = OpenTaalFile(doc, dir / "cut.tal", sink);
    EXPECT_TRUE(outcome.structuralError);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(sink.Messages()[0].text, "Cannot read file " + (dir / "cut.tal").string() +
                                           ": the file ends inside the duration of bol 1 (byte "
                                           "299).");
    ExpectEmptied(doc);
    EXPECT_EQ(doc.PathName(), "");
}

TEST(MalformedFile, UnopenableFilesGiveTheSystemReason) {
    test::TempDir dir;
    for (const auto& [name, reason] :
         {std::pair<std::string, std::string>{"missing.tal", "No such file or directory"},
          {"", "Is a directory"}}) {
        CLorvantaDoc doc;
        RecordingMessageSink sink;
        const auto path = name.empty() ? dir.Path() : dir / name;
        EXPECT_TRUE(OpenTaalFile(doc, path, sink).structuralError);
        ASSERT_EQ(sink.Messages().size(), 1u);
        EXPECT_EQ(sink.Messages()[0].text,
                  "Cannot read file " + FullPathName(path) + ": " + reason + ".");
        ExpectEmptied(doc);
    }
}

} // namespace
} // namespace lorvanta
