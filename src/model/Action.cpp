#include "model/Action.h"

namespace lorvanta {

std::unique_ptr<CAction> MakeWholeTaalAction(const CTaal& taal) {
    auto action = std::make_unique<CAction>(kActionWholeTaal);
    action->taal.Assign(taal);
    return action;
}

void UndoLists::Record(std::unique_ptr<CAction> action) {
    if (!action)
        return;
    const std::uint32_t kind = action->kind;
    if (kind == kActionRemovedBols || kind == kActionInsertedBols || kind == kActionChangedBols)
        ClearRedo();
    action->below = m_position;
    action->above = m_position = m_nextPosition++;
    m_undoList.push_front(std::move(action));
}

void UndoLists::Redone(CAction& action) {
    // Back on the list it left: the position it made then. On a list changed
    // since (a Taal-wide record keeps the redo list), a new one.
    if (action.above == 0 || action.below != m_position) {
        action.below = m_position;
        action.above = m_nextPosition++;
    }
    m_position = action.above;
}

} // namespace lorvanta
