// Vibhags: the typed text, the record in the reserved block and what the
// views may show.
#include "model/Vibhags.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace lorvanta {
namespace {

TEST(Vibhags, TextReadsAndRefuses) {
    // What a text reads as; "!" when refused as BadText, with nothing kept.
    const auto read = [](std::string_view text) {
        VibhagList vibhags{{1, 'X'}};
        const VibhagStatus status = ParseVibhags(text, vibhags);
        return (status == VibhagStatus::BadText ? "!" : "") + FormatVibhags(vibhags);
    };
    for (const char* text : {"X:4 2:4 0:4 3:4", "", "X:9999"})
        EXPECT_EQ(read(text), text);
    EXPECT_EQ(read("  x:3\t1:2  2:2 "), "X:3 1:2 2:2");
    for (const char* text : {"X:10000", "X:0", "Y:4", "X4", "X:4,2:4"})
        EXPECT_EQ(read(text), "!") << text;
    std::string many;
    for (std::size_t i = 0; i <= kMaxVibhags; ++i)
        many += "2:1 ";
    VibhagList vibhags;
    EXPECT_EQ(ParseVibhags(many, vibhags), VibhagStatus::TooMany);
    EXPECT_TRUE(vibhags.empty());
    EXPECT_EQ(ParseVibhags(many.substr(4), vibhags), VibhagStatus::Ok);
    EXPECT_EQ(vibhags.size(), kMaxVibhags);
}

TEST(Vibhags, RecordRoundTripsAndAnythingElseIsNotRead) {
    VibhagList most(kMaxVibhags, Vibhag{9999, '9'});
    most.front().mark = 'X';
    CTaalParams params;
    for (const VibhagList& vibhags : {most, VibhagList{{3, 'X'}, {4, '0'}}}) {
        ASSERT_EQ(WriteVibhagRecord(params, vibhags), VibhagStatus::Ok);
        EXPECT_EQ(ReadVibhagRecord(params).vibhags, vibhags);
    }
    EXPECT_TRUE(params.reserved[6] == 3 && params.reserved[8] == 'X' && params.reserved[12] == 0);

    // Each damage to a good record makes it unreadable, never half read.
    const std::pair<std::size_t, std::uint8_t> damages[] = {
        {4, 2}, {5, 0}, {5, kMaxVibhags + 1}, {5, 3}, {6, 0}, {7, 0x28}, {8, 'x'}, {200, 1}};
    for (const auto& [at, value] : damages) {
        CTaalParams broken = params;
        broken.reserved[at] = value;
        if (value == 0) // and nothing after it: no vibhags, or a vibhag of 0 beats
            std::fill(broken.reserved.begin() + at + 1, broken.reserved.begin() + 12, 0);
        EXPECT_EQ(ReadVibhagRecord(broken).state, VibhagRecordState::Malformed) << at;
        EXPECT_EQ(VibhagsToShow(broken, 7).display, VibhagDisplay::Unreadable);
    }
    CTaalParams foreign;
    foreign.reserved[0] = 'V';
    EXPECT_EQ(ReadVibhagRecord(foreign).state, VibhagRecordState::Absent);

    // Refused writes leave the block alone; none zeroes it.
    const CTaalParams before = params;
    EXPECT_EQ(WriteVibhagRecord(params, VibhagList(kMaxVibhags + 1, Vibhag{1, 'X'})),
              VibhagStatus::TooMany);
    EXPECT_EQ(WriteVibhagRecord(params, {{0, 'X'}}), VibhagStatus::BadText);
    EXPECT_EQ(params.reserved, before.reserved);
    EXPECT_EQ(WriteVibhagRecord(params, {}), VibhagStatus::Ok);
    EXPECT_EQ(params.reserved, CTaalParams{}.reserved);
    EXPECT_EQ(VibhagsToShow(params, 8).display, VibhagDisplay::None);
}

TEST(Vibhags, ShownOnlyWhileTheyFitTheTaal) {
    CTaalParams params;
    const VibhagList rupak{{3, '0'}, {2, '1'}, {2, '2'}};
    ASSERT_EQ(WriteVibhagRecord(params, rupak), VibhagStatus::Ok);
    const ShownVibhags fits = VibhagsToShow(params, 7.0f + 1e-5f);
    EXPECT_EQ(fits.vibhags, rupak);
    EXPECT_EQ(VibhagStartBeats(fits.vibhags), (std::vector<int>{0, 3, 5}));
    EXPECT_EQ(VibhagDisplayNote(fits, 7), "");

    const ShownVibhags longer = VibhagsToShow(params, 7.5f);
    EXPECT_TRUE(longer.display == VibhagDisplay::DoNotFit && longer.vibhags.empty());
    EXPECT_EQ(VibhagDisplayNote(longer, 7.5f),
              "The stored vibhags (0:3 1:2 2:2) add up to 7 beats, but the Taal is now 7.5 beats "
              "long: they are kept, and shown again once they fit.");
    EXPECT_EQ(VibhagStatusText(CheckVibhagsFit(rupak, 8), rupak, 8),
              "The vibhags add up to 7 beats, but the Taal is 8 beats long.");
    EXPECT_EQ(VibhagStatusText(VibhagStatus::DoNotFit, rupak, 1),
              "The vibhags add up to 7 beats, but the Taal is 1 beat long.");
    EXPECT_EQ(CheckVibhagsFit({}, 8), VibhagStatus::Ok);
}

} // namespace
} // namespace lorvanta
