#pragma once

// The main window: menus, toolbar, status bar, the tempo, pitch and mixer
// bars, and four panes in nested splitters (the Taal browser above the bol
// properties on the left; the bol grid above the notation pane on the right).

#include "app/AppSettings.h"
#include "app/Commands.h"
#include "app/WindowSettings.h"
#include "model/Vibhags.h"

#include <QMainWindow>
#include <QMargins>
#include <QRect>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class QDockWidget;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;

namespace lorvanta {

class CBolPropertiesPane;
class CHelpWindow;
class CLorvantaApp;
class CLorvantaDoc;
class CLorvantaSession;
class CLorvantaView;
class CBassTuningBar;
class CMixerBar;
class CPitchCtrlBar;
class CTaalDial;
class SpaceBarPlay;
class CTaalTextView;
class CTaalTree;
class CTempoCtrlBar;
class MessageSink;
class QtBolClipboard;
class ST_SplitterWnd;
struct ShellServices;

class CPracticeRoutineDialog;

class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    // The window's place and size at every start, where the screen allows.
    static constexpr int kLeft = 20;
    static constexpr int kTop = 20;
    static constexpr int kWidth = 1200;
    static constexpr int kHeight = 800;
    // Room kept for the window's frame (title bar above) before it is shown.
    static constexpr QMargins kFrameAllowance{8, 40, 8, 8};

    // The window's geometry (inside its frame) on a screen whose available
    // area is `available`: the place and size above where they fit with the
    // frame; otherwise, on each axis that does not fit, the size cut to the
    // area and the place moved into it.
    static QRect FitToScreen(const QRect& available);
    static constexpr const char* kAppTitle = "Lorvanta";
    static constexpr const char* kIdleMessage = "Ready";
    // Said once when an edit leaves the vibhags no longer fitting the Taal.
    static constexpr const char* kVibhagsHidden =
        "The vibhags no longer add up to the Taal's length: their marks and rows are hidden "
        "until they do (Edit > Taal Properties says why)";
    static constexpr const char* kNoSoundOutput =
        "No sound output: start a sound server, or choose one under Sound output in View > "
        "Options";
    static constexpr const char* kSoundOutputLost =
        "Sound output lost: playing goes on from here once it is back";
    static constexpr const char* kSoundOutputNotFound =
        "Sound output \"%1\" not found: playing through the default";

    // Builds the bars and the panes; the settings are read here, before the
    // panes that use them. Everything passed in must outlive the window.
    CMainFrame(CLorvantaApp& app, CLorvantaSession& session, MessageSink& sink,
               const ShellServices& shell);
    // Writes the two settings.
    ~CMainFrame() override;

    // The panes, as the other parts find them.
    CLorvantaView* GetGridView() const { return m_gridView; }
    CTaalTextView* GetTextView() const { return m_textView; }
    CTaalTree* GetTreeView() const { return m_treeView; }
    CBolPropertiesPane* GetBolPropertiesView() const { return m_bolPropertiesView; }
    ST_SplitterWnd* OuterSplitter() const { return m_outerSplitter; }
    ST_SplitterWnd* LeftSplitter() const { return m_leftSplitter; }
    ST_SplitterWnd* RightSplitter() const { return m_rightSplitter; }
    CTaalDial* Dial() const { return m_dial; }
    QDockWidget* DialDock() const { return m_dialDock; }
    const WindowSettings& Layout() const { return m_window; }
    // The status bar's ramp label: "Ramp → 165 bpm" while a ramp runs.
    QLabel* RampLabel() const { return m_rampLabel; }
    CTempoCtrlBar* TempoBar() const { return m_tempoBar; }
    CPitchCtrlBar* PitchBar() const { return m_pitchBar; }
    CMixerBar* MixerBar() const { return m_mixerBar; }
    QToolBar* ToolBar() const { return m_toolBar; }
    const CCommandSet& Commands() const { return *m_commands; }
    // The system clipboard as the editor sees it.
    QtBolClipboard* Clipboard() const { return m_clipboard; }
    AppSettings& Settings() { return m_settings; }
    const AppSettings& Settings() const { return m_settings; }

    // Each view's start on a new or opened document.
    void InitialUpdateViews();
    // After a document was opened: its default tempo (already in range)
    // becomes the tempo bar's current and reset tempo.
    void OnDocumentOpened(float defaultTempo);
    // The Taal browser reads its folder again (after Options, a save).
    void RefreshTaalTree();
    // Enables, checks and titles everything that follows the state now.
    void UpdateCommandUI();
    // "name - Lorvanta", with a marker while the document is modified.
    void UpdateTitle();

    // Commands handled here.
    void OnViewOptions();
    // Audio > Drone: applies the changed drone to the session and the settings.
    void ChangeDrone(const std::function<void(DroneSettings&)>& change);
    void ChangeLehra(const std::function<void(LehraSettings&)>& change);
    // Audio > Lehra's lehras (those that fit the Taal first) and instruments.
    void FillLehraMenu(QMenu* menu);
    // Audio > Tempo Ramp: the dialog, then the ramp started or ended.
    void OnTempoRamp();
    // Audio > Practice Routine: the routine window, made at first use.
    void OnPracticeRoutine();
    void OnHelp();
    // The help at an address: a local page in the help window, a web
    // address in the desktop's browser; a message when neither can be.
    void ShowHelp(const QUrl& address);
    // Null until help was first shown.
    CHelpWindow* HelpWindow() const { return m_helpWindow; }
    void ActivateNextPane(bool previous);
    // The four panes in the order pane switching visits them.
    QList<QWidget*> Panes() const;

    // The counted session as the status bar shows it: "Cycles 12   3:45"
    // (hours too from an hour on).
    static QString PracticeText(std::uint64_t cycles, std::chrono::steady_clock::duration played);
    QLabel* PracticeLabel() const { return m_practiceLabel; }
    static QString RampText(double targetBpm);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateBars();
    void CreatePanes();
    void ConnectCommands();
    // The Edit commands, Save Sound and Merge Taal (EditCommands.cpp).
    void ConnectEditCommands();
    void UpdateEditCommandUI();
    void UpdateRecentFileMenu();
    void OnStatusMessageChanged(const QString& message);
    // While playing, a timer follows the session's practice (the ramp, the
    // counted cycles and time); paused, the count stays shown; stopped, none.
    void UpdatePractice();
    // The sound output's state in the status bar: none, lost, or not the
    // device asked for; nothing when all is well.
    void UpdateOutputStatus();
    // The Taal browser's Open: the file through the application, then the
    // grid is the active view.
    void OpenFromTree(const QString& path);
    // The cycle dial in a dockable pane; the practice commands (zoom,
    // count-in, Space from every pane); the window's layout kept.
    void CreateDial();
    void ConnectPracticeCommands();
    void RestoreWindowLayout();
    void SaveWindowLayout();
    // Says once when an edit leaves the vibhags no longer fitting.
    void FollowVibhagDisplay(bool announce);

    CLorvantaApp& m_app;
    CPracticeRoutineDialog* m_routineDialog = nullptr;
    CLorvantaSession& m_session;
    CLorvantaDoc& m_doc;
    MessageSink& m_sink;
    const ShellServices& m_shell;
    AppSettings m_settings;

    ST_SplitterWnd* m_outerSplitter = nullptr;
    ST_SplitterWnd* m_leftSplitter = nullptr;
    ST_SplitterWnd* m_rightSplitter = nullptr;
    CPitchCtrlBar* m_pitchBar = nullptr;
    CBassTuningBar* m_bassTuningBar = nullptr;
    CTempoCtrlBar* m_tempoBar = nullptr;
    CMixerBar* m_mixerBar = nullptr;
    QToolBar* m_toolBar = nullptr;
    std::unique_ptr<CCommandSet> m_commands;
    QMenu* m_fileMenu = nullptr;
    QtBolClipboard* m_clipboard = nullptr;
    CHelpWindow* m_helpWindow = nullptr;
    QLabel* m_practiceLabel = nullptr;
    QLabel* m_rampLabel = nullptr;
    CTaalDial* m_dial = nullptr;
    QDockWidget* m_dialDock = nullptr;
    SpaceBarPlay* m_spaceBar = nullptr;
    WindowSettings m_window;
    bool m_layoutRestored = false;
    VibhagDisplay m_vibhagDisplay = VibhagDisplay::None;
    QLabel* m_outputLabel = nullptr;
    QTimer* m_practiceTimer = nullptr;

    CLorvantaView* m_gridView = nullptr;
    CTaalTextView* m_textView = nullptr;
    CTaalTree* m_treeView = nullptr;
    CBolPropertiesPane* m_bolPropertiesView = nullptr;
};

} // namespace lorvanta
