// The undo record and its two lists: which recordings empty the redo list, and
// that a whole-Taal record is a full, independent copy.
#include "model/Action.h"

#include <gtest/gtest.h>

namespace lorvanta {
namespace {

std::unique_ptr<CBol2> Bol(const std::string& name, float duration) {
    auto bol = std::make_unique<CBol2>();
    bol->name = name;
    bol->duration = duration;
    return bol;
}

TEST(UndoLists, BolEditsEmptyTheRedoListTaalWideOnesKeepIt) {
    for (const std::uint32_t kind : {kActionRemovedBols, kActionInsertedBols, kActionChangedBols}) {
        UndoLists lists;
        lists.RedoList().push_front(std::make_unique<CAction>(kActionWholeTaal));
        lists.Record(std::make_unique<CAction>(kind));
        EXPECT_FALSE(lists.CanRedo()) << kind;
        ASSERT_TRUE(lists.CanUndo());
        EXPECT_EQ(lists.UndoList().front()->kind, kind);
    }
    for (const std::uint32_t kind : {kActionTaalProperties, kActionWholeTaal}) {
        UndoLists lists;
        lists.RedoList().push_front(std::make_unique<CAction>(kActionRemovedBols));
        lists.Record(std::make_unique<CAction>(kind));
        lists.Record(nullptr);
        EXPECT_TRUE(lists.CanRedo()) << kind;
        EXPECT_EQ(lists.UndoList().size(), 1u);
    }
}

TEST(CAction, WholeTaalRecordIsAnIndependentCopy) {
    CTaal taal("Teentaal");
    taal.Append(Bol("Dha", 1.0f));
    taal.Append(Bol("Na", 0.5f));
    taal.Recalculate(-1);
    const auto action = MakeWholeTaalAction(taal);
    taal.RemoveAll();
    taal.SetName("Other");
    EXPECT_EQ(action->taal.Name(), "Teentaal");
    ASSERT_EQ(action->taal.Count(), 2);
    EXPECT_EQ(action->taal.BolAt(1)->name, "Na");
    EXPECT_EQ(action->taal.Total(), 1.5f);
}

} // namespace
} // namespace lorvanta
