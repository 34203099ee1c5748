// The Taal editor headless: the selection under clicks and keys, each editing
// command with its undo and redo, the enabling rules, and random command
// sequences whose undo and redo must give back the exact file bytes.
#include "model/TaalEditor.h"

#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "persistence/BolClipboard.h"
#include "persistence/TaalFile.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace lorvanta {
namespace {

// Keeps a count of grid cells as the editor reports them, and what the
// properties pane was told last.
class CountingHost : public EditorHost {
public:
    explicit CountingHost(const CLorvantaDoc& doc) : m_doc(doc), cells(doc.Taal().Count()) {}
    void InsertBolView(int) override { ++cells; }
    void RemoveBolView(int) override { --cells; }
    void DeleteBolViews() override { cells = 0; }
    void CreateBolViews() override { cells = m_doc.Taal().Count(); }
    void RecalcLayout(int after) override { layouts.push_back(after); }
    void ShowBol(int index) override { shown = index; }
    void EnableFields(bool name, bool, bool) override { fieldsEnabled = name; }
    void SetDefaultTempo(float bpm) override { tempoBar = bpm; }

    const CLorvantaDoc& m_doc;
    int cells;
    std::vector<int> layouts;
    int shown = -1;
    bool fieldsEnabled = true;
    float tempoBar = 0.0f;
};

// A document of n bols "B0", "B1", ... of 1 beat each.
void Fill(CLorvantaDoc& doc, int n) {
    for (int i = 0; i < n; ++i) {
        doc.InsertBol(i - 1);
        doc.Taal().BolAt(i)->name = "B" + std::to_string(i);
    }
    doc.SetModified(false);
}

std::vector<std::string> Names(const CLorvantaDoc& doc) {
    std::vector<std::string> names;
    for (const auto& bol : doc.Taal().Bols())
        names.push_back(bol->name);
    return names;
}

std::vector<std::uint32_t> Indices(const CAction& action) {
    std::vector<std::uint32_t> indices;
    for (const auto& bol : action.bols)
        indices.push_back(bol->index);
    return indices;
}

struct Fixture {
    explicit Fixture(int n) : host((Fill(doc, n), doc)), editor(doc, sink, host, nullptr, &clip) {}
    std::set<int> Selected() const {
        const auto v = editor.SelectedIndices();
        return {v.begin(), v.end()};
    }
    CLorvantaDoc doc;
    RecordingMessageSink sink;
    CountingHost host;
    MemoryClipboard clip;
    CTaalEditor editor;
};

// --- Selection -------------------------------------------------------------------

enum class Op {
    Click,
    CtrlClick,
    ShiftClick,
    CtrlShiftClick,
    Home,
    ShiftHome,
    End,
    ShiftEnd,
    Left,
    ShiftLeft,
    Right,
    ShiftRight,
    SelectAll,
    Context
};

struct SelectionCase {
    const char* name;
    int count;
    std::vector<std::pair<Op, int>> ops;
    std::set<int> selected;
    int caret;
    int anchor;
};

void Perform(CTaalEditor& e, Op op, int i) {
    switch (op) {
    case Op::Click:
        return e.Click(i, {});
    case Op::CtrlClick:
        return e.Click(i, {false, true});
    case Op::ShiftClick:
        return e.Click(i, {true, false});
    case Op::CtrlShiftClick:
        return e.Click(i, {true, true});
    case Op::Home:
        return e.KeyHome(false);
    case Op::ShiftHome:
        return e.KeyHome(true);
    case Op::End:
        return e.KeyEnd(false);
    case Op::ShiftEnd:
        return e.KeyEnd(true);
    case Op::Left:
        return e.KeyLeft(false);
    case Op::ShiftLeft:
        return e.KeyLeft(true);
    case Op::Right:
        return e.KeyRight(false);
    case Op::ShiftRight:
        return e.KeyRight(true);
    case Op::SelectAll:
        return e.SelectAll();
    case Op::Context:
        return e.ContextClick(i);
    }
}

TEST(EditorSelection, ClicksAndKeysAsTheGridHandsThem) {
    const std::vector<SelectionCase> cases = {
        {"ctrl-click toggles",
         8,
         {{Op::Click, 2}, {Op::CtrlClick, 4}, {Op::CtrlClick, 2}},
         {4},
         2,
         2},
        {"shift-click is a plain click", 8, {{Op::Click, 2}, {Op::ShiftClick, 5}}, {5}, 5, 5},
        {"ctrl-shift from caret 2 to 5",
         8,
         {{Op::Click, 2}, {Op::CtrlShiftClick, 5}},
         {2, 3, 4, 5},
         5,
         5},
        {"ctrl-shift back to 0",
         8,
         {{Op::Click, 2}, {Op::CtrlShiftClick, 5}, {Op::CtrlShiftClick, 0}},
         {0, 1, 5},
         0,
         0},
        {"ctrl-shift on empty space",
         8,
         {{Op::Click, 3}, {Op::CtrlShiftClick, -1}},
         {0, 1, 2, 3},
         -1,
         -1},
        {"shift-right grows", 8, {{Op::Click, 4}, {Op::ShiftRight, 0}}, {4, 5}, 5, 4},
        {"shift-left shrinks back",
         8,
         {{Op::Click, 4}, {Op::ShiftRight, 0}, {Op::ShiftLeft, 0}},
         {4},
         4,
         4},
        {"shift-home", 8, {{Op::Click, 5}, {Op::ShiftHome, 0}}, {0, 1, 2, 3, 4, 5}, 0, 5},
        {"shift-home then shift-end",
         8,
         {{Op::Click, 5}, {Op::ShiftHome, 0}, {Op::ShiftEnd, 0}},
         {0, 1, 2, 3, 4, 5, 6, 7},
         7,
         5},
        {"right with nothing selected", 8, {{Op::Right, 0}}, {}, -1, -1},
        {"right after select all", 8, {{Op::SelectAll, 0}, {Op::Right, 0}}, {7}, 7, 7},
        {"left stops at 0", 8, {{Op::Click, 0}, {Op::Left, 0}}, {0}, 0, 0},
        {"home and end", 8, {{Op::End, 0}, {Op::Home, 0}}, {0}, 0, 0},
        {"end on an empty Taal", 0, {{Op::End, 0}}, {}, -1, -1},
        {"home on an empty Taal", 0, {{Op::Home, 0}}, {}, 0, 0},
        {"context click selects one", 8, {{Op::SelectAll, 0}, {Op::Context, 3}}, {3}, 3, 7},
        {"context click on space clears", 8, {{Op::Click, 3}, {Op::Context, -1}}, {}, -1, 3},
    };
    for (const SelectionCase& c : cases) {
        Fixture f(c.count);
        for (const auto& [op, i] : c.ops)
            Perform(f.editor, op, i);
        EXPECT_EQ(f.Selected(), c.selected) << c.name;
        EXPECT_EQ(f.editor.SelectedCount(), static_cast<int>(c.selected.size())) << c.name;
        EXPECT_EQ(f.editor.Caret(), c.caret) << c.name;
        EXPECT_EQ(f.editor.Anchor(), c.anchor) << c.name;
    }
}

TEST(EditorSelection, PaneKeepsItsBolWhenTheLastOneIsDeselectedAndIsDisabledOutside) {
    Fixture f(6);
    f.editor.Click(3, {});
    f.editor.Click(3, {false, true});
    EXPECT_EQ(f.editor.SelectedCount(), 0);
    EXPECT_EQ(f.host.shown, 3);
    EXPECT_TRUE(f.host.fieldsEnabled);
    EXPECT_EQ(f.editor.GetFirstSelected(), -1);
    EXPECT_EQ(f.editor.GetFirstSelectedBol(), nullptr);
    f.editor.Click(9, {});
    EXPECT_FALSE(f.host.fieldsEnabled);
    f.editor.Click(1, {});
    f.editor.Click(4, {false, true});
    EXPECT_EQ(f.editor.GetFirstSelected(), 1);
    EXPECT_EQ(f.editor.GetLastSelected(), 4);
}

// --- Commands ----------------------------------------------------------------------

TEST(EditorInsert, InFrontOfOneSelectedBolOrAtTheEnd) {
    Fixture f(5);
    f.editor.Insert();
    EXPECT_EQ(f.doc.Taal().Count(), 6);
    EXPECT_EQ(f.Selected(), std::set<int>{5});
    f.editor.Click(3, {});
    f.editor.Insert();
    EXPECT_EQ(f.doc.Taal().BolAt(4)->name, "B3");
    EXPECT_EQ(f.Selected(), std::set<int>{3});
    EXPECT_EQ(Indices(*f.editor.Lists().UndoList().front()), std::vector<std::uint32_t>{3});
    f.editor.Undo();
    EXPECT_EQ(Names(f.doc), (std::vector<std::string>{"B0", "B1", "B2", "B3", "B4", "Silence"}));
    f.editor.Redo();
    EXPECT_EQ(f.doc.Taal().BolAt(3)->name, "Silence");
    EXPECT_EQ(f.host.cells, 7);

    f.editor.Click(4, {false, true});
    f.editor.Append(); // never changes the selection
    EXPECT_EQ(f.doc.Taal().Count(), 8);
    EXPECT_EQ(f.Selected(), std::set<int>{4}); // the redo left nothing selected
}

TEST(EditorDelete, SeveralBolsRecordTheirOldIndicesAndLeaveNothingSelected) {
    Fixture f(8);
    for (int i : {1, 4, 5})
        f.editor.Click(i, {false, true});
    f.editor.Delete();
    EXPECT_EQ(Names(f.doc), (std::vector<std::string>{"B0", "B2", "B3", "B6", "B7"}));
    EXPECT_EQ(Indices(*f.editor.Lists().UndoList().front()), (std::vector<std::uint32_t>{1, 4, 5}));
    EXPECT_EQ(f.editor.SelectedCount(), 0);
    EXPECT_EQ(f.host.layouts.back(), 0);
    f.editor.Undo();
    EXPECT_EQ(f.doc.Taal().Count(), 8);
    EXPECT_EQ(f.doc.Taal().BolAt(4)->name, "B4");
    f.editor.Redo();
    EXPECT_EQ(f.doc.Taal().Count(), 5);
    EXPECT_EQ(f.host.cells, 5);
}

TEST(EditorDelete, OneBolSelectsTheNextOrTheNewLast) {
    Fixture f(3);
    f.editor.Click(2, {});
    f.editor.Delete();
    EXPECT_EQ(f.Selected(), std::set<int>{1});
    f.editor.Delete();
    f.editor.Delete();
    EXPECT_TRUE(f.doc.IsEmpty());
    EXPECT_EQ(f.editor.SelectedCount(), 0);
    EXPECT_EQ(f.host.layouts.back(), -1);
    f.editor.Delete(); // nothing selected: nothing happens
    EXPECT_EQ(f.editor.Lists().UndoList().size(), 3u);
}

TEST(EditorClipboard, CopyPasteCutAndTheirMessages) {
    Fixture f(6);
    f.editor.Cut();
    ASSERT_EQ(f.sink.Messages().size(), 1u);
    EXPECT_EQ(f.sink.Messages()[0].text, "Please select a Bol before attempting this operation");
    EXPECT_EQ(f.sink.Messages()[0].kind, MessageKind::Question);
    EXPECT_EQ(f.doc.Taal().Count(), 6);
    EXPECT_FALSE(f.editor.CanPaste());

    for (int i : {0, 1, 2})
        f.editor.Click(i, {false, true});
    f.editor.Copy();
    f.editor.Click(2, {});
    f.editor.Paste(); // in front of bol 2, the last pasted one selected
    EXPECT_EQ(Names(f.doc),
              (std::vector<std::string>{"B0", "B1", "B0", "B1", "B2", "B2", "B3", "B4", "B5"}));
    EXPECT_EQ(f.Selected(), std::set<int>{4});
    EXPECT_EQ(Indices(*f.editor.Lists().UndoList().front()), (std::vector<std::uint32_t>{2, 3, 4}));
    f.editor.Undo();
    EXPECT_EQ(f.doc.Taal().Count(), 6);

    f.editor.Click(-1, {});
    f.editor.Paste(); // nothing selected: at the end
    EXPECT_EQ(f.doc.Taal().BolAt(8)->name, "B2");

    f.clip.Put({1, 0, 0, 0, 0xFF, 0xFF});
    f.sink.Clear();
    f.editor.Paste();
    EXPECT_EQ(f.doc.Taal().Count(), 9);
    ASSERT_EQ(f.sink.Messages().size(), 1u);
    EXPECT_EQ(f.sink.Messages()[0].kind, MessageKind::Error);

    RecordingMessageSink sink;
    CTaalEditor noClipboard(f.doc, sink, f.host);
    noClipboard.SelectAll();
    noClipboard.Copy();
    noClipboard.Paste();
    ASSERT_EQ(sink.Messages().size(), 2u);
    EXPECT_EQ(sink.Messages()[1].text, "Clipboard is busy");
    EXPECT_EQ(sink.Messages()[1].kind, MessageKind::Plain);
}

TEST(EditorExpand, DurationsTotalAndTheirUndo) {
    Fixture f(6);
    f.doc.Taal().BolAt(2)->duration = 2.0f;
    f.doc.Taal().Recalculate(-1);
    f.editor.Click(1, {});
    f.editor.Click(2, {false, true});
    f.editor.ExpandSelected(2.0f);
    EXPECT_EQ(f.doc.Taal().Total(), 10.0f);
    EXPECT_EQ(f.doc.Taal().BolAt(2)->duration, 4.0f);
    f.editor.Undo();
    EXPECT_EQ(f.doc.Taal().Total(), 7.0f);
    f.editor.Redo();
    EXPECT_EQ(f.doc.Taal().Total(), 10.0f);
    f.editor.Click(0, {});
    f.editor.ExpandSelected(0.5f);
    EXPECT_EQ(f.doc.Taal().Total(), 9.5f);
    EXPECT_TRUE(f.doc.IsModified());
}

TEST(EditorClearAll, RecordsEveryBolAndKeepsNameAndTempo) {
    Fixture f(20);
    f.doc.Params().defaultTempo = 144.0f;
    f.doc.Taal().SetName("Jhaptaal");
    f.doc.Params().reserved[7] = 9;
    const std::vector<std::uint8_t> before = WriteTaalDocument(f.doc);
    f.editor.SelectAll();
    f.editor.ClearAll();
    EXPECT_TRUE(f.doc.IsEmpty());
    EXPECT_EQ(f.editor.SelectedCount(), 0);
    EXPECT_EQ(f.host.cells, 0);
    EXPECT_EQ(f.doc.DefaultTempo(), 144.0f);
    const CAction& action = *f.editor.Lists().UndoList().front();
    EXPECT_EQ(action.kind, kActionRemovedBols);
    ASSERT_EQ(action.bols.size(), 20u);
    EXPECT_EQ(action.bols[19]->index, 19u);
    f.editor.Undo();
    EXPECT_EQ(WriteTaalDocument(f.doc), before);
    f.editor.Redo();
    EXPECT_EQ(f.doc.Taal().Count(), 0);
}

TEST(EditorTaalProperties, RecordOnlyChangesAndKeepTheRedoList) {
    Fixture f(5);
    f.editor.SetTaalProperties(f.doc.Taal().Name(), f.doc.DefaultTempo());
    f.editor.CommitName(f.doc.Taal().Name());
    EXPECT_FALSE(f.editor.CanUndo());
    EXPECT_FALSE(f.doc.IsModified());

    f.editor.Click(2, {});
    f.editor.Delete();
    f.editor.Undo();
    f.editor.SetTaalProperties("Ektaal", 80.0f);
    EXPECT_TRUE(f.editor.CanRedo());
    EXPECT_EQ(f.host.tempoBar, 80.0f);
    f.editor.Undo(); // the properties
    EXPECT_EQ(f.doc.Taal().Name(), kNewTaalName);
    EXPECT_EQ(f.host.tempoBar, DefaultTempo());
    f.editor.Redo();
    f.editor.Redo(); // the delete, still there
    EXPECT_EQ(f.doc.Taal().Count(), 4);
    EXPECT_EQ(f.doc.DefaultTempo(), 80.0f);

    f.editor.CommitName("Rupak");
    f.editor.Undo();
    EXPECT_EQ(f.doc.Taal().Name(), "Ektaal");
    EXPECT_EQ(f.doc.DefaultTempo(), 80.0f);

    f.editor.SetTaalProperties("X", 9.99f);
    EXPECT_EQ(f.sink.Messages().back().text,
              "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in bpm)");
}

TEST(EditorBolProperties, ApplyComparesRecordsAndRenders) {
    Fixture f(4);
    CBol2 edited = *f.doc.Taal().BolAt(1);
    f.editor.ApplyBolProperties(edited); // nothing selected
    EXPECT_FALSE(f.editor.CanUndo());
    f.editor.Click(1, {});
    edited.index = 77; // the index is no field the user edits
    f.editor.ApplyBolProperties(edited);
    EXPECT_FALSE(f.editor.CanUndo());
    edited.duration = 3.0f;
    edited.bass.emphasis = 4.0f;
    f.editor.ApplyBolProperties(edited);
    EXPECT_EQ(f.doc.Taal().Total(), 6.0f);
    EXPECT_EQ(f.doc.Taal().BolAt(1)->index, 1u);
    f.host.shown = -1;
    f.editor.Undo();
    EXPECT_EQ(f.doc.Taal().BolAt(1)->duration, 1.0f);
    EXPECT_EQ(f.host.shown, 1); // the pane gets the bol back as it is now
}

TEST(EditorWholeTaal, ReplaceUndoRedoAndAStaleRedoStep) {
    Fixture f(10);
    f.editor.Click(8, {});
    f.editor.Delete();
    f.editor.Undo();
    CTaal replacement("Other");
    for (int i = 0; i < 3; ++i)
        replacement.Append(std::make_unique<CBol2>("Na", i, 1.0f));
    f.editor.ReplaceTaal(replacement);
    EXPECT_EQ(f.doc.Taal().Count(), 3);
    EXPECT_EQ(f.host.cells, 3);
    ASSERT_TRUE(f.editor.CanRedo());

    f.editor.Redo(); // deletes at 8 in a Taal of 3: skipped whole, dropped
    EXPECT_EQ(f.doc.Taal().Count(), 3);
    EXPECT_FALSE(f.editor.CanRedo());
    ASSERT_EQ(f.sink.Messages().size(), 1u);
    EXPECT_EQ(f.sink.Messages()[0].kind, MessageKind::Warning);
    EXPECT_NE(f.sink.Messages()[0].text.find("could not be redone"), std::string::npos);

    f.editor.Undo();
    EXPECT_EQ(f.doc.Taal().Count(), 10);
    EXPECT_EQ(f.doc.Taal().Name(), kNewTaalName);
    EXPECT_EQ(f.host.cells, 10);
    f.editor.Redo();
    EXPECT_EQ(f.doc.Taal().Name(), "Other");
}

TEST(EditorUndo, UnsupportedKindStillMovesWithItsMessage) {
    Fixture f(2);
    f.editor.Lists().UndoList().push_front(std::make_unique<CAction>(12345));
    f.editor.Undo();
    f.editor.Redo();
    ASSERT_EQ(f.sink.Messages().size(), 2u);
    EXPECT_EQ(f.sink.Messages()[0].text,
              "Error 0x18: Undo for this action (0x3039) is not supported");
    EXPECT_EQ(f.sink.Messages()[1].text,
              "Error 0x19: Undo for this action (0x3039) is not supported");
    EXPECT_TRUE(f.editor.CanUndo());
}

// --- Enabling -------------------------------------------------------------------------

TEST(EditorEnabling, EveryCommandInEveryState) {
    struct State {
        const char* name;
        int count;
        std::vector<int> selected;
        bool clipboard;
        // insert, delete/cut/copy/0.5x/custom, paste, select all/clear all, 2x
        std::array<bool, 5> enabled;
    };
    const std::vector<State> states = {
        {"empty", 0, {}, false, {true, false, false, false, false}},
        {"empty, bols on the clipboard", 0, {}, true, {true, false, true, false, false}},
        {"nothing selected", 3, {}, false, {true, false, false, true, false}},
        {"one selected", 3, {1}, true, {true, true, true, true, true}},
        {"two selected", 3, {0, 2}, false, {false, true, false, true, true}},
    };
    for (const State& s : states) {
        Fixture f(s.count);
        for (int i : s.selected)
            f.editor.Click(i, {false, true});
        if (s.clipboard)
            f.clip.Put({});
        const std::array<bool, 5> got = {f.editor.CanInsert(), f.editor.CanDelete(),
                                         f.editor.CanPaste(), f.editor.CanSelectAll(),
                                         f.editor.CanExpandDouble()};
        EXPECT_EQ(got, s.enabled) << s.name;
        EXPECT_FALSE(f.editor.CanUndo()) << s.name;
        EXPECT_FALSE(f.editor.CanRedo()) << s.name;
    }
}

// --- Random sequences ---------------------------------------------------------------

TEST(EditorRoundTrip, UndoAllGivesTheOriginalBytesRedoAllTheEdited) {
    const CSampleBank bank;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        CLorvantaDoc doc;
        Fill(doc, 1 + pick(8));
        doc.Taal().BolAt(0)->pitch.emphasis = 3.0f;
        RecordingMessageSink sink;
        CountingHost host(doc);
        MemoryClipboard clip;
        CTaalRenderer renderer(doc.Taal(), bank, sink);
        renderer.InitialUpdate();
        CTaalEditor editor(doc, sink, host, &renderer, &clip);
        const std::vector<std::uint8_t> original = WriteTaalDocument(doc);

        for (int step = 0; step < 40; ++step) {
            const int count = doc.Taal().Count();
            switch (pick(15)) {
            case 0:
                editor.Click(pick(count + 1) - 1, {pick(2) == 0, pick(2) == 0});
                break;
            case 1:
                editor.Insert();
                break;
            case 2:
                editor.Append();
                break;
            case 3:
                editor.Delete();
                break;
            case 4:
                editor.Cut();
                break;
            case 5:
                editor.Copy();
                editor.Paste();
                break;
            case 6:
                editor.SelectAll();
                break;
            case 7:
                if (pick(4) == 0)
                    editor.ClearAll();
                break;
            case 8:
                editor.ExpandSelected(pick(2) ? 0.5f : 1.7f);
                break;
            case 9:
                editor.SetTaalProperties("T" + std::to_string(pick(3)), 60.0f + pick(3));
                break;
            case 10:
                editor.CommitName("N" + std::to_string(pick(3)));
                break;
            case 11:
                if (const CBol2* bol = editor.GetFirstSelectedBol()) {
                    CBol2 edited = *bol;
                    edited.name = "E" + std::to_string(step);
                    edited.pitch.emphasis = static_cast<float>(pick(7) - 3);
                    editor.ApplyBolProperties(edited);
                }
                break;
            case 12: {
                CTaal other(doc.Taal().Name());
                for (int i = pick(6); i > 0; --i)
                    other.Append(std::make_unique<CBol2>("Dha", 0, 0.25f * (1 + pick(4))));
                other.Recalculate(-1);
                editor.ReplaceTaal(other);
                break;
            }
            case 13:
                editor.Undo();
                break;
            default:
                editor.Redo();
                break;
            }
            ASSERT_EQ(host.cells, doc.Taal().Count()) << "seed " << seed << " step " << step;
            ASSERT_EQ(renderer.Cells().size(), static_cast<std::size_t>(doc.Taal().Count()));
            ASSERT_EQ(doc.IsEmpty(), doc.Taal().IsEmpty());
        }
        const std::vector<std::uint8_t> edited = WriteTaalDocument(doc);
        const std::size_t steps = editor.Lists().UndoList().size();
        while (editor.CanUndo())
            editor.Undo();
        EXPECT_EQ(WriteTaalDocument(doc), original) << "seed " << seed;
        for (std::size_t i = 0; i < steps; ++i)
            editor.Redo();
        EXPECT_EQ(WriteTaalDocument(doc), edited) << "seed " << seed;
    }
}

} // namespace
} // namespace lorvanta
