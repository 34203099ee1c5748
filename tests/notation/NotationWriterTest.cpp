// What the notation writer produces, and where it says each bol lies.
#include "NotationTestSupport.h"

#include <gtest/gtest.h>

namespace lorvanta::test {
namespace {

std::string Written(const CTaal& taal) {
    return WriteTaalText(taal, BuiltInDictionary()).text;
}

void MakeWorkedExampleTaal(CTaal& taal) {
    AddBol(taal, NamedBol("Dha: Open Ge", 1.0f));
    AddBol(taal, NamedBol("Na", 1.0f));
    AddBol(taal, NamedBol("Tin", 1.0f));
    auto ga = NamedBol("Ga", 0.5f);
    ga->bass.emphasis = 6.0f;
    AddBol(taal, std::move(ga));
    AddBol(taal, NamedBol("Na", 0.5f));
    auto silent = std::make_unique<CBol2>();
    silent->name = "Silence";
    AddBol(taal, std::move(silent));
}

TEST(NotationWriter, WorkedExample) {
    CTaal taal;
    MakeWorkedExampleTaal(taal);
    const TaalText text = WriteTaalText(taal, BuiltInDictionary());
    EXPECT_EQ(text.text,
              "Tabla: Dha: Open Ge [1.00] | Na | Tin | Ge [0.50]+ | Na | Silence [1.00]");
    EXPECT_EQ(text.code, 0u);
    // Each range covers the bol's name, duration and plus signs exactly.
    ASSERT_EQ(text.ranges.size(), 6u);
    const char* bols[] = {"Dha: Open Ge [1.00]", "Na", "Tin", "Ge [0.50]+", "Na", "Silence [1.00]"};
    for (std::size_t i = 0; i < 6; ++i) {
        const BolRange r = text.ranges[i];
        EXPECT_EQ(text.text.substr(r.start, r.end - r.start), bols[i]) << i;
    }
    EXPECT_EQ(text.ranges[0], (BolRange{7, 26}));
}

TEST(NotationWriter, WorkedExampleAppliedBack) {
    CTaal taal;
    MakeWorkedExampleTaal(taal);
    auto parsed = Parse(Written(taal));
    ASSERT_TRUE(parsed->ok);
    ASSERT_EQ(parsed->taal->Count(), 6);
    for (int i = 0; i < 6; ++i) {
        const CBol2& a = *taal.BolAt(i);
        const CBol2& b = *parsed->taal->BolAt(i);
        EXPECT_EQ(a.duration, b.duration) << i;
        EXPECT_EQ(a.pitch.soundId, b.pitch.soundId) << i;
        EXPECT_EQ(a.bass.soundId, b.bass.soundId) << i;
        EXPECT_EQ(b.index, static_cast<std::uint32_t>(i));
        if (i != 3) {
            EXPECT_EQ(a, b) << i;
        }
    }
    const CBol2& ge = *parsed->taal->BolAt(3);
    EXPECT_EQ(ge.name, "Ge");
    EXPECT_EQ(ge.pitch.emphasis, 3.0f);
    EXPECT_EQ(ge.bass.emphasis, 3.0f);
}

TEST(NotationWriter, DurationsAreWrittenWhereTheyChangeWithTwoDecimals) {
    CTaal taal;
    AddBol(taal, NamedBol("Na", 0.333f));
    AddBol(taal, NamedBol("Na", 0.333f));
    AddBol(taal, NamedBol("Na", 0.004f));
    AddBol(taal, NamedBol("Na", 10.0f));
    AddBol(taal, NamedBol("Na", 0.5f));
    EXPECT_EQ(Written(taal), "Tabla: Na [0.33] | Na | Na [0.00] | Na [10.00] | Na [0.50]");
    // 0.00 beats is below what the parser takes.
    auto parsed = Parse(Written(taal));
    EXPECT_FALSE(parsed->ok);
    ASSERT_EQ(parsed->sink.Messages().size(), 1u);
    EXPECT_EQ(parsed->sink.Messages()[0].text, "Error in taal at bol no 3, bol: Na [0.00]");
}

TEST(NotationWriter, EmphasisBecomesPlusSigns) {
    struct Case {
        float pitch, bass;
        const char* text;
    };
    const Case cases[] = {
        {4.0f, 0.0f, "Na [1.00]+"},   // 0.67 rounds to one
        {3.0f, 0.0f, "Na [1.00]+"},   // exactly a half rounds up
        {2.9f, 0.0f, "Na [1.00]"},    // just under a half
        {6.0f, 6.0f, "Na [1.00]++"},  //
        {9.0f, 9.0f, "Na [1.00]+++"}, //
        {-6.0f, -6.0f, "Na [1.00]"},  // cut, never minus signs
        {20.0f, -20.0f, "Na [1.00]"}, // the average is what counts
        {1e30f, 1e30f, nullptr},      // capped, not a runaway string
    };
    for (const Case& c : cases) {
        auto bol = NamedBol("Na", 1.0f);
        bol->pitch.emphasis = c.pitch;
        bol->bass.emphasis = c.bass;
        float last = 0.0f;
        const BolText text = WriteBolText(*bol, last, BuiltInDictionary());
        if (c.text) {
            EXPECT_EQ(text.text, c.text) << c.pitch << " " << c.bass;
        } else {
            EXPECT_EQ(text.text.size(), std::string("Na [1.00]").size() + 65535);
        }
    }
    auto nan = NamedBol("Na", 1.0f);
    nan->pitch.emphasis = std::numeric_limits<float>::quiet_NaN();
    float last = 1.0f;
    EXPECT_EQ(WriteBolText(*nan, last, BuiltInDictionary()).text, "Na");
}

TEST(NotationWriter, NamesComeFromTheDictionaryBySoundPair) {
    CTaal taal;
    AddBol(taal, NamedBol("Ga", 1.0f));  // same pair as the earlier "Ge"
    AddBol(taal, NamedBol("Dhi", 1.0f)); // same pair as "Ghasee Dhi"
    AddBol(taal, NamedBol("dha: OPEN ge", 1.0f));
    auto renamed = NamedBol("Na", 1.0f);
    renamed->name = "My own name"; // the display name is not written
    AddBol(taal, std::move(renamed));
    const TaalText text = WriteTaalText(taal, BuiltInDictionary());
    EXPECT_EQ(text.text, "Tabla: Ge [1.00] | Ghasee Dhi | Dha: Open Ge | Na");
    EXPECT_EQ(text.code, 0u);
}

TEST(NotationWriter, SilentAndUnnamedBols) {
    CTaal taal;
    auto silent = std::make_unique<CBol2>();
    silent->name = "Anything";
    AddBol(taal, std::move(silent));
    auto odd = NamedBol("Na", 1.0f);
    odd->name = "Odd pair";
    odd->bass.soundId = 9; // Na over Thap1: no bol of the dictionary
    AddBol(taal, std::move(odd));
    auto unknown = NamedBol("Na", 1.0f);
    unknown->name = "Unknown sound";
    unknown->pitch.soundId = kUnknownSoundId;
    AddBol(taal, std::move(unknown));
    AddBol(taal, NamedBol("Na", 1.0f));
    const TaalText text = WriteTaalText(taal, BuiltInDictionary());
    EXPECT_EQ(text.text, "Tabla: Silence [1.00] | Odd pair | Unknown sound | Na");
    EXPECT_EQ(text.code, kNotationUnnamedSoundPair);

    float last = 0.0f;
    EXPECT_EQ(WriteBolText(*taal.BolAt(1), last, BuiltInDictionary()).code,
              kNotationUnnamedSoundPair);
    EXPECT_EQ(WriteBolText(*taal.BolAt(3), last, BuiltInDictionary()).code, 0u);
}

TEST(NotationWriter, PakhawajSoundsAreWrittenSilenceWithoutPrefix) {
    CTaal taal;
    auto first = NamedBol("Na", 1.0f);
    first->pitch.instrument = Pakhawaj;
    AddBol(taal, std::move(first));
    auto bassOnPakhawaj = NamedBol("Dha: Open Ge", 1.0f);
    bassOnPakhawaj->bass.instrument = Pakhawaj;
    AddBol(taal, std::move(bassOnPakhawaj));
    AddBol(taal, NamedBol("Tin", 1.0f));
    EXPECT_EQ(Written(taal), "Silence [1.00] | Silence | Tin");
    // Read back as Tabla, the Tabla bol keeps its sounds.
    auto parsed = Parse(Written(taal));
    ASSERT_TRUE(parsed->ok);
    EXPECT_EQ(parsed->taal->BolAt(2)->pitch.soundId, 13u);
    EXPECT_EQ(parsed->taal->BolAt(2)->bass.soundId, 9u);
}

TEST(NotationWriter, NoDictionaryMeansSilence) {
    const BolDictionary nothingLoaded;
    CTaal taal;
    AddBol(taal, NamedBol("Na", 1.0f));
    AddBol(taal, NamedBol("Tin", 2.0f));
    EXPECT_EQ(WriteTaalText(taal, nothingLoaded).text, "Tabla: Silence [1.00] | Silence [2.00]");
}

TEST(NotationWriter, ALoneBolHasNoPrefix) {
    // Without "|" a prefix is no prefix; it would read back as part of the name.
    CTaal taal;
    AddBol(taal, NamedBol("Dha: Open Ge", 2.0f));
    const TaalText text = WriteTaalText(taal, BuiltInDictionary());
    EXPECT_EQ(text.text, "Dha: Open Ge [2.00]");
    EXPECT_EQ(text.ranges, (std::vector<BolRange>{{0, 19}}));
    auto parsed = Parse(text.text);
    ASSERT_TRUE(parsed->ok);
    EXPECT_EQ(*parsed->taal->BolAt(0), *taal.BolAt(0));
}

TEST(NotationWriter, EmptyTaalAndThePaneText) {
    const CTaal empty;
    const TaalText text = WriteTaalText(empty, BuiltInDictionary());
    EXPECT_EQ(text.text, "");
    EXPECT_TRUE(text.ranges.empty());

    CLorvantaDoc doc;
    const TaalText hint = NotationPaneText(doc, BuiltInDictionary());
    EXPECT_EQ(hint.text, kNotationHintText);
    EXPECT_TRUE(hint.ranges.empty());
    EXPECT_EQ(hint.code, 0u);
    // The hint does not parse: its bracketed words are no number.
    auto parsed = Parse(hint.text);
    EXPECT_FALSE(parsed->ok);
    ASSERT_EQ(parsed->sink.Messages().size(), 1u);
    EXPECT_EQ(parsed->sink.Messages()[0].text.rfind("Error in taal at bol no 1, bol: Compose", 0),
              0u);

    doc.InsertBol(-1);
    EXPECT_EQ(NotationPaneText(doc, BuiltInDictionary()).text, "Silence [1.00]");
}

} // namespace
} // namespace lorvanta::test
