// Headerless legacy files of 106-byte records.
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <limits>

namespace lorvanta {
namespace {

using test::LegacyRecord;

std::vector<std::uint8_t> Join(const std::vector<std::vector<std::uint8_t>>& records,
                               std::size_t extra = 0) {
    std::vector<std::uint8_t> bytes;
    for (const auto& record : records)
        bytes.insert(bytes.end(), record.begin(), record.end());
    bytes.insert(bytes.end(), extra, 0x20);
    return bytes;
}

TEST(LegacyFile, RecordsBecomeBols) {
    const auto file = Join(
        {LegacyRecord("Dha", "Normal Ge", "Na 2", 1.0f, -3, 4),
         LegacyRecord(std::string(30, 'p'), std::string("Open Ge  \0junk", 14), "Na \t ", 0.5f),
         LegacyRecord("Ge", "Sliding Ge", "Mystery", 2.0f, 20, -20)},
        105); // less than a record more: not read
    const std::string expected[] = {
        // Sound names normalised.
        "Dha 0 1 0 / Pressed Ge 1 0 -3 / Na 12 0 4",
        // Texts stop at a NUL and lose trailing blanks; a full field has no NUL.
        std::string(30, 'p') + " 1 0.5 0 / Open Ge 3 0 0 / Na 12 0 0",
        // Unknown names keep id 30; the emphasis limits pass.
        "Ge 2 2 0 / Fast Sliding Ge 4 0 20 / Mystery 30 0 -20",
    };
    CLorvantaDoc doc;
    const ReadOutcome outcome = ReadTaalDocument(file, "/old/Kaherva.tal", doc);
    EXPECT_EQ(outcome.result, 0u);
    EXPECT_EQ(doc.Header().version, 1);
    EXPECT_EQ(doc.Taal().Name(), "Kaherva.tal");
    EXPECT_EQ(doc.Taal().Total(), 3.5f);
    ASSERT_EQ(doc.Taal().Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(test::Describe(*doc.Taal().BolAt(i)), expected[i]);
}

// Legacy records get the checks of a version 4 bol; the total is the sum of
// the durations as mended.
TEST(LegacyFile, RecordsGetTheChecksOfVersion4) {
    struct Case {
        std::vector<std::uint8_t> record;
        std::string bol;
        float total; // with a second, clean bol of one beat
    };
    const float kNaN = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {LegacyRecord("A", "Open Ge", "Na", kNaN), "A 0 1 0 / Open Ge 3 0 0 / Na 12 0 0", 2.0f},
        {LegacyRecord("A", "Open Ge", "Na", 1.0f, 21, -21),
         "A 0 1 0 / Silence 0 0 0 / Silence 0 0 0", 2.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bol);
        CLorvantaDoc doc;
        const ReadOutcome outcome =
            ReadTaalDocument(Join({c.record, LegacyRecord("B", "", "")}), "/old/a.tal", doc);
        EXPECT_EQ(outcome.result, 38u);
        ASSERT_EQ(doc.Taal().Count(), 2);
        EXPECT_EQ(test::Describe(*doc.Taal().BolAt(0)), c.bol);
        EXPECT_EQ(doc.Taal().Total(), c.total);
    }
}

// A file without the magic is a Taal only when it holds whole records, and no
// more than a Taal may hold; trailing bytes are ignored.
TEST(LegacyFile, RecordCountOutsideATaalIsAStructuralError) {
    struct Case {
        std::uint64_t length;
        const char* detail; // null: read
    };
    const Case cases[] = {
        {0, "it holds no Taal"},
        {106 * 50000ull + 105, nullptr},
        {106 * 50001ull, "it holds more than 50,000 bols"},
    };
    const auto record = LegacyRecord("Dha", "Open Ge", "Na");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<std::uint8_t> file;
        // Only the start is loaded for a refused length: the rest is never read.
        const std::size_t held =
            c.length > 106 * 50000ull + 105 ? 4 : static_cast<std::size_t>(c.length);
        for (std::size_t i = 0; i < held; ++i)
            file.push_back(record[i % 106]);
        CLorvantaDoc doc;
        const ReadOutcome outcome = ReadTaalDocument(file, "/old/a.tal", doc, c.length);
        EXPECT_EQ(outcome.structuralError, c.detail != nullptr);
        EXPECT_EQ(outcome.errorDetail, c.detail ? c.detail : "");
        EXPECT_EQ(doc.Taal().Count(), c.detail ? 0 : 50000);
    }

    // Opened from disk: a sparse file whose records are never loaded.
    test::TempDir dir;
    CLorvantaDoc doc;
    RecordingMessageSink sink;
    const auto huge = dir.Write("huge.tal", {'D', 'h', 'a', 0});
    std::filesystem::resize_file(huge, 2ull << 30);
    EXPECT_TRUE(OpenTaalFile(doc, huge, sink).structuralError);
    // Nor is a file with the magic larger than any Taal file.
    const auto big = dir.Write("big.tal", {0xAA, 0xAA, 4, 0});
    std::filesystem::resize_file(big, (64 << 20) + 1);
    EXPECT_TRUE(OpenTaalFile(doc, big, sink).structuralError);
    ASSERT_EQ(sink.Messages().size(), 2u);
    EXPECT_EQ(sink.Messages()[1].text, "Cannot read file " + big.string() +
                                           ": it is larger than 64 MB, more than any Taal file.");
    EXPECT_EQ(sink.Messages()[0].text,
              "Cannot read file " + huge.string() + ": it holds more than 50,000 bols.");
}

} // namespace
} // namespace lorvanta
