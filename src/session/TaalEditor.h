#pragma once

// The Taal editor: every change the user makes to the document's Taal, the
// selection of bols with its caret and anchor, the undo and redo lists, and
// each command's enabling rule. It holds no pixels and no sound: it announces
// what changed to its observers (session/EditorObserver.h), and the grid, the
// panes and the renderer's cells each follow on their own.

#include "model/Action.h"
#include "model/StatusTable.h"
#include "model/TaalLimits.h"
#include "session/EditorObserver.h"
#include "session/Observers.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lorvanta {

class CBol2;
class CLorvantaDoc;
class CTaal;
class MessageSink;

namespace messages {
inline constexpr const char* kSelectBolFirst =
    "Please select a Bol before attempting this operation";
inline constexpr const char* kClipboardBusy = "Clipboard is busy";
inline constexpr const char* kBadClipboardBols = "The bols on the clipboard cannot be pasted: %1.";
// %1 = the step's number, %2 = the action's kind, both "0x%x".
inline constexpr const char* kUndoNotSupported =
    "Error %1: Undo for this action (%2) is not supported";
// %1 = "undone" or "redone", %2 = the number of bols the Taal has now.
inline constexpr const char* kStepNoLongerApplies =
    "This step could not be %1: the Taal has changed since the step was recorded and no longer "
    "has the bols it refers to (the Taal now has %2 bols). The step has been dropped.";
} // namespace messages

// Statuses of an undo or redo step whose action the editor does not know.
enum class UndoStepStatus : std::uint32_t {
    UndoNotSupported = 24,
    RedoNotSupported = 25,
};

inline constexpr std::array<StatusEntry<UndoStepStatus>, 2> kUndoStepStatusTable{{
    {UndoStepStatus::UndoNotSupported, 24, messages::kUndoNotSupported},
    {UndoStepStatus::RedoNotSupported, 25, messages::kUndoNotSupported},
}};
static_assert(StatusTableConsistent(kUndoStepStatusTable));

constexpr const auto& StatusTableOf(UndoStepStatus) {
    return kUndoStepStatusTable;
}

// Where copied bols go: the system clipboard in the program, a private one in
// tests and the command-line tool. Carries the "Lorvanta Bol" payload bytes.
class BolClipboard {
public:
    virtual ~BolClipboard() = default;
    // Replaces the clipboard's content. False: the clipboard is busy.
    virtual bool Put(const std::vector<std::uint8_t>& payload) = 0;
    // The payload on offer; nothing when the clipboard is busy or holds none.
    virtual std::optional<std::vector<std::uint8_t>> Get() = 0;
    // Whether the clipboard offers bols now (Paste's enabling).
    virtual bool HasBols() const = 0;
};

// A clipboard private to one process.
class MemoryClipboard : public BolClipboard {
public:
    bool Put(const std::vector<std::uint8_t>& payload) override {
        m_payload = payload;
        return true;
    }
    std::optional<std::vector<std::uint8_t>> Get() override { return m_payload; }
    bool HasBols() const override { return m_payload.has_value(); }
    void Clear() { m_payload.reset(); }

private:
    std::optional<std::vector<std::uint8_t>> m_payload;
};

// Modifier keys held with a click or key.
struct KeyModifiers {
    bool shift = false;
    bool control = false;
};

class CTaalEditor {
public:
    // The document and sink must outlive the editor; the clipboard may be
    // null (Copy and Paste report the clipboard busy).
    CTaalEditor(CLorvantaDoc& doc, MessageSink& sink, BolClipboard* clipboard = nullptr);

    // The observer is told of every change, in the order of subscribing, for
    // as long as the subscription lives.
    [[nodiscard]] Subscription Subscribe(EditorObserver& observer) {
        return m_observers.Subscribe(observer);
    }
    void SetClipboard(BolClipboard* clipboard) { m_clipboard = clipboard; }

    // A document was created or opened: one unselected cell per bol, caret
    // and anchor unset, both lists empty; announced as a replaced Taal (why:
    // Step when playing goes on, as through a practice routine's steps).
    void Reset(TaalReplacement why = TaalReplacement::Document);

    // --- Selection -----------------------------------------------------
    // The only operation that changes selection flags: exclusive clears them
    // all first; an index inside the Taal is then toggled, one outside it
    // disables the bol fields.
    void SelectBol(int index, bool exclusive);
    bool IsSelected(int index) const;
    int SelectedCount() const { return m_nSelected; }
    int GetFirstSelected() const;
    int GetLastSelected() const;
    // The first selected bol and its index; null when nothing is selected.
    const CBol2* GetFirstSelectedBol(int* index = nullptr) const;
    std::vector<int> SelectedIndices() const;
    int Caret() const { return m_nCaret; }
    int Anchor() const { return m_nAnchor; }

    // The user's hand: a left click on a cell (-1: on no cell), the keys
    // that move the selection.
    void Click(int index, KeyModifiers modifiers);
    void KeyHome(bool shift);
    void KeyEnd(bool shift);
    void KeyLeft(bool shift);
    void KeyRight(bool shift);
    // A right click: that cell alone selected (or none).
    void ContextClick(int index);

    // --- Commands --------------------------------------------------------
    // The commands that add bols or change durations return Ok, or the limit
    // the change would break; a refused
    // change changes nothing, and the caller says why (LimitMessage).
    LimitStatus Insert();
    LimitStatus Append();
    void Delete();
    void Cut();
    void Copy();
    LimitStatus Paste();
    void SelectAll();
    void ClearAll();
    LimitStatus ExpandSelected(float factor);
    // Taal Properties after OK: records and applies a changed name, tempo or
    // vibhags as one step. vibhags is the typed text ("" removes them); without
    // it the stored record stays as it is. A tempo out of range, or vibhags
    // that do not read or do not add up to the Taal's length, are refused with
    // a warning and nothing changes: false.
    bool SetTaalProperties(const std::string& name, float defaultTempo,
                           const std::optional<std::string>& vibhags = std::nullopt);
    // The in-place name editor committed its text.
    void CommitName(const std::string& name);
    // The bol properties pane's Apply, with the pane's edited bol.
    LimitStatus ApplyBolProperties(const CBol2& edited);
    // Replaces the whole Taal (name included) as one undoable step (notation
    // Apply), and marks the document modified.
    LimitStatus ReplaceTaal(const CTaal& taal);
    // Inserts copies of the bols at the selection as one undoable insert
    // (Paste, Merge Taal).
    LimitStatus InsertBols(const std::vector<const CBol2*>& bols);
    void Undo();
    void Redo();

    // Enabling rules.
    bool CanInsert() const;
    bool CanDelete() const; // also Cut, Copy, Expand 0.5x and Custom
    bool CanPaste() const;
    bool CanSelectAll() const; // also Clear All
    bool CanExpandDouble() const;
    bool CanUndo() const { return m_lists.CanUndo(); }
    bool CanRedo() const { return m_lists.CanRedo(); }

    UndoLists& Lists() { return m_lists; }
    const UndoLists& Lists() const { return m_lists; }

private:
    enum class Direction { Undo, Redo };
    template <typename Call> void Notify(Call call);
    // The selection flags in step with one inserted or removed bol, announced.
    void InsertView(int after);
    void RemoveView(int index);
    // One unselected flag per bol of a Taal replaced as a whole, announced.
    void ReplaceViews(TaalReplacement why);
    // Insert and Append: a new silent bol after `after` (-1: at the head),
    // recorded for undo, unless it would break a limit.
    LimitStatus InsertNewBol(int after);
    // Left (-1) or Right (+1), growing or shrinking the selection with Shift.
    void KeyStep(int step, bool shift);
    // Flags resized to the Taal when it was changed behind the editor's back.
    void SyncFlags();
    // After an edit: the properties pane shows the first selected bol (the
    // one its Apply changes), or nothing when none is selected.
    void ShowSelection();
    // The whole-Taal exchange shared by notation Apply, Undo and Redo.
    void ExchangeTaal(CTaal& other, TaalReplacement why);
    // Whether every recorded position of the action lies inside the Taal as
    // the action's steps reach it.
    bool Applicable(const CAction& action, Direction direction) const;
    void Apply(CAction& action, Direction direction);
    // Removes the bols at ascending positions as DeleteBol one by one would
    // (each later one lowered by those gone before), recording copies with
    // their positions when asked; inserts bols so that each ends at its
    // (ascending) position. Both keep the cells in step.
    void DeleteBols(const std::vector<int>& positions, CAction* record);
    void InsertBolsAt(const std::vector<std::pair<int, const CBol2*>>& placed);
    void ReinsertBols(const CAction& action);
    void RedeleteBols(const CAction& action);
    void ExchangeBols(CAction& action);
    void ExchangeProperties(CAction& action);
    void Step(Direction direction);
    // Records an edit's action; the document's modified flag follows.
    void Record(std::unique_ptr<CAction> action);

    CLorvantaDoc& m_doc;
    MessageSink& m_sink;
    BolClipboard* m_clipboard;
    ObserverList<EditorObserver> m_observers;
    UndoLists m_lists;
    // One flag per bol, in Taal order.
    std::vector<char> m_selected;
    int m_nSelected = 0;
    int m_nCaret = -1;
    int m_nAnchor = -1;
};

} // namespace lorvanta
