// The bytes of Taal files: the written layout, version 3 and other headers, and
// round trips.
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"
#include "persistence/TaalRecords.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

namespace lorvanta {
namespace {

using test::Bytes;

std::vector<std::uint8_t> Hex(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
        i += 2;
    }
    return bytes;
}

std::vector<std::uint8_t> EmptyNewTaalFile() {
    std::vector<std::uint8_t> bytes = Hex("AA AA 04 00 FF FF C7 42");
    bytes.resize(bytes.size() + 256, 0);
    const auto tail = Hex("08 4E 65 77 20 54 61 61 6C 00 00 00 00 00 00 00 00 00 00");
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

TEST(TaalFileLayout, EmptyNewTaalIs283Bytes) {
    CLorvantaDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    const auto bytes = WriteTaalDocument(doc);
    EXPECT_EQ(bytes.size(), 283u);
    EXPECT_EQ(bytes, EmptyNewTaalFile());
}

TEST(TaalFileLayout, OneNewBolIs348Bytes) {
    CLorvantaDoc doc;
    doc.OnNewDocument();
    doc.InsertBol(-1);
    std::vector<std::uint8_t> expected = Hex("AA AA 04 00 FF FF C7 42");
    expected.resize(expected.size() + 256, 0);
    const auto tail = Hex("08 4E 65 77 20 54 61 61 6C 01 00 00 00 00 00 80 3F 01 00"
                          "FF FF 00 00 05 00 43 42 6F 6C 32"
                          "07 53 69 6C 65 6E 63 65 00 00 00 00 00 00 80 3F 00 00 00 00"
                          "07 53 69 6C 65 6E 63 65 00 00 00 00 00 00 00 00 00"
                          "07 53 69 6C 65 6E 63 65 00 00 00 00 00 00 00 00 00");
    expected.insert(expected.end(), tail.begin(), tail.end());
    const auto bytes = WriteTaalDocument(doc);
    EXPECT_EQ(bytes.size(), 348u);
    EXPECT_EQ(bytes, expected);
}

TEST(TaalFileLayout, EmptyNewTaalReadsBackWithoutMessage) {
    CLorvantaDoc doc;
    doc.InsertBol(-1);
    doc.Taal().SetName("Other");
    const ReadOutcome outcome = ReadTaalDocument(EmptyNewTaalFile(), "/x/new.tal", doc);
    EXPECT_FALSE(outcome.structuralError);
    EXPECT_EQ(outcome.result, 0u);
    EXPECT_FALSE(PostReadMessage(outcome, "/x/new.tal").has_value());
    EXPECT_EQ(doc.Taal().Name(), "New Taal");
    EXPECT_EQ(std::bit_cast<std::uint32_t>(doc.DefaultTempo()), 0x42C7FFFFu);
    EXPECT_EQ(doc.Taal().Count(), 0);
    EXPECT_TRUE(doc.IsEmpty());
    EXPECT_EQ(doc.Header().version, 4);
}

TEST(TaalFileLayout, ThousandBolsTagTheClassOnce) {
    CLorvantaDoc doc;
    for (int i = 0; i < 1000; ++i)
        doc.InsertBol(i - 1);
    const auto bytes = WriteTaalDocument(doc);
    // Name "New Taal", count, total, then the list count at 281.
    EXPECT_EQ(bytes[281], 0xE8);
    EXPECT_EQ(bytes[282], 0x03);
    const std::size_t record = 54; // a silent bol "Silence"
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 283, bytes.begin() + 294),
              Bytes().ClassTag().Data());
    std::size_t at = 294 + record;
    for (int i = 1; i < 1000; ++i, at += 2 + record) {
        ASSERT_EQ(bytes[at], 0x01) << i;
        ASSERT_EQ(bytes[at + 1], 0x80) << i;
    }
    EXPECT_EQ(at, bytes.size());

    CLorvantaDoc back;
    const ReadOutcome outcome = ReadTaalDocument(bytes, "/x/t.tal", back);
    EXPECT_EQ(outcome.result, 0u);
    EXPECT_EQ(back.Taal().Count(), 1000);
    EXPECT_EQ(back.Taal().BolAt(999)->index, 999u);
}

TEST(TaalFileLayout, Version3HasNoParameters) {
    const auto file = Bytes().Header(3).TaalHead("Three", 1, 2.0f, 1).ClassTag().Bol("Na", 0, 2.0f);
    CLorvantaDoc doc;
    doc.Params().defaultTempo = 55.0f;
    const ReadOutcome outcome = ReadTaalDocument(file, "/x/3.tal", doc);
    EXPECT_EQ(outcome.result, 0u);
    EXPECT_EQ(doc.Header().version, 3);
    EXPECT_EQ(doc.Taal().Name(), "Three");
    EXPECT_EQ(doc.Taal().BolAt(0)->name, "Na");
    EXPECT_EQ(std::bit_cast<std::uint32_t>(doc.DefaultTempo()), 0x42C7FFFFu);
    EXPECT_FALSE(doc.IsEmpty());
}

TEST(TaalFileLayout, VersionsBelow3ReadNothingMore) {
    for (const std::uint16_t version : {0, 1, 2}) {
        const auto file = Bytes().Header(version).Raw("anything at all");
        CLorvantaDoc doc;
        const ReadOutcome outcome = ReadTaalDocument(file, "/x/2.tal", doc);
        EXPECT_FALSE(outcome.structuralError);
        EXPECT_EQ(outcome.result, 0u);
        EXPECT_FALSE(PostReadMessage(outcome, "/x/2.tal").has_value());
        EXPECT_EQ(doc.Header().version, version);
        EXPECT_EQ(doc.Taal().Count(), 0);
        EXPECT_TRUE(doc.IsEmpty());
    }
}

TEST(TaalFileLayout, LaterVersionsReadLikeVersion3) {
    const auto file = Bytes().Header(9).TaalHead("Nine", 0, 0.0f, 0);
    CLorvantaDoc doc;
    const ReadOutcome outcome = ReadTaalDocument(file, "/x/9.tal", doc);
    EXPECT_EQ(outcome.result, 0u);
    EXPECT_EQ(doc.Header().version, 9);
    EXPECT_EQ(doc.Taal().Name(), "Nine");
    EXPECT_EQ(WriteTaalDocument(doc)[2], 4); // saving writes version 4
}

TEST(TaalFileLayout, TrailingBytesAfterTheTaalAreIgnored) {
    auto file = Bytes().Header(4).Params().TaalHead("T", 0, 0.0f, 0).Raw("junk");
    CLorvantaDoc doc;
    EXPECT_EQ(ReadTaalDocument(file, "/x/t.tal", doc).result, 0u);
}

// Random Taals within every range survive a write and a read unchanged.
CSound RandomSound(std::mt19937& random) {
    CSound sound;
    sound.emphasis = std::uniform_real_distribution<float>(-20.0f, 20.0f)(random);
    sound.soundId = std::uniform_int_distribution<std::uint32_t>(0, 29)(random);
    sound.instrument = static_cast<std::uint8_t>(random() % 2);
    sound.name = std::string(random() % 40, static_cast<char>('a' + random() % 26));
    return sound;
}

std::string RandomName(std::mt19937& random) {
    // Mostly short, now and then past the one-byte length form.
    const std::size_t length = random() % 8 == 0 ? 250 + random() % 300 : random() % 30;
    std::string name;
    for (std::size_t i = 0; i < length; ++i)
        name += static_cast<char>(random() % 256);
    return name;
}

TEST(TaalFileLayout, RandomTaalsRoundTrip) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        CLorvantaDoc doc;
        doc.Taal().SetName(RandomName(random));
        doc.Params().defaultTempo = std::uniform_real_distribution<float>(10.0f, 1000.0f)(random);
        for (auto& byte : doc.Params().reserved)
            byte = static_cast<std::uint8_t>(random() % 4 == 0 ? random() : 0);
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            CBol2 bol;
            bol.name = RandomName(random);
            bol.duration = std::uniform_real_distribution<float>(0.001f, 10.0f)(random);
            bol.reserved = std::uniform_real_distribution<float>(-6.0f, 6.0f)(random);
            bol.pitch = RandomSound(random);
            bol.bass = RandomSound(random);
            doc.InsertBol(static_cast<int>(random() % (i + 1)) - 1, &bol);
        }
        const auto bytes = WriteTaalDocument(doc);

        CLorvantaDoc back;
        const ReadOutcome outcome = ReadTaalDocument(bytes, "/x/r.tal", back);
        ASSERT_FALSE(outcome.structuralError) << outcome.errorDetail;
        EXPECT_EQ(outcome.result, 0u);
        EXPECT_EQ(back.Taal().Name(), doc.Taal().Name());
        EXPECT_EQ(back.Taal().Total(), doc.Taal().Total());
        EXPECT_EQ(back.DefaultTempo(), doc.DefaultTempo());
        EXPECT_EQ(back.Params().reserved, doc.Params().reserved);
        ASSERT_EQ(back.Taal().Count(), doc.Taal().Count());
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(*back.Taal().BolAt(i), *doc.Taal().BolAt(i));
        EXPECT_EQ(back.IsEmpty(), count == 0);
        EXPECT_EQ(WriteTaalDocument(back), bytes);
    }
}

} // namespace
} // namespace lorvanta
