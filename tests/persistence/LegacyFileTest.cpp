// Headerless legacy files of 106-byte records.
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits>
#include <unistd.h>

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
         LegacyRecord("Ge", "Sliding Ge", "Mystery", 2.0f, 25)},
        105); // less than a record more: not read
    const std::string expected[] = {
        // Sound names normalised.
        "Dha 0 1 0 / Pressed Ge 1 0 -3 / Na 12 0 4",
        // Texts stop at a NUL and lose trailing blanks; a full field has no NUL.
        std::string(30, 'p') + " 1 0.5 0 / Open Ge 3 0 0 / Na 12 0 0",
        // No range checks on legacy records.
        "Ge 2 2 0 / Fast Sliding Ge 4 0 25 / Mystery 30 0 0",
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

    // Saved, it reads back as version 4 with the checks and repairs of that.
    CLorvantaDoc back;
    const ReadOutcome saved = ReadTaalDocument(WriteTaalDocument(doc), "/new/a.tal", back);
    EXPECT_EQ(saved.result, 38u);
    EXPECT_TRUE(saved.repaired);
    ASSERT_EQ(back.Taal().Count(), 3);
    EXPECT_EQ(*back.Taal().BolAt(0), *doc.Taal().BolAt(0));
    EXPECT_EQ(*back.Taal().BolAt(1), *doc.Taal().BolAt(1));
    EXPECT_EQ(test::Describe(*back.Taal().BolAt(2)), "Ge 2 2 0 / Silence 0 0 0 / Mystery 0 0 0");
}

TEST(LegacyFile, AnyStartButAAAAIsLegacy) {
    auto file = LegacyRecord("Dha", "Open Ge", "Na");
    file[0] = 0xAA;
    file[1] = 0xAB;
    CLorvantaDoc doc;
    ReadTaalDocument(file, "/old/a.tal", doc);
    EXPECT_EQ(doc.Header().version, 1);
    EXPECT_EQ(doc.Taal().BolAt(0)->name, "\xAA\xAB"
                                         "a");

    // Shorter than one record: an empty Taal named after the file.
    const ReadOutcome empty =
        ReadTaalDocument(std::vector<std::uint8_t>(105, 'x'), "/old/Dadra 2.tal", doc);
    EXPECT_EQ(empty.result, 0u);
    EXPECT_EQ(doc.Taal().Name(), "Dadra 2.tal");
    EXPECT_TRUE(doc.IsEmpty());
}

TEST(LegacyFile, DurationThatIsNoNumberBecomesOneBeat) {
    const auto file = Join({LegacyRecord("A", "", "", std::numeric_limits<float>::quiet_NaN()),
                            LegacyRecord("B", "", "")});
    CLorvantaDoc doc;
    const ReadOutcome outcome = ReadTaalDocument(file, "/old/a.tal", doc);
    EXPECT_FALSE(outcome.valid);
    EXPECT_EQ(PostReadMessage(outcome, "/old/a.tal")->kind, MessageKind::Error);
    EXPECT_EQ(doc.Taal().BolAt(0)->duration, 1.0f);
    EXPECT_EQ(doc.Taal().Total(), 2.0f);
}

TEST(LegacyFile, TooLongToCountGivesResult16) {
    const std::uint64_t length = 106ull * 0x80000000ull; // one record too many
    CLorvantaDoc doc;
    const std::vector<std::uint8_t> start{'D', 'h', 'a', 0};
    const ReadOutcome outcome = ReadTaalDocument(start, "/old/huge.tal", doc, length);
    EXPECT_EQ(outcome.result, 16u);
    EXPECT_EQ(doc.Taal().Count(), 0);
    EXPECT_EQ(PostReadMessage(outcome, "/old/huge.tal")->text,
              "Error 16 occurred while reading file /old/huge.tal. Invalid Lorvanta file.");

    // One record fewer is countable; with only the start loaded the records
    // cannot be read, which is a structural error, never a read past the data.
    EXPECT_TRUE(ReadTaalDocument(start, "/old/huge.tal", doc, length - 106).structuralError);

    // Opened from disk (a sparse file: only its length matters), both boxes show.
    test::TempDir dir;
    const auto path = dir.Write("huge.tal", start);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const bool sized = ::ftruncate(fd, static_cast<off_t>(length)) == 0;
    ::close(fd);
    if (!sized)
        GTEST_SKIP() << "this file system cannot hold a sparse file that long";
    RecordingMessageSink sink;
    EXPECT_EQ(OpenTaalFile(doc, path, sink).result, 16u);
    ASSERT_EQ(sink.Messages().size(), 2u);
    EXPECT_EQ(sink.Messages()[0].text, "Invalid file format for file " + path.string());
    EXPECT_EQ(sink.Messages()[1].text,
              "Error 16 occurred while reading file " + path.string() + ". Invalid Lorvanta file.");
    EXPECT_EQ(doc.Taal().Name(), "huge.tal");
}

} // namespace
} // namespace lorvanta
