// Headerless legacy files of 106-byte records.
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace lorvanta {
namespace {

struct LegacyRecord {
    std::string name = "Dha";
    std::string bass = "Normal Ge";
    std::string pitch = "Na 2";
    std::int16_t bassEmphasis = 0;
    std::int16_t pitchEmphasis = 0;
    float duration = 1.0f;

    std::vector<std::uint8_t> Bytes() const {
        std::vector<std::uint8_t> record(106, 0);
        auto put = [&](std::size_t at, const std::string& text) {
            std::memcpy(record.data() + at, text.data(), std::min<std::size_t>(text.size(), 30));
        };
        put(0, name);
        put(30, bass);
        put(60, pitch);
        test::Bytes numbers;
        numbers.U16(static_cast<std::uint16_t>(bassEmphasis))
            .U16(static_cast<std::uint16_t>(pitchEmphasis))
            .F32(duration)
            .Raw("NOTREAD!");
        std::copy(numbers.Data().begin(), numbers.Data().end(), record.begin() + 90);
        return record;
    }
};

std::vector<std::uint8_t> Join(const std::vector<LegacyRecord>& records, std::size_t extra = 0) {
    std::vector<std::uint8_t> bytes;
    for (const auto& record : records) {
        const auto b = record.Bytes();
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    bytes.insert(bytes.end(), extra, 0x20);
    return bytes;
}

TEST(LegacyFile, RecordCountIsTheLengthDividedBy106) {
    LegacyRecord second;
    second.name = "Tin";
    second.duration = 0.5f;
    for (const std::size_t extra : {0u, 105u}) {
        CLorvantaDoc doc;
        const auto bytes = Join({LegacyRecord{}, second}, extra);
        const ReadOutcome outcome = ReadTaalDocument(bytes, "/old/Kaherva.tal", doc);
        EXPECT_EQ(outcome.result, 0u);
        EXPECT_FALSE(PostReadMessage(outcome, "/old/Kaherva.tal").has_value());
        EXPECT_EQ(doc.Header().magic, 0xAAAA);
        EXPECT_EQ(doc.Header().version, 1);
        EXPECT_EQ(doc.Taal().Name(), "Kaherva.tal");
        ASSERT_EQ(doc.Taal().Count(), 2);
        EXPECT_EQ(doc.Taal().BolAt(1)->name, "Tin");
        EXPECT_EQ(doc.Taal().BolAt(1)->index, 1u);
        EXPECT_EQ(doc.Taal().Total(), 1.5f);
    }
    CLorvantaDoc doc;
    auto bytes = Join({LegacyRecord{}}, 105);
    EXPECT_EQ(bytes.size(), 211u);
    ReadTaalDocument(bytes, "/old/a.tal", doc);
    EXPECT_EQ(doc.Taal().Count(), 1);
}

TEST(LegacyFile, ShorterThanOneRecordIsAnEmptyTaalNamedAfterTheFile) {
    CLorvantaDoc doc;
    const std::vector<std::uint8_t> bytes(105, 'x');
    const ReadOutcome outcome = ReadTaalDocument(bytes, "/old/Dadra 2.tal", doc);
    EXPECT_FALSE(outcome.structuralError);
    EXPECT_EQ(outcome.result, 0u);
    EXPECT_EQ(doc.Taal().Name(), "Dadra 2.tal");
    EXPECT_EQ(doc.Taal().Count(), 0);
    EXPECT_TRUE(doc.IsEmpty());
}

TEST(LegacyFile, AnyStartButAAAAIsLegacy) {
    auto bytes = Join({LegacyRecord{}});
    bytes[0] = 0xAA;
    bytes[1] = 0xAB;
    CLorvantaDoc doc;
    ReadTaalDocument(bytes, "/old/a.tal", doc);
    EXPECT_EQ(doc.Header().version, 1);
    EXPECT_EQ(doc.Taal().BolAt(0)->name, "\xAA\xAB"
                                         "a");
}

TEST(LegacyFile, SoundNamesAreNormalised) {
    LegacyRecord record;
    record.bass = "Normal Ge";
    record.pitch = "Na 2";
    record.bassEmphasis = -3;
    record.pitchEmphasis = 25; // no range checks on legacy records
    CLorvantaDoc doc;
    ReadTaalDocument(Join({record}), "/old/a.tal", doc);
    const CBol2& bol = *doc.Taal().BolAt(0);
    EXPECT_EQ(bol.bass.name, "Pressed Ge");
    EXPECT_EQ(bol.bass.soundId, 1u);
    EXPECT_EQ(bol.bass.emphasis, -3.0f);
    EXPECT_EQ(bol.pitch.name, "Na");
    EXPECT_EQ(bol.pitch.soundId, 12u);
    EXPECT_EQ(bol.pitch.emphasis, 25.0f);
    EXPECT_EQ(bol.bass.instrument, Tabla);
    EXPECT_EQ(bol.reserved, 0.0f);
}

TEST(LegacyFile, TextFieldsStopAtNulAndLoseTrailingBlanks) {
    LegacyRecord record;
    record.name = "Dha \t ";
    record.bass = std::string("Open Ge  \0junk", 14);
    record.pitch = std::string(30, 'p'); // fills the field, no NUL
    CLorvantaDoc doc;
    ReadTaalDocument(Join({record}), "/old/a.tal", doc);
    const CBol2& bol = *doc.Taal().BolAt(0);
    EXPECT_EQ(bol.name, "Dha");
    EXPECT_EQ(bol.bass.name, "Open Ge");
    EXPECT_EQ(bol.bass.soundId, 3u);
    EXPECT_EQ(bol.pitch.name, std::string(30, 'p'));
    EXPECT_EQ(bol.pitch.soundId, 30u);
}

TEST(LegacyFile, UnknownSoundIsRepairedWhenTheSavedFileIsRead) {
    LegacyRecord record;
    record.pitch = "Mystery";
    CLorvantaDoc doc;
    ReadTaalDocument(Join({record}), "/old/a.tal", doc);
    EXPECT_EQ(doc.Taal().BolAt(0)->pitch.soundId, 30u);

    CLorvantaDoc back;
    const ReadOutcome outcome = ReadTaalDocument(WriteTaalDocument(doc), "/new/a.tal", back);
    EXPECT_EQ(outcome.result, 38u);
    EXPECT_TRUE(outcome.repaired);
    EXPECT_EQ(back.Taal().BolAt(0)->pitch.soundId, 0u);
    EXPECT_EQ(PostReadMessage(outcome, "/new/a.tal")->kind, MessageKind::Warning);
}

TEST(LegacyFile, SavedLegacyFileReadsBackAsVersion4) {
    LegacyRecord a;
    a.bassEmphasis = 4;
    LegacyRecord b;
    b.name = "Ge";
    b.bass = "Sliding Ge";
    b.pitch = "Silence";
    b.duration = 2.0f;
    CLorvantaDoc doc;
    ReadTaalDocument(Join({a, b}), "/old/Rupak.tal", doc);

    CLorvantaDoc back;
    const ReadOutcome outcome = ReadTaalDocument(WriteTaalDocument(doc), "/new/Rupak.tal", back);
    EXPECT_EQ(outcome.result, 0u);
    EXPECT_EQ(back.Header().version, 4);
    EXPECT_EQ(back.Taal().Name(), "Rupak.tal");
    ASSERT_EQ(back.Taal().Count(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(*back.Taal().BolAt(i), *doc.Taal().BolAt(i));
    EXPECT_EQ(back.Taal().BolAt(1)->bass.name, "Fast Sliding Ge");
    EXPECT_EQ(back.Taal().BolAt(0)->bass.emphasis, 4.0f);
}

TEST(LegacyFile, DurationThatIsNoNumberBecomesOneBeat) {
    LegacyRecord record;
    record.duration = std::numeric_limits<float>::quiet_NaN();
    CLorvantaDoc doc;
    const ReadOutcome outcome = ReadTaalDocument(Join({record, LegacyRecord{}}), "/old/a.tal", doc);
    EXPECT_EQ(outcome.result, 38u);
    EXPECT_FALSE(outcome.valid);
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
    const ReadOutcome countable = ReadTaalDocument(start, "/old/huge.tal", doc, length - 106);
    EXPECT_TRUE(countable.structuralError);
}

TEST(LegacyFile, OpeningAnUncountableFileShowsBothBoxes) {
    test::TempDir dir;
    const auto path = dir / "huge.tal";
    dir.Write("huge.tal", {'D', 'h', 'a'});
    // A sparse file: only its length matters.
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const bool sized = ::ftruncate(fd, static_cast<off_t>(106ull * 0x80000000ull)) == 0;
    ::close(fd);
    if (!sized)
        GTEST_SKIP() << "this file system cannot hold a sparse file that long";

    CLorvantaDoc doc;
    RecordingMessageSink sink;
    const ReadOutcome outcome = OpenTaalFile(doc, path, sink);
    EXPECT_EQ(outcome.result, 16u);
    ASSERT_EQ(sink.Messages().size(), 2u);
    EXPECT_EQ(sink.Messages()[0].text, "Invalid file format for file " + path.string());
    EXPECT_EQ(sink.Messages()[1].text,
              "Error 16 occurred while reading file " + path.string() + ". Invalid Lorvanta file.");
    EXPECT_EQ(doc.Taal().Name(), "huge.tal");
}

} // namespace
} // namespace lorvanta
