#include "ui/bars/BarEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>

namespace lorvanta {

void CBarEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit enterPressed();
        selectAll();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CBarEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (m_selectAllOnFocus) {
        selectAll();
        // Again once the click that brought the focus has placed the caret.
        QTimer::singleShot(0, this, [edit = QPointer<CBarEdit>(this)] {
            if (edit && edit->hasFocus())
                edit->selectAll();
        });
    }
}

void CBarEdit::focusOutEvent(QFocusEvent* event) {
    // The edit first finishes losing the focus (dropping its selection), so
    // that a refusal can give the focus back with the text selected.
    QLineEdit::focusOutEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
        emit left();
}

} // namespace lorvanta
