#include "app/SplitterWnd.h"

#include <QResizeEvent>

namespace lorvanta {

ST_SplitterWnd::ST_SplitterWnd(Qt::Orientation orientation, int id, QWidget* parent)
    : QSplitter(orientation, parent), m_id(id) {
    setChildrenCollapsible(false);
    setOpaqueResize(true);
}

void ST_SplitterWnd::AddPane(QWidget* pane, int idealSize, int minimumSize) {
    if (orientation() == Qt::Horizontal)
        pane->setMinimumWidth(minimumSize);
    else
        pane->setMinimumHeight(minimumSize);
    addWidget(pane);
    m_ideal.append(idealSize);
    // Only the last pane grows and shrinks with the window.
    for (int i = 0; i < count(); ++i)
        setStretchFactor(i, i == count() - 1 ? 1 : 0);
}

void ST_SplitterWnd::RecalcLayout() {
    const int total = (orientation() == Qt::Horizontal ? width() : height()) -
                      handleWidth() * std::max(0, count() - 1);
    QList<int> sizes = m_ideal;
    int used = 0;
    for (qsizetype i = 0; i + 1 < sizes.size(); ++i)
        used += sizes.at(i);
    if (!sizes.isEmpty())
        sizes.last() = std::max(0, total - used);
    setSizes(sizes);
}

void ST_SplitterWnd::resizeEvent(QResizeEvent* event) {
    QSplitter::resizeEvent(event);
    if (!m_laidOut && !event->size().isEmpty()) {
        m_laidOut = true;
        RecalcLayout();
    }
}

} // namespace lorvanta
