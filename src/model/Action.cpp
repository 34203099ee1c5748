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
    m_undoList.push_front(std::move(action));
}

} // namespace lorvanta
