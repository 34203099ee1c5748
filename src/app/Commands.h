#pragma once

// The main window's commands: their identifiers, menu texts, keys, status
// prompts and toolbar images, and the menus and toolbar built from them.

#include <QList>

#include <map>

class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

namespace lorvanta {

// Command identifiers. Undo action kinds reuse some of them.
enum CommandId : int {
    kCmdFileNew = 57600,
    kCmdFileOpen = 57601,
    kCmdFileSave = 57603,
    kCmdFileSaveAs = 57604,
    kCmdFileSaveSound = 32801,
    kCmdFileMergeTaal = 32803,
    kCmdFileMruFirst = 57616, // the four recent files are 57616 to 57619
    kCmdAppExit = 57665,
    kCmdEditUndo = 57643,
    kCmdEditRedo = 57644,
    kCmdEditCut = 57635,
    kCmdEditCopy = 57634,
    kCmdEditPaste = 57637,
    kCmdEditDelete = 32790,
    kCmdEditSelectAll = 57642,
    kCmdEditClearAll = 57633,
    kCmdExpandDouble = 32844,
    kCmdExpandHalf = 32843,
    kCmdExpandCustom = 32842,
    kCmdEditInsert = 32791,
    kCmdEditAppend = 32792,
    kCmdBolProperties = 32793,
    kCmdTaalProperties = 32795,
    kCmdViewToolbar = 59392,
    kCmdViewStatusBar = 59393,
    kCmdViewTempoControl = 32777,
    kCmdViewPitchControl = 32806,
    kCmdViewMixer = 33120,
    kCmdViewOptions = 32797,
    kCmdViewRowsByVibhag = 33200,
    kCmdAudioPlay = 32771,
    kCmdAudioStop = 32772,
    kCmdAudioPause = 32831,
    kCmdAudioPlayFromSelected = 32835,
    kCmdAudioTempoRamp = 33130,       // Audio > Tempo Ramp...
    kCmdAudioPracticeRoutine = 33131, // Audio > Practice Routine...
    // Audio > Drone: on and off, the first string, the octave (its level is
    // on the mixer bar).
    kCmdDroneOn = 33100,
    kCmdDronePa = 33101,
    kCmdDroneMa = 33102,
    kCmdDroneNi = 33103,
    kCmdDroneSa = 33104,
    kCmdDroneOctave3 = 33105,
    kCmdDroneOctave4 = 33106,
    kCmdDroneAlone = 33108,
    kCmdAppAbout = 57664,
    kCmdHelp = 32838,
    kCmdQuickTempoChange = 32809, // the tempo bar's own action
    kCmdUnhandledCtrlL = 32812,
    kCmdNextPane = 57680,
    kCmdPreviousPane = 57681,
};

inline constexpr int kRecentFileCommands = 4;

// Every command as an action of the main window, so that its keys work
// wherever the focus is in the window. Commands nobody handles stay disabled.
class CCommandSet {
public:
    explicit CCommandSet(QWidget* window);

    // The action of a command; null for an unknown identifier.
    QAction* Action(int id) const;
    // The recent-file entries, in menu order.
    const QList<QAction*>& RecentFileActions() const { return m_recent; }

    // The main menu, in the order of the menu resource. Returns the File
    // popup, whose recent-file entries the frame keeps up to date.
    QMenu* BuildMenus(QMenuBar* bar) const;
    // The toolbar buttons with their separators.
    void BuildToolBar(QToolBar* bar) const;

private:
    std::map<int, QAction*> m_actions;
    QList<QAction*> m_recent;
};

} // namespace lorvanta
