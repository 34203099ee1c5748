// The bol dictionary: the text file's line rules, its precedence over the
// built-in bols, and sound name normalisation.
#include "model/BolDictionary.h"
#include "model/Bol.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace lorvanta {
namespace {

class BolDictionaryTest : public testing::Test {
protected:
    // Loads a dictionary from a file holding exactly text.
    const BolDictionary::Slot& LoadText(const std::string& text) {
        const auto path = m_dir / "Tabla Bols.txt";
        std::ofstream(path, std::ios::binary) << text;
        EXPECT_EQ(m_dictionary.Load(path), 0u);
        return m_dictionary.GetSlot(Tabla);
    }
    std::size_t FileEntries(const std::string& text) {
        return LoadText(text).entries.size() - BuiltInBols().size();
    }

    test::TempDir m_dir;
    BolDictionary m_dictionary;
};

TEST_F(BolDictionaryTest, WithoutFileOnlyTheBuiltInBols) {
    EXPECT_EQ(m_dictionary.Load(m_dir / "absent.txt"), 0u);
    const auto& slot = m_dictionary.GetSlot(Tabla);
    EXPECT_TRUE(slot.loaded);
    ASSERT_EQ(slot.entries.size(), 34u);
    EXPECT_EQ(slot.entries.front().name, "---- Tabla Sounds ----");
    EXPECT_EQ(slot.entries.back().name, "Ra");
    EXPECT_EQ(slot.entries.back().pitchSoundId, 23u);
    const BolTableEntry* tin = m_dictionary.FindBol(Tabla, "tin");
    ASSERT_NE(tin, nullptr);
    EXPECT_EQ(tin->pitchSoundId, 13u);
    EXPECT_EQ(tin->bassSoundId, 9u);
}

TEST_F(BolDictionaryTest, LineRules) {
    const auto& slot = LoadText("Dha = Na + Open Ge\n"
                                "Tete=Te+Silence\n"
                                "Kit = na + xyz\n"
                                "\n"
                                "Dha Na Ge\n"
                                "Dha = Na\n"
                                "P = Q + R + S\n"
                                "Ge = Silence + Closed Ge   \r\n"
                                " = + \n");
    ASSERT_EQ(slot.entries.size(), 34u + 6u);
    auto expect = [&](std::size_t i, const char* name, const char* pitch, const char* bass,
                      SoundId pitchId, SoundId bassId) {
        SCOPED_TRACE(i);
        const BolTableEntry& e = slot.entries[i];
        EXPECT_EQ(e.name, name);
        EXPECT_EQ(e.pitchSoundName, pitch);
        EXPECT_EQ(e.bassSoundName, bass);
        EXPECT_EQ(e.pitchSoundId, pitchId);
        EXPECT_EQ(e.bassSoundId, bassId);
    };
    expect(0, "Dha", "Na", "Open Ge", 12, 3);
    expect(1, "Tete", "Te", "Silence", 19, 0);
    expect(2, "Kit", "na", "xyz", 12, 0);
    expect(3, "P", "Q", "R + S", 0, 0);
    expect(4, "Ge", "Silence", "Closed Ge", 0, 2);
    expect(5, "", "", "", 0, 0);
    expect(6, "---- Tabla Sounds ----", "Silence", "Silence", 0, 0);
}

TEST_F(BolDictionaryTest, FileEntriesOverrideBuiltInOnes) {
    LoadText("dha: open ge = Sur + Open Ge\n");
    const BolTableEntry* entry = m_dictionary.FindBol(Tabla, "DHA: OPEN GE");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->pitchSoundId, 13u);
    EXPECT_EQ(entry->bassSoundId, 3u);
    EXPECT_EQ(entry, &m_dictionary.GetSlot(Tabla).entries[0]);
}

TEST_F(BolDictionaryTest, DuplicateNamesAllTakeEntriesButTheFirstIsFound) {
    EXPECT_EQ(FileEntries("X = Na + Silence\nx = Tin + Silence\n"), 2u);
    EXPECT_EQ(m_dictionary.FindBol(Tabla, "X")->pitchSoundId, 12u);
}

TEST_F(BolDictionaryTest, LongTextsAreCutAt127Characters) {
    const std::string longName(300, 'n');
    LoadText(longName + " = " + std::string(200, 'p') + " + Silence\n");
    const BolTableEntry& entry = m_dictionary.GetSlot(Tabla).entries[0];
    EXPECT_EQ(entry.name, std::string(127, 'n'));
    EXPECT_EQ(entry.pitchSoundName, std::string(127, 'p'));
    EXPECT_EQ(entry.bassSoundName, "Silence");
}

TEST_F(BolDictionaryTest, PhysicalLinesLongerThan2047AreReadInPieces) {
    // The first piece has no "="; the second starts after 2047 characters.
    const std::string line = std::string(2047, 'a') + "Tail = Na + Silence\n";
    EXPECT_EQ(FileEntries(line), 1u);
    EXPECT_EQ(m_dictionary.GetSlot(Tabla).entries[0].name, "Tail");
}

TEST_F(BolDictionaryTest, PakhawajFindsNothing) {
    LoadText("Dha = Na + Open Ge\n");
    EXPECT_FALSE(m_dictionary.GetSlot(Pakhawaj).loaded);
    EXPECT_EQ(m_dictionary.FindBol(Pakhawaj, "Dha"), nullptr);
    EXPECT_EQ(m_dictionary.FindBol(Pakhawaj, "Silence"), nullptr);
}

TEST_F(BolDictionaryTest, BolConstructorTakesTheEntrysSounds) {
    LoadText("");
    const CBol2 dha("dha: open ge", 3, 0.5f, Tabla, m_dictionary);
    EXPECT_EQ(dha.name, "dha: open ge");
    EXPECT_EQ(dha.pitch.name, "Na");
    EXPECT_EQ(dha.pitch.soundId, 12u);
    EXPECT_EQ(dha.bass.name, "Open Ge");
    EXPECT_EQ(dha.bass.soundId, 3u);
    EXPECT_EQ(dha.index, 3u);
    EXPECT_EQ(dha.duration, 0.5f);

    const CBol2 pakhawaj("Dha: Open Ge", 0, 1.0f, Pakhawaj, m_dictionary);
    EXPECT_EQ(pakhawaj.name, "Dha: Open Ge");
    EXPECT_EQ(pakhawaj.pitch, CBol2().pitch);
    EXPECT_EQ(pakhawaj.bass, CBol2().bass);
    EXPECT_EQ(pakhawaj.bass.instrument, Tabla);
}

TEST(SoundNames, Normalisation) {
    struct Case {
        const char* name;
        SoundTable table;
        SoundId id;
        const char* after;
    };
    const Case cases[] = {
        {"Na 2", SoundTable::Pitch, 12, "Na"},
        {"Sliding Ge", SoundTable::Bass, 4, "Fast Sliding Ge"},
        {"na", SoundTable::Pitch, 30, "na"},
        {"Normal Ti, Te", SoundTable::Bass, 15, "Normal Ti, Te"},
        {"Normal Ti, Te", SoundTable::Pitch, 15, "Ti"},
        {"Silence", SoundTable::Pitch, 0, "Silence"},
        {"Silence", SoundTable::Bass, 0, "Silence"},
        {"Ki", SoundTable::Bass, 7, "Ki"},
        {"Finger Ki, Ke", SoundTable::Pitch, 11, "Kat"},
        {"", SoundTable::Bass, 30, ""},
    };
    for (const Case& c : cases) {
        std::string name = c.name;
        EXPECT_EQ(NormalizeSoundName(name, c.table), c.id) << c.name;
        EXPECT_EQ(name, c.after) << c.name;
    }
}

TEST(SoundNames, SoundConstructorKeepsTheNameAsPassed) {
    const CSound sound("Na 2", SoundTable::Pitch, Pakhawaj);
    EXPECT_EQ(sound.name, "Na 2");
    EXPECT_EQ(sound.soundId, 12u);
    EXPECT_EQ(sound.instrument, Pakhawaj);
    EXPECT_EQ(sound.emphasis, 0.0f);
}

} // namespace
} // namespace lorvanta
