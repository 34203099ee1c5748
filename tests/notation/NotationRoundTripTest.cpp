// Taals written as text and read back, and the dictionary that makes that work.
#include "NotationTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace lorvanta::test {
namespace {

// Up to 24 bols of the dictionary (now and then a silent one), each shown
// under a name of its own, with 0 to 3 plus signs of emphasis and a duration
// kept from the bol before, in hundredths, or any.
void MakeRandomTaal(CTaal& taal, std::mt19937& random, const BolDictionary& dictionary) {
    const auto& entries = dictionary.GetSlot(Tabla).entries;
    const int count = 1 + static_cast<int>(random() % 24);
    float duration = 1.0f;
    for (int i = 0; i < count; ++i) {
        const auto kind = random() % 10;
        if (kind >= 3 && kind < 8)
            duration = static_cast<float>(1 + random() % 1000) / 100.0f;
        else if (kind >= 8)
            duration = std::uniform_real_distribution<float>(0.001f, 10.0f)(random);
        auto bol = kind == 9
                       ? std::make_unique<CBol2>()
                       : NamedBol(entries[random() % entries.size()].name, duration, dictionary);
        bol->duration = duration;
        bol->name = "shown name " + std::to_string(i);
        bol->pitch.emphasis = bol->bass.emphasis = 3.0f * static_cast<float>(random() % 4);
        AddBol(taal, std::move(bol));
    }
}

// Write, parse, compare: every duration reads back exactly.
void CheckRoundTrip(const CTaal& taal, const BolDictionary& dictionary) {
    const TaalText written = WriteTaalText(taal, dictionary);
    auto parsed = Parse(written.text, dictionary);
    ASSERT_TRUE(parsed->ok) << written.text;
    EXPECT_EQ(written.code, 0u) << written.text;
    ASSERT_EQ(parsed->taal->Count(), taal.Count()) << written.text;
    for (int i = 0; i < taal.Count(); ++i) {
        const CBol2& a = *taal.BolAt(i);
        const CBol2& b = *parsed->taal->BolAt(i);
        EXPECT_EQ(std::tuple(b.pitch.soundId, b.bass.soundId, b.pitch.emphasis, b.bass.emphasis,
                             b.duration, b.index),
                  std::tuple(a.pitch.soundId, a.bass.soundId, a.pitch.emphasis, a.bass.emphasis,
                             a.duration, static_cast<std::uint32_t>(i)))
            << written.text << " bol " << i;
    }
    // Read back, the text is a fixed point: Apply on unchanged text changes nothing.
    EXPECT_EQ(WriteTaalText(*parsed->taal, dictionary).text, written.text);
}

TEST(NotationRoundTrip, RandomTaals) {
    for (const BolDictionary* dictionary : {&BuiltInDictionary(), &ShippedDictionary()}) {
        std::mt19937 random(20240611);
        for (int round = 0; round < 300; ++round) {
            SCOPED_TRACE(round);
            CTaal taal;
            MakeRandomTaal(taal, random, *dictionary);
            CheckRoundTrip(taal, *dictionary);
            if (HasFatalFailure())
                return;
        }
    }
}

TEST(ShippedBols, EveryLineIsABolWithKnownSounds) {
    const BolDictionary& dictionary = ShippedDictionary();
    // Every line of the file is a bol, none is lost to a typo in a stroke name.
    const auto& entries = dictionary.GetSlot(Tabla).entries;
    ASSERT_EQ(entries.size(), BuiltInBols().size() + 14);
    for (std::size_t i = 0; i < 14; ++i) {
        const auto& e = entries[i];
        EXPECT_EQ(e.pitchSoundId == 0, EqualsIgnoringCase(e.pitchSoundName, "Silence")) << e.name;
        EXPECT_EQ(e.bassSoundId == 0, EqualsIgnoringCase(e.bassSoundName, "Silence")) << e.name;
    }
}

} // namespace
} // namespace lorvanta::test
