// The bol dictionary: the text file's line rules, its precedence over the
// built-in bols, and sound name normalisation; and where the program's data and
// the bol files are found.
#include "model/BolDictionary.h"
#include "model/Bol.h"
#include "model/ProgramData.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace lorvanta {
namespace {

namespace fs = std::filesystem;

// "name|pitch|bass|pitchId|bassId", or "none".
std::string Describe(const BolTableEntry* e) {
    if (e == nullptr)
        return "none";
    return e->name + "|" + e->pitchSoundName + "|" + e->bassSoundName + "|" +
           std::to_string(e->pitchSoundId) + "|" + std::to_string(e->bassSoundId);
}

TEST(BolDictionary, WithoutFileOnlyTheBuiltInBols) {
    test::TempDir dir;
    BolDictionary dictionary;
    EXPECT_EQ(dictionary.Load(dir / "absent.txt"), 0u);
    const auto& entries = dictionary.GetSlot(Tabla).entries;
    ASSERT_EQ(entries.size(), 34u);
    EXPECT_EQ(Describe(&entries.back()), "Ra|Ghasee Ra|Silence|23|0");
    EXPECT_EQ(Describe(dictionary.FindBol(Tabla, "tin")), "Tin|Sur|Thap1|13|9");
    // The Pakhawaj slot is never filled.
    EXPECT_FALSE(dictionary.GetSlot(Pakhawaj).loaded);
    EXPECT_EQ(dictionary.FindBol(Pakhawaj, "Silence"), nullptr);
}

// Only a regular file of at most 1 MB is read; a FIFO is judged without being
// opened for reading, so nothing waits for a writer.
TEST(BolDictionary, OnlyARegularFileOfAtMostOneMegabyteIsRead) {
    test::TempDir dir;
    const std::string line = "Zz = Na + Open Ge\n";
    std::vector<std::uint8_t> big(line.begin(), line.end());
    big.resize(kMaxBolFileSize + 1, '\n');
    dir.Write("big.txt", big);
    big.resize(kMaxBolFileSize);
    dir.Write("limit.txt", big);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    const struct Case {
        const char* name;
        BolFileState state;
    } cases[] = {{"limit.txt", BolFileState::Readable},
                 {"big.txt", BolFileState::TooLarge},
                 {"fifo", BolFileState::NotRegular}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(InspectBolFile(dir / c.name), c.state);
        std::vector<BolTableEntry> entries;
        ReadBolFile(dir / c.name, entries);
        EXPECT_EQ(entries.size(), c.state == BolFileState::Readable ? 1u : 0u);
    }
}

TEST(BolDictionary, FileLinesPrecedeTheBuiltInBols) {
    test::TempDir dir;
    // The 2047 a's are a piece of their own without "="; the rest of that
    // physical line is read as the next piece.
    std::ofstream(dir / "bols.txt", std::ios::binary)
        << "Dha = Na + Open Ge\n"
           "Kit = na + xyz\n"
           "\n"
           "Dha Na Ge\n"
           "Dha = Na\n"
           "Ge = Silence + Closed Ge   \r\n"
           "dha: open ge = Sur + Open Ge\n"
           "DHA = Tin + Silence\n"
        << std::string(300, 'n') << " = " << std::string(200, 'p') << " + Silence\n"
        << std::string(2047, 'a') << "Tail = Na + Silence\n";
    BolDictionary dictionary;
    ASSERT_EQ(dictionary.Load(dir / "bols.txt"), 0u);
    const std::string expected[] = {
        "Dha|Na|Open Ge|12|3",
        "Kit|na|xyz|12|0", // sound names resolve ignoring case; unknown ones are 0
        "Ge|Silence|Closed Ge|0|2",
        "dha: open ge|Sur|Open Ge|13|3",
        "DHA|Tin|Silence|14|0",
        std::string(127, 'n') + "|" + std::string(127, 'p') + "|Silence|0|0",
        "Tail|Na|Silence|12|0",
        "---- Tabla Sounds ----|Silence|Silence|0|0",
    };
    const auto& entries = dictionary.GetSlot(Tabla).entries;
    ASSERT_EQ(entries.size(), 34u + 7u);
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(Describe(&entries[i]), expected[i]) << i;
    // The first entry of a name wins, the file's over the built-in one.
    EXPECT_EQ(dictionary.FindBol(Tabla, "DHA: OPEN GE"), &entries[3]);
    EXPECT_EQ(dictionary.FindBol(Tabla, "dha"), &entries[0]);
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
        {"Finger Ki, Ke", SoundTable::Pitch, 11, "Kat"},
        {"", SoundTable::Bass, 30, ""},
    };
    for (const Case& c : cases) {
        std::string name = c.name;
        EXPECT_EQ(NormalizeSoundName(name, c.table), c.id) << c.name;
        EXPECT_EQ(name, c.after) << c.name;
    }
}

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Data beside the program, then installed in share/lorvanta; the user's bol
// file before the program's and the built-in bols.
TEST(ProgramData, BesideTheProgramThenInstalledAndTheUsersBolsFirst) {
    test::TempDir dir;
    const fs::path bin = dir / "bin", share = dir / "share" / "lorvanta", user = dir / "user";
    fs::create_directories(bin);
    WriteText(share / "help" / "index.html", "installed");
    EXPECT_EQ(FindProgramData(bin, "help/index.html"), share / "help" / "index.html");
    WriteText(bin / "help" / "index.html", "build tree");
    EXPECT_EQ(FindProgramData(bin, "help/index.html"), bin / "help" / "index.html");

    WriteText(share / "Tabla Bols.txt", "Ge = Silence + Open Ge\nTun = Tu + Silence\n");
    WriteText(user / "Tabla Bols.txt", "ge = Na + Silence\n");
    BolDictionary dictionary;
    ASSERT_EQ(dictionary.Load(BolTableFiles(bin, user)), 0u);
    EXPECT_EQ(dictionary.GetSlot(Tabla).entries.size(), 34u + 3u);
    EXPECT_EQ(dictionary.FindBol(Tabla, "Ge")->pitchSoundName, "Na");
    EXPECT_EQ(dictionary.FindBol(Tabla, "Tun")->pitchSoundName, "Tu");
}

TEST(ProgramData, UserDataFolder) {
    EXPECT_EQ(UserDataFolder("/data", "/home/u"), fs::path("/data/lorvanta"));
    // A relative or empty XDG_DATA_HOME is ignored.
    EXPECT_EQ(UserDataFolder("data", "/home/u"), fs::path("/home/u/.local/share/lorvanta"));
    EXPECT_EQ(UserDataFolder(nullptr, "/home/u"), fs::path("/home/u/.local/share/lorvanta"));
    EXPECT_EQ(UserDataFolder(nullptr, ""), fs::path());
}

} // namespace
} // namespace lorvanta
