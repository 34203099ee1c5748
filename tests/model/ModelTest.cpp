// The model headless: the Taal editor's selection, commands, undo and enabling;
// the bol dictionary's file rules and sound names; where the data is found.
#include "model/Bol.h"
#include "model/BolDictionary.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "model/ProgramData.h"
#include "session/TaalEditor.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <tuple>

namespace lorvanta {
namespace {

namespace fs = std::filesystem;

// Keeps a count of grid cells as the editor reports them, and what the tempo
// bar was told last.
struct CountingHost : EditorHost {
    explicit CountingHost(const CLorvantaDoc& doc) : doc(doc), cells(doc.Taal().Count()) {}
    void InsertBolView(int) override { ++cells; }
    void RemoveBolView(int) override { --cells; }
    void DeleteBolViews() override { cells = 0; }
    void CreateBolViews() override { cells = doc.Taal().Count(); }
    void SetDefaultTempo(float bpm) override { tempoBar = bpm; }

    const CLorvantaDoc& doc;
    int cells;
    float tempoBar = 0.0f;
};

constexpr KeyModifiers kCtrl{false, true}, kShift{true, false}, kCtrlShift{true, true};

// A document of n bols "B0", "B1", ... of 1 beat each.
void Fill(CLorvantaDoc& doc, int n) {
    for (int i = 0; i < n; ++i) {
        doc.InsertBol(i - 1);
        doc.Taal().BolAt(i)->name = "B" + std::to_string(i);
    }
    doc.SetModified(false);
}

struct Fixture {
    explicit Fixture(int n) : host((Fill(doc, n), doc)), editor(doc, sink, host, nullptr, &clip) {}

    // One gesture or command a word: c, k, s, x, m + index: click, Ctrl+click,
    // Shift+click, Ctrl+Shift+click, right click; h e l r: Home, End, Left,
    // Right (capital: with Shift); a: Select All; and the commands by name;
    // "save" marks the file written, "name" renames, "repaired" opens a Taal
    // repaired while reading.
    void Do(const std::string& script) {
        std::istringstream in(script);
        for (std::string w; in >> w;) {
            const bool gesture = w.size() == 1 || !std::isalpha(static_cast<unsigned char>(w[1]));
            const int i = gesture && w.size() > 1 ? std::stoi(w.substr(1)) : 0;
            const bool shift = std::isupper(static_cast<unsigned char>(w[0]));
            const std::map<std::string, std::function<void()>> actions = {
                {"ins", [&] { editor.Insert(); }},
                {"app", [&] { editor.Append(); }},
                {"del", [&] { editor.Delete(); }},
                {"copy", [&] { editor.Copy(); }},
                {"paste", [&] { editor.Paste(); }},
                {"undo", [&] { editor.Undo(); }},
                {"redo", [&] { editor.Redo(); }},
                {"save", [&] { doc.SetModified(false); }},
                {"name", [&] { editor.CommitName("Other"); }},
                {"repaired", [&] { doc.SetModifiedUntilSaved(); }},
                {"c", [&] { editor.Click(i, {}); }},
                {"k", [&] { editor.Click(i, kCtrl); }},
                {"s", [&] { editor.Click(i, kShift); }},
                {"x", [&] { editor.Click(i, kCtrlShift); }},
                {"m", [&] { editor.ContextClick(i); }},
                {"h", [&] { editor.KeyHome(shift); }},
                {"e", [&] { editor.KeyEnd(shift); }},
                {"l", [&] { editor.KeyLeft(shift); }},
                {"r", [&] { editor.KeyRight(shift); }},
                {"a", [&] { editor.SelectAll(); }},
            };
            const char first = static_cast<char>(std::tolower(static_cast<unsigned char>(w[0])));
            actions.at(gesture ? std::string(1, first) : w)();
        }
    }
    std::string Selected() const {
        const auto v = editor.SelectedIndices();
        std::string text;
        for (const int i : std::set<int>(v.begin(), v.end()))
            text += (text.empty() ? "" : " ") + std::to_string(i);
        return text;
    }
    std::string Names() const {
        std::string names;
        for (const auto& bol : doc.Taal().Bols())
            names += (names.empty() ? "" : " ") + bol->name;
        return names;
    }
    std::vector<std::uint32_t> Recorded() const {
        std::vector<std::uint32_t> indices;
        for (const auto& bol : editor.Lists().UndoList().front()->bols)
            indices.push_back(bol->index);
        return indices;
    }

    CLorvantaDoc doc;
    RecordingMessageSink sink;
    CountingHost host;
    MemoryClipboard clip;
    CTaalEditor editor;
};

// --- Selection -------------------------------------------------------------------

TEST(EditorSelection, ClicksAndKeysAsTheGridHandsThem) {
    struct Case {
        int count;
        const char* gestures;
        const char* selected;
        int caret, anchor;
    };
    const std::vector<Case> cases = {
        {8, "c2 k4 k2", "4", 2, 2},
        {8, "c2 s5", "5", 5, 5}, // Shift alone is a plain click
        {8, "c2 x5", "2 3 4 5", 5, 5},
        {8, "c3 x-1", "0 1 2 3", -1, -1},
        {8, "c4 R", "4 5", 5, 4},
        {8, "c5 H", "0 1 2 3 4 5", 0, 5},
        {8, "c5 H E", "0 1 2 3 4 5 6 7", 7, 5},
        {8, "r", "", -1, -1},
        {0, "h", "", 0, 0},
        {8, "a m3", "3", 3, 7},
        {8, "c3 m-1", "", -1, 3},
        {8, "c7 del L", "5 6", 5, 7}, // the keys bring a stale caret back inside
    };
    for (const Case& c : cases) {
        Fixture f(c.count);
        f.Do(c.gestures);
        EXPECT_EQ(f.Selected(), c.selected) << c.gestures;
        EXPECT_EQ(f.editor.Caret(), c.caret) << c.gestures;
        EXPECT_EQ(f.editor.Anchor(), c.anchor) << c.gestures;
    }
}

// --- Commands ----------------------------------------------------------------------

TEST(EditorCommands, InsertDeletePaste) {
    struct Case {
        int count;
        const char* script;
        const char* names;
        const char* selected; // "?": not checked
        std::vector<std::uint32_t> recorded;
    };
    const Case cases[] = {
        {5, "ins", "B0 B1 B2 B3 B4 Silence", "5", {5}},
        {5, "ins c3 ins", "B0 B1 B2 Silence B3 B4 Silence", "3", {3}},
        {5, "ins c3 ins undo", "B0 B1 B2 B3 B4 Silence", "?", {5}},
        {5, "ins c3 ins undo redo k4 app", "B0 B1 B2 Silence B3 B4 Silence Silence", "?", {7}},
        {8, "k1 k4 k5 del", "B0 B2 B3 B6 B7", "", {1, 4, 5}},
        {8, "k1 k4 k5 del undo redo c4 del", "B0 B2 B3 B6", "3", {4}}, // the new last bol
        {6, "k0 k1 k2 copy c2 paste", "B0 B1 B0 B1 B2 B2 B3 B4 B5", "4", {2, 3, 4}},
        {6,
         "a copy c-1 paste",
         "B0 B1 B2 B3 B4 B5 B0 B1 B2 B3 B4 B5",
         "?",
         {6, 7, 8, 9, 10, 11}}, // nothing selected: at the end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        Fixture f(c.count);
        f.Do(c.script);
        EXPECT_EQ(f.Names(), c.names);
        EXPECT_EQ(f.host.cells, f.doc.Taal().Count());
        EXPECT_TRUE(*c.selected == '?' || f.Selected() == c.selected) << f.Selected();
        EXPECT_EQ(f.Recorded(), c.recorded);
    }
}

TEST(EditorCommands, TaalPropertiesRecordOnlyChangesAndKeepTheRedoList) {
    Fixture f(5);
    f.editor.SetTaalProperties(kNewTaalName, DefaultTempo());
    f.editor.CommitName(kNewTaalName);
    EXPECT_FALSE(f.editor.CanUndo() || f.doc.IsModified());
    f.Do("c2 del undo");
    f.editor.SetTaalProperties("Ektaal", 80.0f);
    f.Do("undo");
    EXPECT_EQ(f.host.tempoBar, DefaultTempo());
    f.Do("redo redo"); // the properties, then the delete
    EXPECT_EQ(f.doc.DefaultTempo(), 80.0f);
    EXPECT_EQ(f.doc.Taal().Count(), 4);
    f.editor.SetTaalProperties("X", 9.99f);
    EXPECT_EQ(f.sink.Messages().back().text,
              "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in bpm)");
    f.editor.SetTaalProperties("X", 1000.0f); // the highest tempo is taken
    EXPECT_EQ(f.doc.DefaultTempo(), 1000.0f);
}

// Modified exactly when the undo position differs from the one at the last
// save, whatever mix of edits, undos and redos led there (a rename keeps the
// redo list).
TEST(EditorUndo, ModifiedExactlyWhenTheHistoryIsNotWhereItWasSaved) {
    const std::pair<const char*, bool> cases[] = {
        {"c1 del undo", false},
        {"c1 del save undo", true},
        {"c1 del undo name undo", false},
        {"c1 del undo name redo undo undo", false},
        {"c1 del undo name redo undo", true},
        {"repaired c1 del undo", true},
        {"repaired save c1 del undo", false},
    };
    for (const auto& [script, modified] : cases) {
        Fixture f(4);
        f.editor.Reset();
        f.Do(script);
        EXPECT_EQ(f.doc.IsModified(), modified) << script;
    }
}

// Insert, delete (cut, copy, expand), paste, select all (clear all), 2x.
TEST(EditorEnabling, EveryCommandInEveryState) {
    const std::tuple<int, const char*, bool, std::array<bool, 5>> states[] = {
        {0, "", true, {true, false, true, false, false}},
        {3, "c0 k2", false, {false, true, false, true, true}},
    };
    for (const auto& [count, gestures, clipboard, enabled] : states) {
        Fixture f(count);
        f.Do(gestures);
        if (clipboard)
            f.clip.Put({});
        const std::array<bool, 5> got = {f.editor.CanInsert(), f.editor.CanDelete(),
                                         f.editor.CanPaste(), f.editor.CanSelectAll(),
                                         f.editor.CanExpandDouble()};
        EXPECT_EQ(got, enabled) << gestures;
    }
}

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
        std::vector<BolTableEntry> entries;
        ReadBolFile(dir / name, entries);
        EXPECT_EQ(entries.size(), state == BolFileState::Readable ? 1u : 0u) << name;
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
    EXPECT_EQ(Describe(dictionary.FindBol(Tabla, "tin")), "Tin|Sur|Thap1|13|9");
    EXPECT_EQ(Describe(&entries.back()), "Ra|Ghasee Ra|Silence|23|0");
    EXPECT_FALSE(dictionary.GetSlot(Pakhawaj).loaded); // never filled
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
    ASSERT_EQ(dictionary.Load(BolTableFiles(bin, user)), 0u);
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
