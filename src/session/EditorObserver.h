#pragma once

// What the Taal editor announces to whoever shows or sounds the Taal: the
// grid, the panes, the renderer's cells, the playback. Each observer keeps
// its own state in step from these alone. Every call has a do-nothing
// default, so an observer overrides only what it follows.

namespace lorvanta {

// What a change of the selection did.
struct SelectionChange {
    // Whether every bol was unselected first.
    bool exclusive = false;
    // The bol toggled by a click, a key or a command; -1 when none was (the
    // selection was only cleared, or an edit moved it).
    int toggled = -1;
    // The bol the properties pane shows from now on: the bol toggled, or
    // after an edit the first one selected; kNoBol when none is selected,
    // kUnchanged when the pane keeps what it shows.
    static constexpr int kNoBol = -1;
    static constexpr int kUnchanged = -2;
    int shown = kUnchanged;
};

// Why the whole Taal was replaced.
enum class TaalReplacement {
    // A new or opened document: undo history, selection and sound start
    // afresh. Playing stops and a pause ends.
    Document,
    // Another Taal in the same document: the notation's Apply, Clear All.
    // Playing stops and a pause ends.
    NewTaal,
    // An undo or redo of a whole-Taal step: playing goes on.
    Step,
};

class EditorObserver {
public:
    virtual ~EditorObserver() = default;

    // The Taal has new bols at [first, first + count).
    virtual void OnBolsInserted(int /*first*/, int /*count*/) {}
    // The bols that were at [first, first + count) are gone.
    virtual void OnBolsRemoved(int /*first*/, int /*count*/) {}
    // The bols at [first, first + count) changed in place (sounds,
    // emphases, durations); the Taal's length may have changed with them.
    virtual void OnBolsChanged(int /*first*/, int /*count*/) {}
    // The Taal's name, default tempo or vibhags changed.
    virtual void OnTaalPropertiesChanged() {}
    virtual void OnTaalReplaced(TaalReplacement /*why*/) {}
    virtual void OnSelectionChanged(const SelectionChange& /*change*/) {}
    // A long operation runs between these two (the program shows the wait
    // cursor). Changes announced in between may be gathered and applied
    // once at its end.
    virtual void OnLongOperationStarted() {}
    virtual void OnLongOperationEnded() {}
};

} // namespace lorvanta
