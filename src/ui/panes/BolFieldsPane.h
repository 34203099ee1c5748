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
    // Enables or disables the name, pitch and bass fields; all false
    // disables the whole form.
    virtual void EnableFields(bool name, bool pitch, bool bass) = 0;
    // Fills the form again from the pane's own copy of its bol.
    virtual void LoadFields() = 0;
};

} // namespace lorvanta
