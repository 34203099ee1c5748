#pragma once

#include <QList>
#include <QSplitter>

namespace lorvanta {

// A static splitter of the main window: fixed panes that cannot collapse. On
// its first real size it gives each pane but the last its ideal size and the
// last whatever remains; afterwards the last pane alone follows the window.
class ST_SplitterWnd : public QSplitter {
    Q_OBJECT

public:
    ST_SplitterWnd(Qt::Orientation orientation, int id, QWidget* parent = nullptr);

    // The splitter's identifier: the outer one 0, a nested one its parent's + 1.
    int Id() const { return m_id; }
    // Adds a pane with its ideal and minimum size along the splitter.
    void AddPane(QWidget* pane, int idealSize, int minimumSize);
    // Puts the panes at their ideal sizes now (the last takes the rest).
    void RecalcLayout();
    const QList<int>& IdealSizes() const { return m_ideal; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int m_id;
    QList<int> m_ideal;
    bool m_laidOut = false;
};

} // namespace lorvanta
