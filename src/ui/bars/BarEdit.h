#pragma once

#include <QLineEdit>

namespace lorvanta {

// The edit of a bar's number: Enter and leaving the edit both hand its text
// over (the bar validates it). Enter is consumed, and the whole text is
// selected after it.
class CBarEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit CBarEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

    // Select the whole text whenever the edit gets the focus, however.
    void SetSelectAllOnFocus(bool on) { m_selectAllOnFocus = on; }

signals:
    void enterPressed();
    // The user has left the edit (not merely opened a menu or switched to
    // another program's window).
    void left();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_selectAllOnFocus = false;
};

} // namespace lorvanta
