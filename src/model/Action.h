#pragma once

#include "model/Bol.h"
#include "model/Taal.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace lorvanta {

// Kinds of undoable edit: the ids of the commands that record them.
inline constexpr std::uint32_t kActionRemovedBols = 32790;
inline constexpr std::uint32_t kActionInsertedBols = 32791;
inline constexpr std::uint32_t kActionChangedBols = 32793;
inline constexpr std::uint32_t kActionTaalProperties = 32795;
inline constexpr std::uint32_t kActionWholeTaal = 32823;

// One recorded edit: what is needed to take it back and to make it again.
// Which fields a kind uses:
//   removed, inserted, changed bols: copies of the bols in `bols`, each with
//     the position it refers to in its index;
//   Taal properties: the old name in taal's name, the old parameters (tempo,
//     reserved block with the vibhags) in params;
//   whole Taal: a complete copy of the Taal before the change in `taal`.
class CAction {
public:
    explicit CAction(std::uint32_t actionKind) : kind(actionKind) {}
    virtual ~CAction() = default;
    CAction(const CAction&) = delete;
    CAction& operator=(const CAction&) = delete;

    CTaalParams params;
    CTaal taal;
    std::uint32_t kind;
    std::vector<std::unique_ptr<CBol2>> bols;
    // The undo history's positions (UndoLists::Position) under this action
    // and with it on top of the undo list.
    std::uint64_t below = 0;
    std::uint64_t above = 0;
};

// A whole-Taal action holding a full copy of taal.
std::unique_ptr<CAction> MakeWholeTaalAction(const CTaal& taal);

// Owned actions, newest at the front.
using CActionList = std::deque<std::unique_ptr<CAction>>;

// The undo and redo lists of the grid view. Unbounded.
class UndoLists {
public:
    // Puts an action at the head of the undo list. Bol edits (removed,
    // inserted, changed) empty the redo list first; Taal properties and
    // whole-Taal actions leave it alone.
    void Record(std::unique_ptr<CAction> action);
    void ClearUndo() {
        m_undoList.clear();
        m_position = m_nextPosition++;
    }
    void ClearRedo() { m_redoList.clear(); }
    void Clear() {
        ClearUndo();
        ClearRedo();
    }

    // Where the history stands. Two equal positions have the same actions in
    // force (the same undo list); every new record, and an undo dropped
    // without being applied, gives a position not seen before.
    std::uint64_t Position() const { return m_position; }
    // Bookkeeping after Undo and Redo moved an action to the other list.
    void Undone(const CAction& action) { m_position = action.below; }
    void Redone(CAction& action);
    // The head of the undo list left without being undone: its change stays
    // in force but is in no list, so no earlier position matches the Taal.
    void Dropped() { m_position = m_nextPosition++; }
    bool CanUndo() const { return !m_undoList.empty(); }
    bool CanRedo() const { return !m_redoList.empty(); }

    CActionList& UndoList() { return m_undoList; }
    CActionList& RedoList() { return m_redoList; }
    const CActionList& UndoList() const { return m_undoList; }
    const CActionList& RedoList() const { return m_redoList; }

private:
    CActionList m_undoList;
    CActionList m_redoList;
    std::uint64_t m_position = 0;
    std::uint64_t m_nextPosition = 1;
};

} // namespace lorvanta
