// Where the program's data and the bol dictionary files are found: beside the
// program, then in share/lorvanta of its installation; the user's own bol
// file before the program's.
#include "model/ProgramData.h"
#include "model/BolDictionary.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace lorvanta {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// An installation: prefix/bin holds the program, prefix/share/lorvanta its data.
struct Installation {
    test::TempDir dir;
    fs::path bin = dir / "bin";
    fs::path share = dir / "share" / "lorvanta";
    Installation() { fs::create_directories(bin); }
};

TEST(ProgramData, BesideTheProgramThenInstalledData) {
    Installation prefix;
    EXPECT_EQ(FindProgramData(prefix.bin, "help/index.html"), fs::path());

    WriteText(prefix.share / "help" / "index.html", "installed");
    EXPECT_EQ(FindProgramData(prefix.bin, "help/index.html"), prefix.share / "help" / "index.html");

    WriteText(prefix.bin / "help" / "index.html", "build tree");
    EXPECT_EQ(FindProgramData(prefix.bin, "help/index.html"), prefix.bin / "help" / "index.html");

    EXPECT_EQ(FindProgramData(fs::path(), "help/index.html"), fs::path());
}

TEST(ProgramData, UserDataFolder) {
    EXPECT_EQ(UserDataFolder("/data", "/home/u"), fs::path("/data/lorvanta"));
    // A relative or empty XDG_DATA_HOME is ignored.
    EXPECT_EQ(UserDataFolder("data", "/home/u"), fs::path("/home/u/.local/share/lorvanta"));
    EXPECT_EQ(UserDataFolder(nullptr, "/home/u"), fs::path("/home/u/.local/share/lorvanta"));
    EXPECT_EQ(UserDataFolder(nullptr, ""), fs::path());
}

TEST(ProgramData, UserBolsComeBeforeTheProgramsAndTheBuiltInOnes) {
    Installation prefix;
    const fs::path user = prefix.dir / "user";
    WriteText(prefix.share / "Tabla Bols.txt", "Ge = Silence + Open Ge\nTun = Tu + Silence\n");
    WriteText(user / "Tabla Bols.txt", "ge = Na + Silence\n");

    BolDictionary dictionary;
    ASSERT_EQ(dictionary.Load(BolTableFiles(prefix.bin, user)), 0u);
    const auto& entries = dictionary.GetSlot(Tabla).entries;
    ASSERT_EQ(entries.size(), 34u + 3u);
    EXPECT_EQ(dictionary.FindBol(Tabla, "Ge")->pitchSoundName, "Na");
    EXPECT_EQ(dictionary.FindBol(Tabla, "Tun")->pitchSoundName, "Tu");
    EXPECT_EQ(entries[1].bassSoundName, "Open Ge");
    EXPECT_EQ(entries.back().name, "Ra");
}

} // namespace
} // namespace lorvanta
