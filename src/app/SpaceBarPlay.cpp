#include "app/SpaceBarPlay.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace lorvanta {

SpaceBarPlay::SpaceBarPlay(QWidget* window, QWidget* grid, std::function<void()> toggle)
    : QObject(window), m_window(window), m_grid(grid), m_toggle(std::move(toggle)) {
    qApp->installEventFilter(this);
}

SpaceBarPlay::~SpaceBarPlay() {
    qApp->removeEventFilter(this);
}

bool SpaceBarPlay::TakesSpace(const QWidget* widget) {
    if (const auto* line = qobject_cast<const QLineEdit*>(widget))
        return !line->isReadOnly();
    if (const auto* text = qobject_cast<const QTextEdit*>(widget))
        return !text->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget))
        return !plain->isReadOnly();
    if (qobject_cast<const QAbstractSpinBox*>(widget))
        return true;
    if (const auto* box = qobject_cast<const QComboBox*>(widget))
        return box->isEditable();
    return false;
}

bool SpaceBarPlay::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Space || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    // The widget the key is delivered to, in this window (not a dialog over
    // it); a key a text field takes never comes back to its parents.
    auto* focus = qobject_cast<QWidget*>(watched);
    if (!focus || focus->window() != m_window)
        return false;
    if (focus == m_grid || m_grid->isAncestorOf(focus) || TakesSpace(focus))
        return false;
    if (event->type() == QEvent::ShortcutOverride)
        return false;
    if (!key->isAutoRepeat())
        m_toggle();
    return true;
}

} // namespace lorvanta
