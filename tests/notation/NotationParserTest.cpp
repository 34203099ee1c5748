// What the notation parser accepts and refuses, and the ranges of typed text.
#include "NotationTestSupport.h"

#include <gtest/gtest.h>

namespace lorvanta::test {
namespace {

void ExpectSounds(const CBol2& bol, SoundId pitch, SoundId bass, Instrument instrument = Tabla) {
    EXPECT_EQ(bol.pitch.soundId, pitch) << bol.name;
    EXPECT_EQ(bol.bass.soundId, bass) << bol.name;
    EXPECT_EQ(bol.pitch.instrument, instrument) << bol.name;
    EXPECT_EQ(bol.bass.instrument, instrument) << bol.name;
}

void ExpectSilent(const CBol2& bol) {
    ExpectSounds(bol, 0, 0);
    EXPECT_EQ(bol.pitch.name, "Silence");
    EXPECT_EQ(bol.bass.name, "Silence");
}

TEST(NotationParser, WorkedExample) {
    auto parsed = Parse("tabla: dha: open ge(2) | ghasee dhi | xyz++ | Na [0.5] loud");
    ASSERT_TRUE(parsed->ok);
    EXPECT_TRUE(parsed->sink.Messages().empty());
    const CTaal& taal = *parsed->taal;
    ASSERT_EQ(taal.Count(), 4);
    EXPECT_EQ(taal.Total(), 6.5f);

    const CBol2& dha = *taal.BolAt(0);
    EXPECT_EQ(dha.name, "dha: open ge");
    ExpectSounds(dha, 12, 3);
    EXPECT_EQ(dha.pitch.name, "Na");
    EXPECT_EQ(dha.bass.name, "Open Ge");
    EXPECT_EQ(dha.duration, 2.0f);

    EXPECT_EQ(taal.BolAt(1)->name, "ghasee dhi");
    ExpectSounds(*taal.BolAt(1), 22, 0);
    EXPECT_EQ(taal.BolAt(1)->duration, 2.0f);

    const CBol2& xyz = *taal.BolAt(2);
    EXPECT_EQ(xyz.name, "xyz");
    ExpectSounds(xyz, 0, 0);
    EXPECT_EQ(xyz.duration, 2.0f);
    EXPECT_EQ(xyz.pitch.emphasis, 6.0f);
    EXPECT_EQ(xyz.bass.emphasis, 6.0f);

    EXPECT_EQ(taal.BolAt(3)->name, "Na");
    EXPECT_EQ(taal.BolAt(3)->duration, 0.5f);
    EXPECT_EQ(taal.BolAt(3)->pitch.emphasis, 0.0f);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(taal.BolAt(i)->index, static_cast<std::uint32_t>(i));
        EXPECT_EQ(taal.BolAt(i)->reserved, 0.0f);
    }
}

TEST(NotationParser, RefusedTextReportsTheBolAndLeavesTheTaalEmpty) {
    CTaal taal("Kept name");
    taal.Append(std::make_unique<CBol2>());
    RecordingMessageSink sink;
    EXPECT_FALSE(ParseTaalText("Na | Ta [20] | Ge", taal, sink, BuiltInDictionary()));
    EXPECT_EQ(taal.Count(), 0);
    EXPECT_EQ(taal.Total(), 0.0f);
    EXPECT_EQ(taal.Name(), "Kept name");
    ASSERT_EQ(sink.Messages().size(), 1u);
    const UserMessage& message = sink.Messages()[0];
    EXPECT_EQ(message.text, "Error in taal at bol no 2, bol: Ta [20]");
    EXPECT_EQ(message.kind, MessageKind::Warning);
    EXPECT_EQ(message.buttons, MessageButtons::Ok);
}

TEST(NotationParser, PiecesAndNames) {
    {
        auto parsed = Parse("");
        ASSERT_TRUE(parsed->ok);
        ASSERT_EQ(parsed->taal->Count(), 1);
        EXPECT_EQ(parsed->taal->BolAt(0)->name, "");
        EXPECT_EQ(parsed->taal->BolAt(0)->duration, 1.0f);
        ExpectSilent(*parsed->taal->BolAt(0));
    }
    {
        auto parsed = Parse("Na || Ta");
        ASSERT_TRUE(parsed->ok);
        ASSERT_EQ(parsed->taal->Count(), 3);
        EXPECT_EQ(parsed->taal->BolAt(1)->name, "");
        ExpectSilent(*parsed->taal->BolAt(1));
        ExpectSounds(*parsed->taal->BolAt(2), 18, 0);
    }
    {
        auto parsed = Parse("G+e");
        ASSERT_TRUE(parsed->ok);
        EXPECT_EQ(parsed->taal->BolAt(0)->name, "G e");
        ExpectSilent(*parsed->taal->BolAt(0));
        EXPECT_EQ(parsed->taal->BolAt(0)->pitch.emphasis, 3.0f);
        EXPECT_EQ(parsed->taal->BolAt(0)->bass.emphasis, 3.0f);
    }
    {
        // Case is ignored in lookups and kept in the display name; inner
        // whitespace is part of the name.
        auto parsed = Parse("Tabla: Na | DHA: open GE | Dha:  Open Ge");
        ASSERT_TRUE(parsed->ok);
        EXPECT_EQ(parsed->taal->BolAt(1)->name, "DHA: open GE");
        ExpectSounds(*parsed->taal->BolAt(1), 12, 3);
        EXPECT_EQ(parsed->taal->BolAt(2)->name, "Dha:  Open Ge");
        ExpectSilent(*parsed->taal->BolAt(2));
    }
    {
        // Line breaks count as whitespace.
        auto parsed = Parse("Na\r\n|\tTa [0.5]\r\n");
        ASSERT_TRUE(parsed->ok);
        ASSERT_EQ(parsed->taal->Count(), 2);
        EXPECT_EQ(parsed->taal->BolAt(1)->name, "Ta");
        EXPECT_EQ(parsed->taal->BolAt(1)->duration, 0.5f);
    }
}

TEST(NotationParser, InstrumentPrefix) {
    {
        // No "|": no prefix at all.
        auto parsed = Parse("Tabla: Na");
        ASSERT_TRUE(parsed->ok);
        ASSERT_EQ(parsed->taal->Count(), 1);
        EXPECT_EQ(parsed->taal->BolAt(0)->name, "Tabla: Na");
        ExpectSilent(*parsed->taal->BolAt(0));
    }
    {
        auto parsed = Parse("TABLA:Na | Ta");
        ASSERT_TRUE(parsed->ok);
        ASSERT_EQ(parsed->taal->Count(), 2);
        ExpectSounds(*parsed->taal->BolAt(0), 12, 0);
    }
    {
        // The Pakhawaj has no dictionary: every bol is silent under its name.
        auto parsed = Parse("pakhawaj: Na | Dha: Open Ge");
        ASSERT_TRUE(parsed->ok);
        ASSERT_EQ(parsed->taal->Count(), 2);
        EXPECT_EQ(parsed->taal->BolAt(1)->name, "Dha: Open Ge");
        ExpectSilent(*parsed->taal->BolAt(1));
    }
    {
        // A ":" after the first "|" is no prefix.
        auto parsed = Parse("Na | Tabla: Ta");
        ASSERT_TRUE(parsed->ok);
        EXPECT_EQ(parsed->taal->BolAt(1)->name, "Tabla: Ta");
    }
}

TEST(NotationParser, PrefixNamingNoInstrumentStaysInTheName) {
    const char* texts[] = {"Dha: Open Ge | Na", " Tabla: Na | Ta", "Tabla : Na | Ta"};
    auto parsed = Parse(texts[0]);
    ASSERT_TRUE(parsed->ok);
    ASSERT_EQ(parsed->taal->Count(), 2);
    EXPECT_EQ(parsed->taal->BolAt(0)->name, "Dha: Open Ge");
    ExpectSounds(*parsed->taal->BolAt(0), 12, 3);

    // Untrimmed, so a space before or after the word makes it no instrument.
    auto leading = Parse(texts[1]);
    ASSERT_TRUE(leading->ok);
    EXPECT_EQ(leading->taal->BolAt(0)->name, "Tabla: Na");
    auto trailing = Parse(texts[2]);
    ASSERT_TRUE(trailing->ok);
    EXPECT_EQ(trailing->taal->BolAt(0)->name, "Tabla : Na");
}

TEST(NotationParser, TrailingSeparatorMakesNoBol) {
    auto parsed = Parse("Tabla: Na | Ta | \r\n ");
    ASSERT_TRUE(parsed->ok);
    EXPECT_EQ(parsed->taal->Count(), 2);
    auto bare = Parse("Na |");
    ASSERT_TRUE(bare->ok);
    EXPECT_EQ(bare->taal->Count(), 1);
    // Only the last one: an empty piece between two bars is still a bol.
    auto two = Parse("Na ||");
    ASSERT_TRUE(two->ok);
    EXPECT_EQ(two->taal->Count(), 2);
    // A prefixed lone bol can be typed this way.
    auto lone = Parse("Tabla: Na |");
    ASSERT_TRUE(lone->ok);
    ASSERT_EQ(lone->taal->Count(), 1);
    ExpectSounds(*lone->taal->BolAt(0), 12, 0);
}

TEST(NotationParser, DurationsAccepted) {
    struct Case {
        const char* text;
        float duration;
    };
    const Case cases[] = {
        {"Na [10]", 10.0f},
        {"Na (0.5]", 0.5f},
        {"Na [0.5)", 0.5f},
        {"Na ( 0.25 )", 0.25f},
        {"Na [0.0011]", 0.0011f},
        {"Na [0.5] loud", 0.5f},
        {"Na [.5]", 0.5f},
        {"Na [2.]", 2.0f},
        {"Na [5e-1]", 0.5f},
        {"Na [0.5 beats]", 0.5f},
        {"Na [1x]", 1.0f},
        {"Na[+2]", 2.0f},
        {"Na [0.001000001]", 0.001000001f},
    };
    for (const Case& c : cases) {
        auto parsed = Parse(c.text);
        ASSERT_TRUE(parsed->ok) << c.text;
        EXPECT_EQ(parsed->taal->BolAt(0)->duration, c.duration) << c.text;
        EXPECT_EQ(parsed->taal->BolAt(0)->name, "Na") << c.text;
    }
}

TEST(NotationParser, DurationsRefused) {
    // Each refused at bol 2, the message showing the piece as cleaned.
    struct Case {
        const char* piece;
        const char* shown;
    };
    const Case cases[] = {
        {"Na [10.01]", "Na [10.01]"},
        {"Na [10.0000001]", "Na [10.0000001]"},
        {"Na [0]", "Na [0]"},
        {"Na [0.001]", "Na [0.001]"}, // below the single-precision 0.001
        {"Na [-1]", "Na [-1]"},
        {"Na [abc]", "Na [abc]"},
        {"Na [ ]", "Na [ ]"},
        {"Na ]0.5[", "Na ]0.5["},
        {"Na [0.5", "Na [0.5"},
        {"Na++ (0.5", "Na   (0.5"},
        {"Na [1e999]", "Na [1e999]"},
        {"Na [1e-999]", "Na [1e-999]"},
        // Not finite decimal numbers.
        {"Na [nan]", "Na [nan]"},
        {"Na [NaN(1)]", "Na [NaN(1)]"},
        {"Na [inf]", "Na [inf]"},
        {"Na [-infinity]", "Na [-infinity]"},
        {"Na [0x1]", "Na [0x1]"},
        {"Na [0x1p-1]", "Na [0x1p-1]"},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("Ta [0.5] | ") + c.piece + " | Ge";
        auto parsed = Parse(text);
        EXPECT_FALSE(parsed->ok) << c.piece;
        EXPECT_EQ(parsed->taal->Count(), 0) << c.piece;
        ASSERT_EQ(parsed->sink.Messages().size(), 1u) << c.piece;
        EXPECT_EQ(parsed->sink.Messages()[0].text,
                  std::string("Error in taal at bol no 2, bol: ") + c.shown);
    }
}

TEST(NotationParser, DurationIsStickyEmphasisIsNot) {
    auto parsed = Parse("Na++ | Ta [0.25]+ | Ge | Na [2] | Ta");
    ASSERT_TRUE(parsed->ok);
    const float durations[] = {1.0f, 0.25f, 0.25f, 2.0f, 2.0f};
    const float emphases[] = {6.0f, 3.0f, 0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(parsed->taal->BolAt(i)->duration, durations[i]) << i;
        EXPECT_EQ(parsed->taal->BolAt(i)->pitch.emphasis, emphases[i]) << i;
        EXPECT_EQ(parsed->taal->BolAt(i)->bass.emphasis, emphases[i]) << i;
    }
    EXPECT_EQ(parsed->taal->Total(), 5.5f);
    // Each parse starts again from one beat.
    auto again = Parse("Na | Ta");
    EXPECT_EQ(again->taal->BolAt(0)->duration, 1.0f);
}

TEST(NotationParser, ParseBolTextAlone) {
    NotationParseState state;
    state.bolCount = 7;
    std::string shown;
    auto bol = ParseBolText("  Dhi+ (0.75)  ", Tabla, state, BuiltInDictionary(), &shown);
    ASSERT_NE(bol, nullptr);
    EXPECT_EQ(shown, "Dhi  (0.75)");
    EXPECT_EQ(bol->name, "Dhi");
    EXPECT_EQ(bol->index, 7u);
    EXPECT_EQ(bol->duration, 0.75f);
    EXPECT_EQ(state.currentDuration, 0.75);
    ExpectSounds(*bol, 22, 0);

    EXPECT_EQ(ParseBolText("Na [11]", Tabla, state, BuiltInDictionary(), &shown), nullptr);
    EXPECT_EQ(shown, "Na [11]");
    // A refused duration leaves the sticky one as it was.
    EXPECT_EQ(state.currentDuration, 0.75);
}

TEST(NotationParser, ParsedGaAndDhiAreWrittenAsTheirFirstNames) {
    auto parsed = Parse("Ga | Dhi");
    ASSERT_TRUE(parsed->ok);
    EXPECT_EQ(WriteTaalText(*parsed->taal, BuiltInDictionary()).text,
              "Tabla: Ge [1.00] | Ghasee Dhi");
}

TEST(AppliedTextRanges, CoverEachPieceBetweenSeparators) {
    const std::string text = "tabla: dha: open ge(2) | ghasee dhi | xyz++ | Na [0.5] loud";
    const auto ranges = AppliedTextRanges(text);
    ASSERT_EQ(ranges.size(), 4u);
    auto piece = [&](std::size_t i) {
        return text.substr(ranges[i].start, ranges[i].end - ranges[i].start);
    };
    EXPECT_EQ(piece(0), " dha: open ge(2)");
    EXPECT_EQ(piece(1), " ghasee dhi");
    EXPECT_EQ(piece(2), " xyz++");
    EXPECT_EQ(piece(3), " Na [0.5] loud");
}

TEST(AppliedTextRanges, FollowTheParse) {
    // One range per bol the parse makes, whatever the text.
    const char* texts[] = {"",           "Na",          "Na||Ta", "Dha: Open Ge | Na",
                           "Na | Ta | ", "Tabla: Na |", "|",      "Pakhawaj:|Na",
                           "Tabla: Na",  "a:b|c:d|e"};
    for (const char* text : texts) {
        auto parsed = Parse(text);
        ASSERT_TRUE(parsed->ok) << text;
        const auto ranges = AppliedTextRanges(text);
        EXPECT_EQ(static_cast<int>(ranges.size()), parsed->taal->Count()) << text;
        for (const BolRange& r : ranges) {
            EXPECT_LE(0, r.start) << text;
            EXPECT_LE(r.start, r.end) << text;
            EXPECT_LE(r.end, static_cast<int>(std::string_view(text).size())) << text;
        }
    }
    EXPECT_EQ(AppliedTextRanges("Na||Ta"), (std::vector<BolRange>{{0, 1}, {3, 3}, {4, 6}}));
    EXPECT_EQ(AppliedTextRanges("Dha: Open Ge | Na"), (std::vector<BolRange>{{0, 12}, {14, 17}}));
    EXPECT_EQ(AppliedTextRanges("Pakhawaj:|Na"), (std::vector<BolRange>{{9, 9}, {10, 12}}));
    EXPECT_EQ(AppliedTextRanges("Na | Ta | "), (std::vector<BolRange>{{0, 2}, {4, 7}}));
}

} // namespace
} // namespace lorvanta::test
