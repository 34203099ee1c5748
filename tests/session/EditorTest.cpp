// The Taal editor headless: its selection, commands, undo and enabling, and
// what it announces (an observer's cells stay in step).
#include "model/Bol.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "model/Vibhags.h"
#include "session/TaalEditor.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

namespace lorvanta {
namespace {

template <typename Range> std::string Join(const Range& words) {
    std::string text;
    for (const auto& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

// Keeps a view's cells (their names) in step from what the editor announces,
// and the default tempo it was last told of.
struct CountingObserver : EditorObserver {
    explicit CountingObserver(const CLorvantaDoc& document) : doc(document) { OnTaalReplaced({}); }
    void OnBolsInserted(int first, int count) override {
        for (int k = 0; k < count; ++k)
            cells.insert(cells.begin() + first + k, doc.Taal().BolAt(first + k)->name);
    }
    void OnBolsRemoved(int first, int count) override {
        cells.erase(cells.begin() + first, cells.begin() + first + count);
    }
    void OnTaalReplaced(TaalReplacement) override {
        cells.clear();
        for (const auto& bol : doc.Taal().Bols())
            cells.push_back(bol->name);
    }
    void OnTaalPropertiesChanged() override { tempoBar = doc.DefaultTempo(); }

    const CLorvantaDoc& doc;
    std::vector<std::string> cells;
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
    explicit Fixture(int n) : view((Fill(doc, n), doc)), editor(doc, sink, &clip) {
        subscription = editor.Subscribe(view);
    }

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
        std::vector<std::string> words;
        for (const int i : std::set<int>(v.begin(), v.end()))
            words.push_back(std::to_string(i));
        return Join(words);
    }
    std::vector<std::uint32_t> Recorded() const {
        std::vector<std::uint32_t> indices;
        for (const auto& bol : editor.Lists().UndoList().front()->bols)
            indices.push_back(bol->index);
        return indices;
    }

    CLorvantaDoc doc;
    RecordingMessageSink sink;
    CountingObserver view;
    MemoryClipboard clip;
    CTaalEditor editor;
    Subscription subscription;
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
        std::vector<std::string> names;
        for (const auto& bol : f.doc.Taal().Bols())
            names.push_back(bol->name);
        EXPECT_EQ(Join(names), c.names);
        EXPECT_EQ(Join(f.view.cells), c.names);
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
    EXPECT_EQ(f.view.tempoBar, DefaultTempo());
    f.Do("redo redo"); // the properties, then the delete
    EXPECT_EQ(f.doc.DefaultTempo(), 80.0f);
    EXPECT_EQ(f.doc.Taal().Count(), 4);
    f.editor.SetTaalProperties("X", 9.99f);
    EXPECT_EQ(f.sink.Messages().back().text,
              "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in bpm)");
    f.editor.SetTaalProperties("X", 1000.0f); // the highest tempo is taken
    EXPECT_EQ(f.doc.DefaultTempo(), 1000.0f);
}

// Vibhags are set with the properties as one step, refused when they do not
// read or fit, and kept through edits that change the length (shown again
// once it fits).
TEST(EditorVibhags, SetRefusedUndoneAndKeptThroughLengthEdits) {
    Fixture f(4);
    const auto set = [&](const char* text) {
        return [&f, text] { f.editor.SetTaalProperties(kNewTaalName, DefaultTempo(), text); };
    };
    const auto run = [&](const char* script) { return [&f, script] { f.Do(script); }; };
    struct Step {
        std::function<void()> step;
        std::string shown; // display, then the vibhags shown
        std::string message = "";
        std::size_t undo = 0;
    };
    const std::string notFit = "The vibhags add up to 5 beats, but the Taal is 4 beats long.";
    const Step steps[] = {
        {set("x:2 0:2"), "1 X:2 0:2", "", 1},
        {set("X:2 0:2"), "1 X:2 0:2", "", 1}, // the same: nothing recorded
        {set("X:3 0:2"), "1 X:2 0:2", notFit, 1},
        {set("X:2 Q:2"), "1 X:2 0:2", StatusText(VibhagStatus::BadText), 1},
        {run("c1 ins"), "2 ", "", 2},
        {run("c2 del"), "1 X:2 0:2", "", 3},
        {run("undo"), "2 ", "", 2},
        {run("undo undo"), "0 ", "", 0},
        {run("redo"), "1 X:2 0:2", "", 1},
        {set(""), "0 ", "", 2},
        {run("undo"), "1 X:2 0:2", "", 1},
    };
    int announced = 0;
    for (const Step& step : steps) {
        const float tempoBar = f.view.tempoBar = -1.0f;
        f.sink.Clear();
        step.step();
        const ShownVibhags shown = VibhagsToShow(f.doc.Params(), f.doc.Taal().Total());
        EXPECT_EQ(std::to_string(static_cast<int>(shown.display)) + " " +
                      FormatVibhags(shown.vibhags),
                  step.shown);
        EXPECT_EQ(f.sink.Messages().empty() ? "" : f.sink.Messages().back().text, step.message);
        EXPECT_EQ(f.editor.Lists().UndoList().size(), step.undo);
        announced += f.view.tempoBar != tempoBar;
    }
    EXPECT_EQ(announced, 5); // each change, undo and redo of the properties
}

// A block of another writer (no tag) and a tagged record that does not read
// stay byte for byte unless vibhags are set; Undo brings them back exactly.
TEST(EditorVibhags, BlocksNotOursAreKeptUnlessVibhagsAreSet) {
    for (const bool tagged : {false, true}) {
        Fixture f(4);
        auto& block = f.doc.Params().reserved;
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<std::uint8_t>(i * 7 + 1);
        if (tagged)
            std::copy(kVibhagRecordTag.begin(), kVibhagRecordTag.end(), block.begin());
        const auto foreign = block;
        f.editor.SetTaalProperties("Renamed", 80.0f);
        f.editor.SetTaalProperties("Renamed", 80.0f, tagged ? "X:4" : "");
        EXPECT_EQ(block == foreign, !tagged);
        f.Do("undo");
        EXPECT_TRUE(block == foreign);
        f.Do("undo");
        EXPECT_TRUE(block == foreign && f.doc.Taal().Name() == kNewTaalName);
    }
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

// A step of a kind the editor does not know is said with its number and kept.
TEST(EditorUndo, AnUnknownStepIsRefusedWithItsNumber) {
    Fixture f(2);
    f.editor.Reset();
    f.editor.Lists().UndoList().push_front(std::make_unique<CAction>(7));
    f.Do("undo redo");
    ASSERT_EQ(f.sink.Messages().size(), 2u);
    EXPECT_EQ(f.sink.Messages()[0].text + f.sink.Messages()[1].text,
              "Error 0x18: Undo for this action (0x7) is not supported"
              "Error 0x19: Undo for this action (0x7) is not supported");
    EXPECT_EQ(f.editor.Lists().UndoList().size(), 1u);
    EXPECT_EQ(f.doc.Taal().Count(), 2);
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

} // namespace
} // namespace lorvanta
