#include "ui/panes/PlaceholderPanes.h"

#include <QPainter>

namespace lorvanta {

CEmptyPane::CEmptyPane(const QString& caption, QWidget* parent)
    : QWidget(parent), m_caption(caption) {
    setAccessibleName(caption);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette page = palette();
    page.setColor(QPalette::Window, Qt::white);
    setPalette(page);
}

void CEmptyPane::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(QColor(160, 160, 160));
    painter.drawText(rect().adjusted(8, 6, -8, -6), Qt::AlignLeft | Qt::AlignTop, m_caption);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

void CEmptyPane::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void CEmptyPane::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

} // namespace lorvanta
