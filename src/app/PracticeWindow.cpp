// The window as a place to practise: the cycle dial in a dockable pane, the
// grid's zoom, the count-in, Space from every pane, the status bar's word
// when the vibhags stop fitting, and the panes' sizes kept between starts.
#include "app/MainFrame.h"
#include "app/SpaceBarPlay.h"
#include "app/SplitterWnd.h"
#include "model/LorvantaDoc.h"
#include "session/LorvantaSession.h"
#include "ui/dial/TaalDial.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/BolPropertiesPane.h"
#include "ui/panes/TaalTextView.h"
#include "ui/panes/TaalTree.h"

#include <QAction>
#include <QDockWidget>
#include <QStatusBar>

#include <algorithm>
#include <cmath>

namespace lorvanta {

namespace {

constexpr int kDialWidth = 240;

// Two panes of a splitter: the second as high as it needs (within its
// minimum and what the first's `keep` leaves), the first the rest; the first
// grows with the window.
void GiveSecondItsNeed(QSplitter* splitter, int need, int keep) {
    const int total = splitter->height() - splitter->handleWidth();
    keep = std::max(keep, splitter->widget(0)->minimumHeight());
    const int second = std::clamp(need, splitter->widget(1)->minimumHeight(),
                                  std::max(splitter->widget(1)->minimumHeight(), total - keep));
    if (total - second < splitter->widget(0)->minimumHeight())
        return;
    splitter->setSizes({total - second, second});
}

} // namespace

void CMainFrame::CreateDial() {
    m_window = ReadWindowSettings();
    m_dial = new CTaalDial(m_session);
    m_dialDock = new QDockWidget(QStringLiteral("Cycle"), this);
    m_dialDock->setObjectName(QStringLiteral("CycleDialDock"));
    m_dialDock->setWidget(m_dial);
    m_dialDock->setMinimumWidth(120);
    addDockWidget(Qt::RightDockWidgetArea, m_dialDock);
    resizeDocks({m_dialDock}, {kDialWidth}, Qt::Horizontal);
    connect(m_gridView, &CLorvantaView::soundingChanged, m_dial, &CTaalDial::SetPosition);
    // Closed from its title bar: the menu's check follows (the action, which
    // outlives the window's members, is the receiver).
    QAction* dialAction = m_commands->Action(kCmdViewDial);
    connect(m_dialDock, &QDockWidget::visibilityChanged, dialAction,
            [dialAction](bool visible) { dialAction->setChecked(visible); });
    // The grows: the grid over the notation, the browser over the form.
    m_rightSplitter->setStretchFactor(0, 1);
    m_rightSplitter->setStretchFactor(1, 0);
    m_leftSplitter->setStretchFactor(0, 1);
    m_leftSplitter->setStretchFactor(1, 0);
}

void CMainFrame::ConnectPracticeCommands() {
    const auto on = [this](int id, auto handler) {
        QAction* action = m_commands->Action(id);
        action->setEnabled(true);
        connect(action, &QAction::triggered, this, handler);
    };
    on(kCmdViewDial, [this](bool checked) { m_dialDock->setVisible(checked); });
    on(kCmdViewZoomIn, [this] { m_gridView->ZoomIn(); });
    on(kCmdViewZoomOut, [this] { m_gridView->ZoomOut(); });
    on(kCmdViewZoomFit, [this] { m_gridView->SetFitZoom(); });
    connect(m_gridView, &CLorvantaView::zoomChanged, this, [this] {
        m_window.gridZoomPercent =
            m_gridView->FitsZoom() ? 0 : static_cast<int>(std::lround(m_gridView->Zoom() * 100));
        m_commands->Action(kCmdViewZoomFit)->setChecked(m_gridView->FitsZoom());
    });
    if (m_window.gridZoomPercent == 0)
        m_gridView->SetFitZoom();
    else
        m_gridView->SetZoom(m_window.gridZoomPercent / 100.0);

    on(kCmdAudioCountIn, [this](bool checked) {
        m_window.countIn = checked;
        m_session.SetCountInBeats(checked ? m_window.countInBeats : 0);
    });
    m_session.SetCountInBeats(m_window.countIn ? m_window.countInBeats : 0);

    m_spaceBar = new SpaceBarPlay(this, m_gridView, [this] {
        if (m_session.IsPlaying())
            m_session.Stop();
        else
            m_session.Play();
        UpdateCommandUI();
    });
}

void CMainFrame::FollowVibhagDisplay(bool announce) {
    const VibhagDisplay display = VibhagsToShow(m_doc.Params(), m_doc.Taal().Total()).display;
    // Once, as they stop fitting; not again while they stay so.
    if (announce && display == VibhagDisplay::DoNotFit && m_vibhagDisplay == VibhagDisplay::Shown)
        statusBar()->showMessage(QString::fromLatin1(kVibhagsHidden));
    m_vibhagDisplay = display;
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_layoutRestored) {
        m_layoutRestored = true;
        RestoreWindowLayout();
    }
}

void CMainFrame::RestoreWindowLayout() {
    // First the sizes that suit the panes' contents, then what the user left.
    // The notation no taller than its text; the grid keeps at least half.
    GiveSecondItsNeed(m_rightSplitter, m_textView->TextHeight(), m_rightSplitter->height() / 2);
    // The bol form whole where the window allows; the browser keeps a few rows.
    if (const auto* form = m_bolPropertiesView->findChild<QWidget*>(QStringLiteral("bolForm")))
        GiveSecondItsNeed(m_leftSplitter, form->sizeHint().height() + 2, 0);
    if (!m_window.windowState.isEmpty())
        restoreState(m_window.windowState);
    if (!m_window.outerPanes.isEmpty())
        m_outerSplitter->restoreState(m_window.outerPanes);
    if (!m_window.leftPanes.isEmpty())
        m_leftSplitter->restoreState(m_window.leftPanes);
    if (!m_window.rightPanes.isEmpty())
        m_rightSplitter->restoreState(m_window.rightPanes);
    UpdateCommandUI();
}

void CMainFrame::SaveWindowLayout() {
    if (m_layoutRestored) {
        m_window.windowState = saveState();
        m_window.outerPanes = m_outerSplitter->saveState();
        m_window.leftPanes = m_leftSplitter->saveState();
        m_window.rightPanes = m_rightSplitter->saveState();
    }
    WriteWindowSettings(m_window);
}

} // namespace lorvanta
