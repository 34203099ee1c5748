// Vibhags: the typed text, the record in the reserved block and what the
// views may show.
#include "model/Vibhags.h"

#include <gtest/gtest.h>

namespace lorvanta {
namespace {

TEST(Vibhags, TextReadsAndRefuses) {
    struct Case {
        const char* text;
        VibhagStatus status;
        const char* formatted;
    };
    const Case cases[] = {
        {"X:4 2:4 0:4 3:4", VibhagStatus::Ok, "X:4 2:4 0:4 3:4"},
        {"  x:3\t1:2  2:2 ", VibhagStatus::Ok, "X:3 1:2 2:2"},
        {"0:3 1:2 2:2", VibhagStatus::Ok, "0:3 1:2 2:2"},
        {"", VibhagStatus::Ok, ""},
        {"X:9999", VibhagStatus::Ok, "X:9999"},
        {"X:10000", VibhagStatus::BadText, ""},
        {"X:0", VibhagStatus::BadText, ""},
        {"X:-4", VibhagStatus::BadText, ""},
        {"Y:4", VibhagStatus::BadText, ""},
        {"X4", VibhagStatus::BadText, ""},
        {"X:4,2:4", VibhagStatus::BadText, ""},
        {"X:4.5", VibhagStatus::BadText, ""},
        {"10:4", VibhagStatus::BadText, ""},
        {"X:", VibhagStatus::BadText, ""},
    };
    for (const Case& c : cases) {
        VibhagList vibhags{{1, 'X'}};
        EXPECT_EQ(ParseVibhags(c.text, vibhags), c.status) << c.text;
        EXPECT_EQ(FormatVibhags(vibhags), c.formatted) << c.text;
    }
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
    for (const VibhagList& vibhags : {VibhagList{{4, 'X'}, {4, '2'}, {4, '0'}, {4, '3'}}, most}) {
        CTaalParams params;
        ASSERT_EQ(WriteVibhagRecord(params, vibhags), VibhagStatus::Ok);
        const StoredVibhags stored = ReadVibhagRecord(params);
        EXPECT_EQ(stored.state, VibhagRecordState::Valid);
        EXPECT_EQ(stored.vibhags, vibhags);
    }
    CTaalParams params;
    ASSERT_EQ(WriteVibhagRecord(params, {{3, 'X'}, {4, '0'}}), VibhagStatus::Ok);
    EXPECT_EQ(params.reserved[6], 3);
    EXPECT_EQ(params.reserved[8], 'X');
    EXPECT_EQ(params.reserved[12], 0);

    // Each damage to a good record makes it unreadable, never half read.
    struct Damage {
        std::size_t at;
        std::uint8_t value;
    };
    const Damage damages[] = {{4, 2},   {5, 0},  {5, kMaxVibhags + 1}, {5, 3}, {6, 0}, {7, 0x28},
                              {8, 'x'}, {200, 1}};
    for (const Damage& damage : damages) {
        CTaalParams broken = params;
        broken.reserved[damage.at] = damage.value;
        if (damage.at == 6)
            broken.reserved[7] = 0; // beats 0
        EXPECT_EQ(ReadVibhagRecord(broken).state, VibhagRecordState::Malformed) << damage.at;
        EXPECT_EQ(VibhagsToShow(broken, 7).display, VibhagDisplay::Unreadable);
    }
    CTaalParams foreign;
    foreign.reserved[0] = 'V';
    foreign.reserved[100] = 7;
    EXPECT_EQ(ReadVibhagRecord(foreign).state, VibhagRecordState::Absent);

    // Refused writes leave the block alone; none zeroes it.
    const CTaalParams before = params;
    EXPECT_EQ(WriteVibhagRecord(params, VibhagList(kMaxVibhags + 1, Vibhag{1, 'X'})),
              VibhagStatus::TooMany);
    EXPECT_EQ(WriteVibhagRecord(params, {{0, 'X'}}), VibhagStatus::BadText);
    EXPECT_EQ(params.reserved, before.reserved);
    EXPECT_EQ(WriteVibhagRecord(params, {}), VibhagStatus::Ok);
    EXPECT_EQ(params.reserved, CTaalParams{}.reserved);
}

TEST(Vibhags, ShownOnlyWhileTheyFitTheTaal) {
    CTaalParams params;
    const VibhagList rupak{{3, '0'}, {2, '1'}, {2, '2'}};
    ASSERT_EQ(WriteVibhagRecord(params, rupak), VibhagStatus::Ok);
    const ShownVibhags fits = VibhagsToShow(params, 7.0f + 1e-5f);
    EXPECT_EQ(fits.display, VibhagDisplay::Shown);
    EXPECT_EQ(fits.vibhags, rupak);
    EXPECT_EQ(VibhagStartBeats(fits.vibhags), (std::vector<int>{0, 3, 5}));
    EXPECT_EQ(VibhagDisplayNote(fits, 7), "");

    const ShownVibhags longer = VibhagsToShow(params, 7.5f);
    EXPECT_EQ(longer.display, VibhagDisplay::DoNotFit);
    EXPECT_TRUE(longer.vibhags.empty());
    EXPECT_EQ(longer.stored, rupak);
    EXPECT_EQ(VibhagDisplayNote(longer, 7.5f),
              "The stored vibhags (0:3 1:2 2:2) add up to 7 beats, but the Taal is now 7.5 beats "
              "long: they are kept, and shown again once they fit.");
    EXPECT_EQ(VibhagStatusText(CheckVibhagsFit(rupak, 8), rupak, 8),
              "The vibhags add up to 7 beats, but the Taal is 8 beats long.");
    EXPECT_EQ(CheckVibhagsFit({}, 8), VibhagStatus::Ok);
    EXPECT_EQ(VibhagsToShow(CTaalParams{}, 8).display, VibhagDisplay::None);
}

} // namespace
} // namespace lorvanta
