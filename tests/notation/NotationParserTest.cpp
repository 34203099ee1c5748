// What the notation parser accepts and refuses, and the ranges of typed text.
#include "NotationTestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <sstream>

namespace lorvanta::test {
namespace {

// Each bol as "[name] pitch/bass duration", then " +pitch/bass emphasis" when it has one
// and " P" when on the Pakhawaj; bols joined by " | ".
std::string Describe(const CTaal& taal) {
    std::ostringstream out;
    for (const auto& bol : taal.Bols()) {
        if (bol->index != 0)
            out << " | ";
        out << "[" << bol->name << "] " << bol->pitch.soundId << "/" << bol->bass.soundId << " "
            << bol->duration;
        if (bol->pitch.emphasis != 0.0f || bol->bass.emphasis != 0.0f)
            out << " +" << bol->pitch.emphasis << "/" << bol->bass.emphasis;
        if (bol->pitch.instrument != Tabla || bol->bass.instrument != Tabla)
            out << " P";
    }
    return out.str();
}

TEST(NotationParser, Accepted) {
    struct Case {
        const char* text;
        const char* bols;
    };
    const Case cases[] = {
        {"tabla: dha: open ge(2) | ghasee dhi | xyz++ | Na [0.5] loud",
         "[dha: open ge] 12/3 2 | [ghasee dhi] 22/0 2 | [xyz] 0/0 2 +6/6 | [Na] 12/0 0.5"},
        // Pieces and names: "+" is emphasis wherever it stands; case is
        // ignored in lookups and kept in the name; inner whitespace counts.
        {"Na || Ta", "[Na] 12/0 1 | [] 0/0 1 | [Ta] 18/0 1"},
        // Emphasis stops at the 20 dB a file holds.
        {"Na++++++ | Ta+++++++ | Ge++++++++++",
         "[Na] 12/0 1 +18/18 | [Ta] 18/0 1 +20/20 | [Ge] 0/2 1 +20/20"},
        {"Tabla: Na | DHA: open GE | Dha:  Open Ge",
         "[Na] 12/0 1 | [DHA: open GE] 12/3 1 | [Dha:  Open Ge] 0/0 1"},
        // The duration holds for the bols after it, the emphasis does not.
        {"Na++ | Ta [0.25]+ | Ge | Na [2] | Ta",
         "[Na] 12/0 1 +6/6 | [Ta] 18/0 0.25 +3/3 | [Ge] 0/2 0.25 | [Na] 12/0 2 | [Ta] 18/0 2"},
        // The prefix: only before the first "|", only an instrument's exact
        // name (case aside); the Pakhawaj has no bols.
        {"Tabla: Na", "[Tabla: Na] 0/0 1"},
        {"TABLA:Na | Ta", "[Na] 12/0 1 | [Ta] 18/0 1"},
        {"pakhawaj: Na | Dha: Open Ge", "[Na] 0/0 1 | [Dha: Open Ge] 0/0 1"},
        // A last "|" with only whitespace after it makes no bol.
        {"Tabla: Na | Ta | \r\n ", "[Na] 12/0 1 | [Ta] 18/0 1"},
        // Durations: either bracket closes either, any decimal number.
        {"Na[+2]", "[Na] 12/0 2 +3/3"}, // every "+" is emphasis, even in brackets
        {"Na [0.0010000000474974513]", "[Na] 12/0 0.001"}, // exactly the single-precision 0.001
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto parsed = Parse(c.text);
        ASSERT_TRUE(parsed->ok);
        EXPECT_TRUE(parsed->sink.Messages().empty());
        EXPECT_EQ(Describe(*parsed->taal), c.bols);
    }
}

TEST(NotationParser, DurationsRefused) {
    // Each refused at bol 2, the message showing the piece as cleaned ("+"
    // made spaces, then trimmed).
    struct Case {
        const char* piece;
        const char* shown;
    };
    const Case cases[] = {
        {"Ta [20]", "Ta [20]"},
        {"Na [0.001]", "Na [0.001]"}, // below the single-precision 0.001
        {" Na++ (0.5+", "Na   (0.5"},
        {"Na [1e999]", "Na [1e999]"},
        // Not finite decimal numbers.
        {"Na [nan]", "Na [nan]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.piece);
        // The Taal is emptied, its name kept, and one warning box shows.
        CTaal taal("Kept name");
        taal.Append(std::make_unique<CBol2>());
        RecordingMessageSink sink;
        EXPECT_FALSE(ParseTaalText(std::string("Ta [0.5] | ") + c.piece + " | Ge", taal, sink,
                                   BuiltInDictionary()));
        EXPECT_EQ(taal.Count(), 0);
        EXPECT_EQ(taal.Name(), "Kept name");
        ASSERT_EQ(sink.Messages().size(), 1u);
        EXPECT_EQ(sink.Messages()[0].text,
                  std::string("Error in taal at bol no 2, bol: ") + c.shown);
        EXPECT_EQ(sink.Messages()[0].kind, MessageKind::Warning);
    }
}

TEST(NotationParser, StopsAtTheLimitsOfATaal) {
    const auto repeat = [](const std::string& piece, int times) {
        std::string text;
        for (int i = 0; i < times; ++i)
            text += (i ? "|" : "") + piece;
        return text;
    };
    struct Case {
        std::string text;
        bool ok;
    };
    const Case cases[] = {
        {repeat("Na", 50000), true},
        {repeat("Na", 50001), false},
        {repeat("Na [10]", 10000), true}, // 100,000 beats
        {repeat("Na [10]", 10001), false},
    };
    for (const Case& c : cases) {
        CTaal taal;
        RecordingMessageSink sink;
        EXPECT_EQ(ParseTaalText(c.text, taal, sink, BuiltInDictionary()), c.ok);
        EXPECT_EQ(taal.IsEmpty(), !c.ok);
        ASSERT_EQ(sink.Messages().size(), c.ok ? 0u : 1u);
        if (!c.ok) {
            EXPECT_EQ(sink.Messages()[0].text,
                      "A Taal holds at most 50,000 bols and 100,000 beats.");
        }
    }

    // Ten million pieces: refused without ever holding more than the bols kept.
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    CTaal taal;
    EXPECT_EQ(ParseTaalTextStatus(std::string(10'000'000, '|'), taal, BuiltInDictionary()).status,
              kTaalTooLarge);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024); // kB
}

TEST(AppliedTextRanges, FromAfterTheSeparatorToBeforeTheNext) {
    const std::string text = "tabla: dha: open ge(2) | ghasee dhi | xyz++ | Na [0.5] loud";
    EXPECT_EQ(AppliedTextRanges(text),
              (std::vector<BolRange>{{6, 22}, {24, 35}, {37, 43}, {45, 59}}));
    EXPECT_EQ(AppliedTextRanges("Na||Ta"), (std::vector<BolRange>{{0, 1}, {3, 3}, {4, 6}}));
}

} // namespace
} // namespace lorvanta::test
