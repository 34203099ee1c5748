#include "session/TaalEditor.h"

#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "model/PlaybackLimits.h"
#include "model/TaalLimits.h"
#include "model/Vibhags.h"
#include "persistence/BolClipboard.h"

#include <algorithm>
#include <cmath>

namespace lorvanta {

namespace {

std::unique_ptr<CBol2> CopyWithIndex(const CBol2& bol, int index) {
    auto copy = std::make_unique<CBol2>(bol);
    copy->index = static_cast<std::uint32_t>(index);
    return copy;
}

int Position(const CBol2& recorded) {
    return static_cast<int>(recorded.index);
}

// Edits of more bols than this rebuild the bol list once instead of shifting
// it bol by bol, and run as a long operation, so that deleting or pasting
// thousands of bols stays linear. Smaller ones go bol by bol.
constexpr std::size_t kBulkBols = 8;

// Calls fn(k, first, count) for each run of consecutive positions, in order;
// k is the number of positions before the run.
template <typename Fn> void ForEachRun(const std::vector<int>& positions, Fn fn) {
    for (std::size_t k = 0; k < positions.size();) {
        std::size_t end = k + 1;
        while (end < positions.size() && positions[end] == positions[end - 1] + 1)
            ++end;
        fn(k, positions[k], static_cast<int>(end - k));
        k = end;
    }
}

// The limits' verdict on the Taal after the bols from position at on, removed
// of them, give way to bols of the added durations.
LimitStatus CheckSplice(const CTaal& taal, int at, int removed, const std::vector<float>& added) {
    TaalLimitCheck check;
    const int count = taal.Count();
    at = std::clamp(at, 0, count);
    for (int i = 0; i < at; ++i)
        check.Keep(taal.BolAt(i)->duration);
    for (float beats : added)
        check.Add(beats);
    for (int i = std::min(at + removed, count); i < count; ++i)
        check.Keep(taal.BolAt(i)->duration);
    return check.Status();
}

// Announces a long operation's start, and its end on every way out.
class LongOperation {
public:
    explicit LongOperation(const ObserverList<EditorObserver>& observers) : m_observers(observers) {
        m_observers.Notify([](EditorObserver& observer) { observer.OnLongOperationStarted(); });
    }
    ~LongOperation() {
        m_observers.Notify([](EditorObserver& observer) { observer.OnLongOperationEnded(); });
    }
    LongOperation(const LongOperation&) = delete;
    LongOperation& operator=(const LongOperation&) = delete;

private:
    const ObserverList<EditorObserver>& m_observers;
};

} // namespace

CTaalEditor::CTaalEditor(CLorvantaDoc& doc, MessageSink& sink, BolClipboard* clipboard)
    : m_doc(doc), m_sink(sink), m_clipboard(clipboard) {
    m_selected.assign(static_cast<std::size_t>(m_doc.Taal().Count()), 0);
}

template <typename Call> void CTaalEditor::Notify(Call call) {
    m_observers.Notify(call);
}

void CTaalEditor::Reset(TaalReplacement why) {
    m_lists.Clear();
    m_doc.StartUndoHistory(m_lists.Position());
    m_nCaret = -1;
    m_nAnchor = -1;
    LongOperation busy(m_observers); // every bol is rendered anew
    ReplaceViews(why);
}

void CTaalEditor::SyncFlags() {
    const auto count = static_cast<std::size_t>(m_doc.Taal().Count());
    if (m_selected.size() == count)
        return;
    m_selected.resize(count, 0);
    m_nSelected = static_cast<int>(std::count(m_selected.begin(), m_selected.end(), 1));
}

// --- Cells -------------------------------------------------------------------

void CTaalEditor::InsertView(int after) {
    const std::size_t position =
        after < 0 ? 0 : std::min(static_cast<std::size_t>(after) + 1, m_selected.size());
    m_selected.insert(m_selected.begin() + static_cast<std::ptrdiff_t>(position), 0);
    const int first = static_cast<int>(position);
    Notify([&](EditorObserver& o) { o.OnBolsInserted(first, 1); });
}

void CTaalEditor::RemoveView(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < m_selected.size()) {
        if (m_selected[static_cast<std::size_t>(index)])
            --m_nSelected;
        m_selected.erase(m_selected.begin() + index);
    }
    Notify([&](EditorObserver& o) { o.OnBolsRemoved(index, 1); });
}

void CTaalEditor::ReplaceViews(TaalReplacement why) {
    m_selected.assign(static_cast<std::size_t>(m_doc.Taal().Count()), 0);
    m_nSelected = 0;
    Notify([&](EditorObserver& o) { o.OnTaalReplaced(why); });
    const SelectionChange cleared{true, -1, SelectionChange::kNoBol};
    Notify([&](EditorObserver& o) { o.OnSelectionChanged(cleared); });
}

// --- Selection ---------------------------------------------------------------

void CTaalEditor::SelectBol(int index, bool exclusive) {
    SyncFlags();
    if (exclusive) {
        std::fill(m_selected.begin(), m_selected.end(), 0);
        m_nSelected = 0;
    }
    SelectionChange change{exclusive, -1, SelectionChange::kNoBol};
    if (index >= 0 && index < m_doc.Taal().Count()) {
        char& flag = m_selected[static_cast<std::size_t>(index)];
        flag = flag ? 0 : 1;
        m_nSelected += flag ? 1 : -1;
        change.toggled = index;
        // Unselecting the last selected bol leaves the pane as it is.
        change.shown = m_nSelected > 0 ? index : SelectionChange::kUnchanged;
    }
    Notify([&](EditorObserver& o) { o.OnSelectionChanged(change); });
}

void CTaalEditor::ShowSelection() {
    const int first = GetFirstSelected();
    const SelectionChange change{false, -1, first >= 0 ? first : SelectionChange::kNoBol};
    Notify([&](EditorObserver& o) { o.OnSelectionChanged(change); });
}

bool CTaalEditor::IsSelected(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < m_selected.size() &&
           m_selected[static_cast<std::size_t>(index)] != 0;
}

int CTaalEditor::GetFirstSelected() const {
    const int count = m_doc.Taal().Count();
    if (m_nSelected < 1 || m_nSelected > count || count == 0)
        return -1;
    const int cells = std::min(count, static_cast<int>(m_selected.size()));
    for (int i = 0; i < cells; ++i)
        if (m_selected[static_cast<std::size_t>(i)])
            return i;
    return -1;
}

int CTaalEditor::GetLastSelected() const {
    const int count = m_doc.Taal().Count();
    if (m_nSelected < 1 || m_nSelected > count || count == 0)
        return -1;
    const int cells = std::min(count, static_cast<int>(m_selected.size()));
    for (int i = cells - 1; i >= 0; --i)
        if (m_selected[static_cast<std::size_t>(i)])
            return i;
    return -1;
}

const CBol2* CTaalEditor::GetFirstSelectedBol(int* index) const {
    const int first = GetFirstSelected();
    if (index)
        *index = first;
    return first < 0 ? nullptr : m_doc.Taal().BolAt(first);
}

std::vector<int> CTaalEditor::SelectedIndices() const {
    std::vector<int> indices;
    const int cells = std::min(m_doc.Taal().Count(), static_cast<int>(m_selected.size()));
    for (int i = 0; i < cells; ++i)
        if (m_selected[static_cast<std::size_t>(i)])
            indices.push_back(i);
    return indices;
}

void CTaalEditor::Click(int index, KeyModifiers modifiers) {
    if (modifiers.control && !modifiers.shift) {
        SelectBol(index, false);
    } else if (modifiers.control && modifiers.shift) {
        // Every cell between the caret and the one clicked changes state.
        if (m_nCaret < index) {
            for (int j = m_nCaret + 1; j <= index; ++j)
                SelectBol(j, false);
        } else {
            for (int j = m_nCaret - 1; j >= index; --j)
                SelectBol(j, false);
        }
    } else {
        SelectBol(index, true);
    }
    m_nCaret = m_nAnchor = index;
}

void CTaalEditor::ContextClick(int index) {
    SelectBol(index, true);
    m_nCaret = index;
}

void CTaalEditor::KeyHome(bool shift) {
    const int count = m_doc.Taal().Count();
    if (shift) {
        const int from = std::min(std::min(m_nCaret, m_nAnchor) - 1, count - 1);
        for (int j = from; j >= 0; --j)
            SelectBol(j, false);
        m_nCaret = 0;
    } else {
        SelectBol(0, true);
        m_nAnchor = m_nCaret = 0;
    }
}

void CTaalEditor::KeyEnd(bool shift) {
    const int count = m_doc.Taal().Count();
    if (shift) {
        for (int j = std::max(std::max(m_nCaret, m_nAnchor) + 1, 0); j <= count - 1; ++j)
            SelectBol(j, false);
        m_nCaret = count - 1;
    } else {
        SelectBol(count - 1, true);
        m_nAnchor = m_nCaret = count - 1;
    }
}

void CTaalEditor::KeyLeft(bool shift) {
    KeyStep(-1, shift);
}

void CTaalEditor::KeyRight(bool shift) {
    KeyStep(1, shift);
}

void CTaalEditor::KeyStep(int step, bool shift) {
    SyncFlags();
    if (m_nSelected <= 0)
        return;
    const int last = m_doc.Taal().Count() - 1;
    // Edits leave the caret and anchor where they were; the keys bring them
    // back inside the Taal.
    const int caret = std::clamp(m_nCaret, 0, std::max(last, 0));
    const int anchor = std::clamp(m_nAnchor, 0, std::max(last, 0));
    const int target = std::clamp(caret + step, 0, std::max(last, 0));
    if (shift) {
        // Towards the anchor the selection shrinks by the caret's bol; away
        // from it, it grows by the next one.
        if (target != caret)
            SelectBol((anchor - caret) * step > 0 ? caret : target, false);
        m_nCaret = target;
    } else {
        m_nAnchor = target;
        SelectBol(target, true);
        m_nCaret = target;
    }
}

// --- Commands ----------------------------------------------------------------

LimitStatus CTaalEditor::Insert() {
    SyncFlags();
    if (!CanInsert())
        return LimitStatus::Ok;
    const int first = GetFirstSelected();
    const int a = (m_nSelected == 1 && first >= 0) ? first - 1 : m_doc.Taal().Count() - 1;
    const LimitStatus status = InsertNewBol(a);
    if (status == LimitStatus::Ok) {
        m_nCaret = m_nAnchor = a + 1;
        SelectBol(a + 1, true);
    }
    return status;
}

LimitStatus CTaalEditor::Append() {
    SyncFlags();
    return InsertNewBol(m_doc.Taal().Count() - 1);
}

LimitStatus CTaalEditor::InsertNewBol(int after) {
    CTaal& taal = m_doc.Taal();
    if (const LimitStatus status = CheckSplice(taal, after + 1, 0, {CBol2().duration});
        status != LimitStatus::Ok)
        return status;
    auto action = std::make_unique<CAction>(kActionInsertedBols);
    m_lists.ClearRedo();
    m_doc.InsertBol(after);
    action->bols.push_back(CopyWithIndex(*taal.BolAt(after + 1), after + 1));
    Record(std::move(action));
    InsertView(after);
    return LimitStatus::Ok;
}

void CTaalEditor::Delete() {
    SyncFlags();
    const int n = m_nSelected;
    if (n <= 0)
        return;
    const std::vector<int> selected = SelectedIndices();
    if (selected.empty())
        return;
    auto action = std::make_unique<CAction>(kActionRemovedBols);
    m_lists.ClearRedo();
    DeleteBols(selected, action.get());
    Record(std::move(action));
    m_nSelected = 0;

    const int count = m_doc.Taal().Count();
    if (selected.size() == 1 && count > 0)
        SelectBol(std::min(selected[0], count - 1), true);
    ShowSelection();
}

void CTaalEditor::Cut() {
    Copy();
    Delete();
}

void CTaalEditor::Copy() {
    SyncFlags();
    const std::vector<int> selected = SelectedIndices();
    if (selected.empty()) {
        m_sink.Show({MessageKind::Question, messages::kSelectBolFirst});
        return;
    }
    std::vector<const CBol2*> bols;
    bols.reserve(selected.size());
    for (int i : selected)
        bols.push_back(m_doc.Taal().BolAt(i));
    if (!m_clipboard || !m_clipboard->Put(WriteBolPayload(bols)))
        m_sink.Show({MessageKind::Plain, messages::kClipboardBusy});
}

LimitStatus CTaalEditor::Paste() {
    SyncFlags();
    std::optional<std::vector<std::uint8_t>> payload;
    if (m_clipboard)
        payload = m_clipboard->Get();
    if (!payload) {
        m_sink.Show({MessageKind::Plain, messages::kClipboardBusy});
        return LimitStatus::Ok;
    }
    std::vector<std::unique_ptr<CBol2>> bols;
    std::string error;
    if (!ReadBolPayload(*payload, bols, error)) {
        m_sink.Show({MessageKind::Error, FormatMessage(messages::kBadClipboardBols, error)});
        return LimitStatus::Ok;
    }
    std::vector<const CBol2*> list;
    list.reserve(bols.size());
    for (const auto& bol : bols)
        list.push_back(bol.get());
    return InsertBols(list);
}

void CTaalEditor::SelectAll() {
    SelectBol(-1, true);
    const int count = m_doc.Taal().Count();
    for (int i = 0; i < count; ++i)
        SelectBol(i, false);
    m_nCaret = m_nAnchor = count - 1;
}

void CTaalEditor::ClearAll() {
    SyncFlags();
    CTaal& taal = m_doc.Taal();
    if (taal.IsEmpty())
        return;
    auto action = std::make_unique<CAction>(kActionRemovedBols);
    m_lists.ClearRedo();
    for (const auto& bol : taal.Bols())
        action->bols.push_back(std::make_unique<CBol2>(*bol));
    Record(std::move(action));

    // Only the bols go: the name, the default tempo and the reserved block
    // stay, so that Undo gives the Taal back as it was.
    taal.RemoveAll();
    m_doc.SetEmpty(true);
    m_doc.SetModified();
    ReplaceViews(TaalReplacement::NewTaal);
}

LimitStatus CTaalEditor::ExpandSelected(float factor) {
    SyncFlags();
    if (m_nSelected < 1 || !std::isfinite(factor))
        return LimitStatus::Ok;
    const std::vector<int> selected = SelectedIndices();
    if (selected.empty())
        return LimitStatus::Ok;
    CTaal& taal = m_doc.Taal();
    TaalLimitCheck check;
    for (std::size_t i = 0, next = 0; i < taal.Bols().size(); ++i) {
        const float beats = taal.Bols()[i]->duration;
        if (next < selected.size() && static_cast<std::size_t>(selected[next]) == i) {
            check.Add(beats * factor);
            ++next;
        } else {
            check.Keep(beats);
        }
    }
    if (const LimitStatus status = check.Status(); status != LimitStatus::Ok)
        return status;
    auto action = std::make_unique<CAction>(kActionChangedBols);
    m_lists.ClearRedo();
    for (int i : selected) {
        CBol2& bol = *taal.BolAt(i);
        action->bols.push_back(CopyWithIndex(bol, i));
        bol.duration = bol.duration * factor;
    }
    // The length is the sum of the durations in order, as Undo and Redo
    // compute it, so that a Redo gives back exactly the same Taal.
    taal.Recalculate(-1);
    m_doc.SetModified();
    Record(std::move(action));

    {
        LongOperation busy(m_observers);
        const int first = selected.front();
        const int count = selected.back() - first + 1;
        Notify([&](EditorObserver& o) { o.OnBolsChanged(first, count); });
    }
    // The pane's own copy still has the old duration; it gets the bol as it
    // is now, or its next Apply would undo the expansion.
    const SelectionChange shown{false, -1, selected.front()};
    Notify([&](EditorObserver& o) { o.OnSelectionChanged(shown); });
    return LimitStatus::Ok;
}

bool CTaalEditor::SetTaalProperties(const std::string& name, float defaultTempo,
                                    const std::optional<std::string>& vibhags) {
    if (!(defaultTempo >= kMinTempoBpm && defaultTempo <= kMaxTempoBpm)) {
        m_sink.Show(
            {MessageKind::Warning, FormatMessage(kTempoOutOfRangeMessage, "10.0", "1000.0")});
        return false;
    }
    CTaal& taal = m_doc.Taal();
    CTaalParams params = m_doc.Params();
    params.defaultTempo = defaultTempo;
    if (vibhags) {
        VibhagList list;
        if (const VibhagStatus status = ParseFittingVibhags(*vibhags, taal.Total(), list);
            status != VibhagStatus::Ok) {
            m_sink.Show({MessageKind::Warning, VibhagStatusText(status, list, taal.Total())});
            return false;
        }
        // The same vibhags, or none over a block that holds none, leave the
        // block as it is: a block of another writer is carried through.
        const StoredVibhags stored = ReadVibhagRecord(params);
        const bool same = stored.state == VibhagRecordState::Valid
                              ? stored.vibhags == list
                              : stored.state == VibhagRecordState::Absent && list.empty();
        if (!same)
            WriteVibhagRecord(params, list);
    }
    if (name == taal.Name() && params.defaultTempo == m_doc.Params().defaultTempo &&
        params.reserved == m_doc.Params().reserved)
        return true;
    auto action = std::make_unique<CAction>(kActionTaalProperties);
    action->taal.SetName(taal.Name());
    action->params = m_doc.Params();
    Record(std::move(action));
    taal.SetName(name);
    m_doc.Params() = params;
    m_doc.SetModified();
    Notify([](EditorObserver& o) { o.OnTaalPropertiesChanged(); });
    return true;
}

void CTaalEditor::CommitName(const std::string& name) {
    CTaal& taal = m_doc.Taal();
    if (name == taal.Name())
        return;
    auto action = std::make_unique<CAction>(kActionTaalProperties);
    action->taal.SetName(taal.Name());
    action->params = m_doc.Params();
    Record(std::move(action));
    taal.SetName(name);
    m_doc.SetModified();
    Notify([](EditorObserver& o) { o.OnTaalPropertiesChanged(); });
}

LimitStatus CTaalEditor::ApplyBolProperties(const CBol2& edited) {
    SyncFlags();
    int i = -1;
    CBol2* bol = const_cast<CBol2*>(GetFirstSelectedBol(&i));
    CBol2 compared = edited;
    if (bol) {
        compared.index = bol->index;
        if (!(compared == *bol))
            if (const LimitStatus status = CheckSplice(m_doc.Taal(), i, 1, {edited.duration});
                status != LimitStatus::Ok)
                return status;
    }
    m_lists.ClearRedo();
    if (!bol || compared == *bol)
        return LimitStatus::Ok;

    auto action = std::make_unique<CAction>(kActionChangedBols);
    action->bols.push_back(CopyWithIndex(*bol, i));
    Record(std::move(action));
    m_doc.SetModified();
    *bol = compared;
    bol->index = static_cast<std::uint32_t>(i);
    m_doc.Taal().Recalculate(-1);

    LongOperation busy(m_observers);
    Notify([&](EditorObserver& o) { o.OnBolsChanged(i, 1); });
    return LimitStatus::Ok;
}

LimitStatus CTaalEditor::ReplaceTaal(const CTaal& taal) {
    SyncFlags();
    TaalLimitCheck check;
    for (const auto& bol : taal.Bols())
        check.Add(bol->duration);
    if (const LimitStatus status = check.Status(); status != LimitStatus::Ok)
        return status;
    Record(MakeWholeTaalAction(m_doc.Taal()));
    CTaal replacement;
    replacement.Assign(taal);
    ExchangeTaal(replacement, TaalReplacement::NewTaal);
    m_doc.SetModified();
    return LimitStatus::Ok;
}

void CTaalEditor::ExchangeTaal(CTaal& other, TaalReplacement why) {
    CTaal held;
    held.Assign(m_doc.Taal());
    m_doc.Taal().Assign(other);
    other.Assign(held);
    m_doc.SetEmpty(m_doc.Taal().IsEmpty());
    LongOperation busy(m_observers);
    ReplaceViews(why);
}

LimitStatus CTaalEditor::InsertBols(const std::vector<const CBol2*>& bols) {
    SyncFlags();
    const int n = static_cast<int>(bols.size());
    if (n == 0)
        return LimitStatus::Ok;
    CTaal& taal = m_doc.Taal();
    const int first = GetFirstSelected();
    const int a = (m_nSelected > 0 && first >= 0) ? first - 1 : taal.Count() - 1;
    std::vector<float> added;
    added.reserve(bols.size());
    for (const CBol2* bol : bols)
        added.push_back(bol->duration);
    if (const LimitStatus status = CheckSplice(taal, a + 1, 0, added); status != LimitStatus::Ok)
        return status;
    auto action = std::make_unique<CAction>(kActionInsertedBols);
    m_lists.ClearRedo();
    {
        LongOperation busy(m_observers);
        std::vector<std::pair<int, const CBol2*>> placed;
        for (int k = 0; k < n; ++k)
            placed.emplace_back(a + k + 1, bols[static_cast<std::size_t>(k)]);
        InsertBolsAt(placed);
        for (int k = 0; k < n; ++k)
            action->bols.push_back(CopyWithIndex(*taal.BolAt(a + k + 1), a + k + 1));
    }
    Record(std::move(action));
    taal.Recalculate(a - 1);
    m_nCaret = m_nAnchor = a + n;
    SelectBol(a + n, true);
    m_doc.SetModified();
    return LimitStatus::Ok;
}

// --- Undo and redo -------------------------------------------------------------

void CTaalEditor::Undo() {
    Step(Direction::Undo);
}
void CTaalEditor::Redo() {
    Step(Direction::Redo);
}

void CTaalEditor::Step(Direction direction) {
    SyncFlags();
    CActionList& from = direction == Direction::Undo ? m_lists.UndoList() : m_lists.RedoList();
    CActionList& to = direction == Direction::Undo ? m_lists.RedoList() : m_lists.UndoList();
    if (from.empty())
        return;
    std::unique_ptr<CAction> action = std::move(from.front());
    from.pop_front();

    const std::uint32_t kind = action->kind;
    const bool known = kind == kActionRemovedBols || kind == kActionInsertedBols ||
                       kind == kActionChangedBols || kind == kActionTaalProperties ||
                       kind == kActionWholeTaal;
    if (!known) {
        const UndoStepStatus status = direction == Direction::Undo
                                          ? UndoStepStatus::UndoNotSupported
                                          : UndoStepStatus::RedoNotSupported;
        m_sink.Show(
            {MessageKind::Error,
             FormatMessage(StatusText(status), FormatHex(StatusNumber(status)), FormatHex(kind))});
        to.push_front(std::move(action));
        m_lists.Dropped();
        m_doc.SetUndoPosition(m_lists.Position());
        return;
    }
    // A step that no longer fits the Taal is never half applied. It is
    // dropped rather than moved: on the other list it would stand for a
    // change that never happened, and the opposite command would then take
    // back something that was never done.
    if (!Applicable(*action, direction)) {
        m_sink.Show(
            {MessageKind::Warning, FormatMessage(messages::kStepNoLongerApplies,
                                                 direction == Direction::Undo ? "undone" : "redone",
                                                 FormatDecimal(m_doc.Taal().Count()))});
        if (direction == Direction::Undo) {
            m_lists.Dropped();
            m_doc.SetUndoPosition(m_lists.Position());
        }
        return;
    }
    Apply(*action, direction);
    if (direction == Direction::Undo)
        m_lists.Undone(*action);
    else
        m_lists.Redone(*action);
    // Modified exactly when the steps leave the Taal other than saved,
    // exchanges included.
    m_doc.SetUndoPosition(m_lists.Position());
    to.push_front(std::move(action));
    // The steps move, remove and bring back bols under the selection.
    ShowSelection();
}

void CTaalEditor::Record(std::unique_ptr<CAction> action) {
    m_lists.Record(std::move(action));
    m_doc.SetUndoPosition(m_lists.Position());
}

bool CTaalEditor::Applicable(const CAction& action, Direction direction) const {
    long long count = m_doc.Taal().Count();
    const bool reinsert = (action.kind == kActionRemovedBols) == (direction == Direction::Undo);
    switch (action.kind) {
    case kActionRemovedBols:
    case kActionInsertedBols:
        // The editor records positions in ascending order; the bulk steps rely on it.
        for (std::size_t k = 1; k < action.bols.size(); ++k)
            if (action.bols[k]->index <= action.bols[k - 1]->index)
                return false;
        if (reinsert) {
            // Inserting at p needs p bols in front of it.
            for (const auto& bol : action.bols) {
                if (Position(*bol) < 0 || bol->index > count)
                    return false;
                ++count;
            }
        } else {
            long long k = 0;
            for (const auto& bol : action.bols) {
                const long long at = static_cast<long long>(bol->index) - k;
                if (at < 0 || at >= count)
                    return false;
                --count;
                ++k;
            }
        }
        return true;
    case kActionChangedBols:
        for (const auto& bol : action.bols)
            if (bol->index >= count)
                return false;
        return true;
    default:
        return true;
    }
}

void CTaalEditor::Apply(CAction& action, Direction direction) {
    switch (action.kind) {
    case kActionRemovedBols:
        if (direction == Direction::Undo)
            ReinsertBols(action);
        else
            RedeleteBols(action);
        break;
    case kActionInsertedBols:
        if (direction == Direction::Undo)
            RedeleteBols(action);
        else
            ReinsertBols(action);
        break;
    case kActionChangedBols:
        ExchangeBols(action);
        break;
    case kActionTaalProperties:
        ExchangeProperties(action);
        break;
    case kActionWholeTaal:
        ExchangeTaal(action.taal, TaalReplacement::Step);
        break;
    default:
        break;
    }
}

void CTaalEditor::ReinsertBols(const CAction& action) {
    std::vector<std::pair<int, const CBol2*>> placed;
    for (const auto& bol : action.bols)
        placed.emplace_back(Position(*bol), bol.get());
    InsertBolsAt(placed);
    m_doc.Taal().Recalculate(-1);
}

void CTaalEditor::RedeleteBols(const CAction& action) {
    std::vector<int> positions;
    for (const auto& bol : action.bols)
        positions.push_back(Position(*bol));
    DeleteBols(positions, nullptr);
    m_doc.Taal().Recalculate(-1);
}

void CTaalEditor::DeleteBols(const std::vector<int>& positions, CAction* record) {
    CTaal& taal = m_doc.Taal();
    if (positions.size() <= kBulkBols) {
        for (std::size_t k = 0; k < positions.size(); ++k) {
            const int at = positions[k] - static_cast<int>(k);
            auto copy = std::make_unique<CBol2>();
            m_doc.DeleteBol(at, copy.get());
            RemoveView(at);
            if (record) {
                copy->index = static_cast<std::uint32_t>(positions[k]);
                record->bols.push_back(std::move(copy));
            }
        }
        return;
    }
    // One pass over the Taal keeps the bols and flags that stay.
    LongOperation busy(m_observers);
    CTaal kept(taal.Name());
    std::vector<char> flags;
    int selected = 0;
    std::size_t next = 0;
    for (int i = 0; i < taal.Count(); ++i) {
        const CBol2& bol = *taal.BolAt(i);
        if (next < positions.size() && positions[next] == i) {
            if (record)
                record->bols.push_back(CopyWithIndex(bol, i));
            ++next;
        } else {
            kept.Append(std::make_unique<CBol2>(bol));
            flags.push_back(IsSelected(i) ? 1 : 0);
            selected += flags.back();
        }
    }
    taal.Assign(kept);
    taal.Recalculate(-1);
    m_selected = std::move(flags);
    m_nSelected = selected;
    m_doc.SetEmpty(taal.IsEmpty());
    m_doc.SetModified();
    ForEachRun(positions, [&](std::size_t before, int first, int count) {
        const int at = first - static_cast<int>(before);
        Notify([&](EditorObserver& o) { o.OnBolsRemoved(at, count); });
    });
}

void CTaalEditor::InsertBolsAt(const std::vector<std::pair<int, const CBol2*>>& placed) {
    CTaal& taal = m_doc.Taal();
    if (placed.size() <= kBulkBols) {
        for (const auto& [position, bol] : placed) {
            m_doc.InsertBol(position - 1, bol);
            InsertView(position - 1);
        }
        return;
    }
    // One pass builds the Taal with every new bol at its place.
    LongOperation busy(m_observers);
    CTaal merged(taal.Name());
    std::vector<char> flags;
    std::size_t next = 0;
    int old = 0;
    while (old < taal.Count() || next < placed.size()) {
        const int position = merged.Count();
        if (next < placed.size() && (placed[next].first <= position || old >= taal.Count())) {
            merged.Append(std::make_unique<CBol2>(*placed[next++].second));
            flags.push_back(0);
        } else {
            merged.Append(std::make_unique<CBol2>(*taal.BolAt(old)));
            flags.push_back(IsSelected(old) ? 1 : 0);
            ++old;
        }
    }
    taal.Assign(merged);
    taal.Recalculate(-1);
    m_selected = std::move(flags);
    m_doc.SetEmpty(taal.IsEmpty());
    m_doc.SetModified();
    std::vector<int> positions;
    positions.reserve(placed.size());
    for (const auto& entry : placed)
        positions.push_back(entry.first);
    ForEachRun(positions, [&](std::size_t, int first, int count) {
        Notify([&](EditorObserver& o) { o.OnBolsInserted(first, count); });
    });
}

void CTaalEditor::ExchangeBols(CAction& action) {
    CTaal& taal = m_doc.Taal();
    int smallest = taal.Count();
    int largest = -1;
    for (auto& recorded : action.bols) {
        const int at = Position(*recorded);
        CBol2& bol = *taal.BolAt(at);
        CBol2 held = bol;
        bol = *recorded;
        *recorded = held;
        smallest = std::min(smallest, at);
        largest = std::max(largest, at);
    }
    taal.Recalculate(-1);
    if (largest < 0)
        return;
    // The properties pane, which shows a copy of its bol, gets the bol as it
    // is now when the step ends, or its next Apply would put the old fields
    // back.
    LongOperation busy(m_observers);
    Notify([&](EditorObserver& o) { o.OnBolsChanged(smallest, largest - smallest + 1); });
}

void CTaalEditor::ExchangeProperties(CAction& action) {
    CTaal& taal = m_doc.Taal();
    std::string name = taal.Name();
    taal.SetName(action.taal.Name());
    action.taal.SetName(std::move(name));
    // The whole parameters: the tempo and the reserved block with its vibhags.
    std::swap(m_doc.Params(), action.params);
    Notify([](EditorObserver& o) { o.OnTaalPropertiesChanged(); });
}

// --- Enabling ------------------------------------------------------------------

bool CTaalEditor::CanInsert() const {
    return m_nSelected < 2;
}
bool CTaalEditor::CanDelete() const {
    return m_nSelected >= 1;
}
bool CTaalEditor::CanPaste() const {
    return m_clipboard && m_clipboard->HasBols();
}
bool CTaalEditor::CanSelectAll() const {
    return !m_doc.Taal().IsEmpty();
}
bool CTaalEditor::CanExpandDouble() const {
    return m_nSelected >= 1;
}

} // namespace lorvanta
