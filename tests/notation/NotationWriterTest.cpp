// What the notation writer produces, and where it says each bol lies.
#include "NotationTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace lorvanta::test {
namespace {

// A bol of the built-in dictionary, changed by edit when given.
CBol2 B(const std::string& name, float duration = 1.0f,
        const std::function<void(CBol2&)>& edit = {}) {
    CBol2 bol = *NamedBol(name, duration);
    if (edit)
        edit(bol);
    return bol;
}

TaalText Write(const std::vector<CBol2>& bols,
               const BolDictionary& dictionary = BuiltInDictionary()) {
    CTaal taal;
    for (const CBol2& bol : bols)
        AddBol(taal, std::make_unique<CBol2>(bol));
    return WriteTaalText(taal, dictionary);
}

TEST(NotationWriter, Texts) {
    CBol2 silent;
    silent.name = "Anything";
    struct Case {
        std::vector<CBol2> bols;
        std::string text;
        std::uint32_t code = 0;
    };
    const Case cases[] = {
        {{B("Dha: Open Ge"), B("Na"), B("Tin"),
          B("Ga", 0.5f, [](CBol2& b) { b.bass.emphasis = 6; }), B("Na", 0.5f), silent},
         "Tabla: Dha: Open Ge [1.00] | Na | Tin | Ge [0.50]+ | Na | Silence [1.00]"},
        // Durations where they change, with the fewest decimals, at least
        // two, that read back as the same float (the float 0.001 lies above
        // the decimal 0.001, which the parser refuses).
        {{B("Na", 0.333f), B("Na", 0.333f), B("Na", 0.004f), B("Na", 10.0f), B("Na", 0.5f),
          B("Na", 0.125f), B("Na", 0.1f), B("Na", 1.0f / 3.0f), B("Na", 0.001f)},
         "Tabla: Na [0.333] | Na | Na [0.004] | Na [10.00] | Na [0.50] | Na [0.125] | Na [0.10] | "
         "Na [0.33333334] | Na [0.00100000005]"},
        // Names come from the dictionary's first entry for the sound pair,
        // never from the bol's display name.
        {{B("Ga"), B("Dhi"), B("dha: OPEN ge"), B("Na", 1, [](CBol2& b) { b.name = "Mine"; })},
         "Tabla: Ge [1.00] | Ghasee Dhi | Dha: Open Ge | Na"},
        // A pair without a name is written under the display name, with code 35.
        {{silent,
          B("Na", 1,
            [](CBol2& b) {
                b.name = "Odd pair";
                b.bass.soundId = 9;
            }),
          B("Na", 1,
            [](CBol2& b) {
                b.name = "Unknown";
                b.pitch.soundId = kUnknownSoundId;
            }),
          B("Na")},
         "Tabla: Silence [1.00] | Odd pair | Unknown | Na",
         kNotationUnnamedSoundPair},
        // Sounds on the Pakhawaj (no dictionary) are "Silence", and no prefix.
        {{B("Na", 1, [](CBol2& b) { b.pitch.instrument = Pakhawaj; }),
          B("Dha: Open Ge", 1, [](CBol2& b) { b.bass.instrument = Pakhawaj; }), B("Tin")},
         "Silence [1.00] | Silence | Tin"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        const TaalText text = Write(c.bols);
        EXPECT_EQ(text.text, c.text);
        EXPECT_EQ(text.code, c.code) << c.text;
        // The ranges cover each bol's name, duration and plus signs exactly.
        ASSERT_EQ(text.ranges.size(), c.bols.size()) << c.text;
        std::size_t at = text.text.rfind("Tabla: ", 0) == 0 ? 7 : 0;
        for (const BolRange& r : text.ranges) {
            const std::size_t end = std::min(text.text.find(" | ", at), text.text.size());
            EXPECT_EQ(r, (BolRange{static_cast<int>(at), static_cast<int>(end)})) << c.text;
            at = end + 3;
        }
    }
}

TEST(NotationWriter, EmphasisBecomesPlusSigns) {
    struct Case {
        float pitch, bass;
        std::size_t plusSigns;
    };
    const Case cases[] = {
        {4.0f, 0.0f, 1},       // 0.67 rounds to one
        {3.0f, 0.0f, 1},       // exactly a half rounds up
        {2.9f, 0.0f, 0},       // just under a half
        {20.0f, -20.0f, 0},    // the average is what counts
        {1e30f, 1e30f, 65535}, // capped, not a runaway string
        {std::numeric_limits<float>::quiet_NaN(), 0.0f, 0},
    };
    for (const Case& c : cases) {
        const CBol2 bol = B("Na", 1, [&](CBol2& b) {
            b.pitch.emphasis = c.pitch;
            b.bass.emphasis = c.bass;
        });
        float last = 1.0f;
        EXPECT_EQ(WriteBolText(bol, last, BuiltInDictionary()).text,
                  "Na" + std::string(c.plusSigns, '+'))
            << c.pitch << " " << c.bass;
    }
}

} // namespace
} // namespace lorvanta::test
