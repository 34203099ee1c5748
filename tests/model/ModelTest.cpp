// The model headless: the bol dictionary's file rules and sound names; where
// the data is found.
#include "model/Bol.h"
#include "model/BolDictionary.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
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
    for (const auto& [name, state] : {std::pair{"limit.txt", BolFileState::Readable},
                                      {"big.txt", BolFileState::TooLarge},
                                      {"fifo", BolFileState::NotRegular}}) {
        EXPECT_EQ(InspectBolFile(dir / name), state) << name;
        BolFileEntries entries;
        ReadBolFile(dir / name, entries);
        EXPECT_EQ(entries.tabla.size(), state == BolFileState::Readable ? 1u : 0u) << name;
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
    ASSERT_EQ(dictionary.Load(dir / "bols.txt"), BolTableStatus::Ok);
    EXPECT_EQ(BolTableFailureText(BolTableStatus::OutOfMemory), "Error loading bol table: 11, 0");
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
    EXPECT_EQ(Describe(dictionary.FindBol(Tabla, "tin")), "Tin|Sur|Thap1|13|9");
    EXPECT_EQ(Describe(&entries.back()), "Ra|Ghasee Ra|Silence|23|0");
    EXPECT_FALSE(dictionary.GetSlot(Pakhawaj).loaded); // no pakhawaj bol named
}

// Lines under "Pakhawaj:" fill the Pakhawaj slot, ahead of the built-in bols,
// and take no Tabla entry.
TEST(BolDictionary, PakhawajLinesFillThePakhawajSlot) {
    test::TempDir dir;
    std::ofstream(dir / "bols.txt", std::ios::binary) << "Dha = Na + Open Ge\n"
                                                         "pakhawaj:  Ka = Silence + Thap2\n"
                                                         "Pakhawaj:Dha = Din + Open Ge\n";
    BolDictionary dictionary;
    ASSERT_EQ(dictionary.Load(dir / "bols.txt"), BolTableStatus::Ok);
    const auto& tabla = dictionary.GetSlot(Tabla);
    const auto& pakhawaj = dictionary.GetSlot(Pakhawaj);
    ASSERT_TRUE(pakhawaj.loaded);
    EXPECT_EQ(tabla.entries.size(), 34u + 1u);
    ASSERT_EQ(pakhawaj.entries.size(), 34u + 2u);
    EXPECT_EQ(Describe(dictionary.FindBol(Pakhawaj, "ka")), "Ka|Silence|Thap2|0|10");
    EXPECT_EQ(Describe(dictionary.FindBol(Pakhawaj, "Dha")), "Dha|Din|Open Ge|26|3");
    EXPECT_EQ(Describe(dictionary.FindBol(Tabla, "Dha")), "Dha|Na|Open Ge|12|3");
    EXPECT_EQ(Describe(dictionary.FindBol(Pakhawaj, "Silence")), "Silence|Silence|Silence|0|0");
    EXPECT_EQ(dictionary.FindBol(Tabla, "Ka"), nullptr); // only the pakhawaj's
}

// Lines that are not UTF-8 text are skipped and named, per file, in one
// warning; a file of good lines adds nothing to it.
TEST(BolDictionary, LinesNotUtf8AreNamedInOneWarning) {
    test::TempDir dir;
    std::ofstream(dir / "a.txt", std::ios::binary) << "Dha = Na + Open Ge\n"
                                                      "T\xe9 = Na + Silence\n"
                                                      "Ok = Na + Silence\n"
                                                      "Ki\xc0\xaf = Na + Silence\n"
                                                      "Kxt = Na + \xed\xa0\x80\n";
    std::ofstream(dir / "b.txt", std::ios::binary) << "Ge\xff\n";
    std::ofstream(dir / "c\nd.txt", std::ios::binary) << "Dh\xc3\xa4 = Na + Silence\n";
    BolDictionary dictionary;
    ASSERT_EQ(dictionary.Load({dir / "a.txt", dir / "b.txt", dir / "c\nd.txt"}),
              BolTableStatus::Ok);
    EXPECT_NE(dictionary.FindBol(Tabla, "Ok"), nullptr);
    EXPECT_NE(dictionary.FindBol(Tabla, "Dh\xc3\xa4"), nullptr);
    EXPECT_EQ(dictionary.FindBol(Tabla, "Kxt"), nullptr);
    EXPECT_EQ(SkippedLinesText(dictionary.SkippedLines()),
              "Lines of the bol table not used, as they are not UTF-8 text:\n" +
                  (dir / "a.txt").string() + ": lines 2, 4 and 5\n" + (dir / "b.txt").string() +
                  ": line 1");
    ASSERT_EQ(dictionary.Load(dir / "c\nd.txt"), BolTableStatus::Ok);
    EXPECT_EQ(SkippedLinesText(dictionary.SkippedLines()), std::nullopt);
}

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Data beside the program, then installed in share/lorvanta; the user's bol
// file before the program's and the built-in bols; the user's data folder.
TEST(ProgramData, UserDataFolder) {
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
    ASSERT_EQ(dictionary.Load(BolTableFiles(bin, user)), BolTableStatus::Ok);
    EXPECT_EQ(dictionary.FindBol(Tabla, "Ge")->pitchSoundName, "Na");
    EXPECT_EQ(dictionary.FindBol(Tabla, "Tun")->pitchSoundName, "Tu");

    EXPECT_EQ(UserDataFolder("/data", "/home/u"), fs::path("/data/lorvanta"));
    // A relative or empty XDG_DATA_HOME is ignored.
    EXPECT_EQ(UserDataFolder("data", "/home/u"), fs::path("/home/u/.local/share/lorvanta"));
    EXPECT_EQ(UserDataFolder(nullptr, "/home/u"), fs::path("/home/u/.local/share/lorvanta"));
    EXPECT_EQ(UserDataFolder(nullptr, ""), fs::path());
}

} // namespace
} // namespace lorvanta
