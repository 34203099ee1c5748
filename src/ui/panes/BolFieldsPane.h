#pragma once

// What the bol grid tells the bol properties pane about the selection. The
// properties pane implements it; the grid holds a pointer that may be null.

namespace lorvanta {

class CBol2;

class BolFieldsPane {
public:
    virtual ~BolFieldsPane() = default;
    // Shows (a copy of) the bol at the index and enables the fields.
    virtual void ShowBol(const CBol2& bol, int index) = 0;
    // Turns the form's fields on or off, and its Apply and Revert buttons;
    // all false disables the whole form.
    virtual void EnableFields(bool controls, bool apply, bool revert) = 0;
    // Fills the form again from the pane's own copy of its bol.
    virtual void LoadFields() = 0;
    // No bol selected: the form shows none and is disabled.
    virtual void ClearFields() { EnableFields(false, false, false); }
};

} // namespace lorvanta
