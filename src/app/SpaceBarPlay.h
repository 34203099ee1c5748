#pragma once

// Space plays and stops from every pane of the window, except where it is
// typed: a text field, a spin box's number, an editable list's text. The grid
// handles its own Space (it also ends its name editor).

#include <QObject>

#include <functional>

class QWidget;

namespace lorvanta {

class SpaceBarPlay : public QObject {
    Q_OBJECT

public:
    // Watches the application's key presses for `window`; `toggle` plays or
    // stops, `grid` is left to handle Space itself.
    SpaceBarPlay(QWidget* window, QWidget* grid, std::function<void()> toggle);
    ~SpaceBarPlay() override;

    // Whether Space typed into this widget is text.
    static bool TakesSpace(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QWidget* m_grid;
    std::function<void()> m_toggle;
};

} // namespace lorvanta
