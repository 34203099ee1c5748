#include "app/Commands.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QWidget>

#include <initializer_list>

namespace lorvanta {

namespace {

struct CommandInfo {
    int id;
    // The menu text: the shortcut shown at the right follows a tab.
    const char* text;
    // The keys that run it; the first is the one a menu would show.
    std::initializer_list<QKeyCombination> keys;
    // The fly-by prompt in the status bar; after a newline, the tooltip.
    const char* prompt;
    // The toolbar image in the resources, if any.
    const char* icon;
    bool checkable;
};

constexpr auto kCtrl = Qt::ControlModifier;
constexpr auto kShift = Qt::ShiftModifier;
constexpr auto kAlt = Qt::AltModifier;

const CommandInfo kCommands[] = {
    {kCmdFileNew, "&New\tCtrl+N", {kCtrl | Qt::Key_N}, "Create a new Taal\nNew", "new", false},
    {kCmdFileOpen,
     "&Open...\tCtrl+O",
     {kCtrl | Qt::Key_O},
     "Open an existing Taal\nOpen",
     "open",
     false},
    {kCmdFileSave, "&Save\tCtrl+S", {kCtrl | Qt::Key_S}, "Save the Taal\nSave", "save", false},
    {kCmdFileSaveAs, "Save &As...", {}, "Save the Taal with a new name\nSave As", nullptr, false},
    {kCmdFileSaveSound,
     "Save Soun&d\tCtrl+D",
     {kCtrl | Qt::Key_D},
     "Save the sound of the Taal\nSave Sound",
     nullptr,
     false},
    {kCmdFileMergeTaal,
     "&Merge Taal\tCtrl+M",
     {kCtrl | Qt::Key_M},
     "Merge another Taal into this one\nMerge Taal",
     nullptr,
     false},
    {kCmdAppExit, "E&xit", {}, "Quit the program; prompts to save the Taal\nExit", nullptr, false},
    {kCmdEditUndo,
     "&Undo\tCtrl+Z",
     {kCtrl | Qt::Key_Z, kAlt | Qt::Key_Backspace},
     "Undo the last action\nUndo",
     "undo",
     false},
    {kCmdEditRedo,
     "&Redo\tCtrl+Y",
     {kCtrl | Qt::Key_Y},
     "Redo the previously undone action\nRedo",
     "redo",
     false},
    {kCmdEditCut,
     "Cu&t\tCtrl+X",
     {kCtrl | Qt::Key_X, kShift | Qt::Key_Delete},
     "Cut the selected bols to the clipboard\nCut",
     "cut",
     false},
    {kCmdEditCopy,
     "&Copy\tCtrl+C",
     {kCtrl | Qt::Key_C, kCtrl | Qt::Key_Insert},
     "Copy the selected bols to the clipboard\nCopy",
     "copy",
     false},
    {kCmdEditPaste,
     "&Paste\tCtrl+V",
     {kCtrl | Qt::Key_V, kShift | Qt::Key_Insert},
     "Insert the bols of the clipboard\nPaste",
     "paste",
     false},
    {kCmdEditDelete, "&Delete\tDel", {}, "Delete the selected bols\nDelete", "delete", false},
    {kCmdEditSelectAll,
     "Select &All\tCtrl+A",
     {kCtrl | Qt::Key_A},
     "Select every bol\nSelect All",
     nullptr,
     false},
    {kCmdEditClearAll,
     "C&lear All\tCtrl+Del",
     {kCtrl | Qt::Key_Delete},
     "Delete every bol of the Taal\nClear All",
     nullptr,
     false},
    {kCmdExpandDouble,
     "2x\tCtrl+Up",
     {kCtrl | Qt::Key_Up},
     "Double the durations of the selected bols\nExpand 2x",
     nullptr,
     false},
    {kCmdExpandHalf,
     "0.5x\tCtrl+down",
     {kCtrl | Qt::Key_Down},
     "Halve the durations of the selected bols\nExpand 0.5x",
     nullptr,
     false},
    {kCmdExpandCustom,
     "Custom",
     {},
     "Multiply the durations of the selected bols\nExpand",
     nullptr,
     false},
    {kCmdEditInsert,
     "&Insert\tCtrl+I",
     {kCtrl | Qt::Key_I},
     "Insert a bol before the selection\nInsert",
     "insert",
     false},
    {kCmdEditAppend, "&Append", {}, "Add a bol at the end of the Taal\nAppend", nullptr, false},
    {kCmdBolProperties,
     "Bol Properties",
     {},
     "Show the properties of the selected bol\nBol "
     "Properties",
     "bolprops",
     false},
    {kCmdTaalProperties,
     "&Taal Properties",
     {},
     "Change the name and the default tempo of the Taal\nTaal Properties",
     nullptr,
     false},
    {kCmdViewToolbar, "&Toolbar", {}, "Show or hide the toolbar\nToggle Toolbar", nullptr, true},
    {kCmdViewStatusBar,
     "&Status Bar",
     {},
     "Show or hide the status bar\nToggle Status Bar",
     nullptr,
     true},
    {kCmdViewTempoControl,
     "Tempo &Control",
     {},
     "Show or hide the tempo control bar\nToggle Tempo Control",
     nullptr,
     true},
    {kCmdViewPitchControl,
     "&Pitch Control",
     {},
     "Show or hide the pitch control bar\nToggle Pitch Control",
     nullptr,
     true},
    {kCmdViewRowsByVibhag,
     "Rows by Vibhag",
     {},
     "Start every row of the grid at a vibhag, when the Taal has vibhags\nRows by Vibhag",
     nullptr,
     true},
    {kCmdViewMixer,
     "&Mixer",
     {},
     "Show or hide the mixer bar: the drums' and the drone's levels\nToggle Mixer",
     nullptr,
     true},
    {kCmdViewOptions,
     "&Options",
     {},
     "Change the Taals folder and the playing beat display\n"
     "Options",
     nullptr,
     false},
    {kCmdAudioPlay, "&Play\tSpacebar", {}, "Play the Taal in a loop\nPlay", "play", false},
    {kCmdAudioStop,
     "&Stop\tSpacebar",
     {},
     "Stop playing and go back to the start\nStop",
     "stop",
     false},
    {kCmdAudioPause,
     "Pa&use\tShift+Spacebar",
     {kShift | Qt::Key_Space},
     "Pause playing; Play goes on from here\nPause",
     "pause",
     false},
    {kCmdAudioPlayFromSelected,
     "Play from &Selected",
     {},
     "Play the Taal from the selected bol\nPlay from Selected",
     "playsel",
     false},
    {kCmdAudioTempoRamp,
     "Tempo &Ramp...",
     {},
     "Raise or lower the tempo by itself while playing, step by step or evenly\nTempo Ramp",
     nullptr,
     false},
    {kCmdAudioPracticeRoutine,
     "Practice R&outine...",
     {},
     "Build, save, open and play a routine of Taals, cycles and tempos\nPractice Routine",
     nullptr,
     false},
    // D in the grid turns the drone on and off (not a window shortcut: text
    // fields keep their d).
    {kCmdDroneOn,
     "Drone &On\tD",
     {},
     "Sound the tanpura's drone, tuned to the tabla, under the Taal\nDrone",
     nullptr,
     true},
    {kCmdDronePa, "First String &Pa", {}, "Tune the first string to Pa, the fifth", nullptr, true},
    {kCmdDroneMa, "First String &Ma", {}, "Tune the first string to Ma, the fourth", nullptr, true},
    {kCmdDroneNi,
     "First String &Ni",
     {},
     "Tune the first string to Ni, the seventh",
     nullptr,
     true},
    {kCmdDroneSa, "First String &Sa", {}, "Tune the first string to Sa", nullptr, true},
    {kCmdDroneOctave3,
     "Sa at C#&3",
     {},
     "The drone's Sa an octave below the tabla's",
     nullptr,
     true},
    {kCmdDroneOctave4, "Sa at C#&4", {}, "The drone's Sa at the tabla's note", nullptr, true},
    {kCmdDroneAlone,
     "Play Drone &Alone",
     {},
     "Play the drone without the Taal, to sing or play against\nDrone Alone",
     nullptr,
     false},
    {kCmdAppAbout,
     "&About Lorvanta...",
     {},
     "Display program information, version number and copyright\nAbout",
     nullptr,
     false},
    {kCmdHelp, "Help\tF1", {Qt::Key_F1}, "Open the Lorvanta help page\nHelp", nullptr, false},
    {kCmdUnhandledCtrlL, "", {kCtrl | Qt::Key_L}, "", nullptr, false},
    {kCmdNextPane, "Next Pane", {Qt::Key_F6}, "Switch to the next pane\nNext Pane", nullptr, false},
    {kCmdPreviousPane,
     "Previous Pane",
     {kShift | Qt::Key_F6},
     "Switch back to the previous pane\nPrevious Pane",
     nullptr,
     false},
};

QAction* MakeAction(const CommandInfo& info, QWidget* window) {
    auto* action = new QAction(QString::fromLatin1(info.text), window);
    action->setData(info.id);
    QList<QKeySequence> keys;
    for (const QKeyCombination key : info.keys)
        keys.append(QKeySequence(key));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    const QString prompt = QString::fromLatin1(info.prompt);
    action->setStatusTip(prompt.section(QLatin1Char('\n'), 0, 0));
    if (prompt.contains(QLatin1Char('\n')))
        action->setToolTip(prompt.section(QLatin1Char('\n'), 1));
    if (info.icon)
        action->setIcon(QIcon(QStringLiteral(":/icons/%1.xpm").arg(QLatin1String(info.icon))));
    action->setCheckable(info.checkable);
    // A command is enabled once something handles it.
    action->setEnabled(false);
    window->addAction(action);
    return action;
}

} // namespace

CCommandSet::CCommandSet(QWidget* window) {
    for (const CommandInfo& info : kCommands)
        m_actions[info.id] = MakeAction(info, window);
    for (int i = 0; i < kRecentFileCommands; ++i) {
        auto* action = new QAction(QStringLiteral("Recent File"), window);
        action->setData(kCmdFileMruFirst + i);
        action->setStatusTip(QStringLiteral("Open this Taal"));
        action->setEnabled(false);
        action->setVisible(i == 0);
        m_actions[kCmdFileMruFirst + i] = action;
        m_recent.append(action);
    }
}

QAction* CCommandSet::Action(int id) const {
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

QMenu* CCommandSet::BuildMenus(QMenuBar* bar) const {
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    for (int id : {kCmdFileNew, kCmdFileOpen, kCmdFileSave, kCmdFileSaveAs, kCmdFileSaveSound,
                   kCmdFileMergeTaal})
        file->addAction(Action(id));
    file->addSeparator();
    file->addActions(m_recent);
    file->addSeparator();
    file->addAction(Action(kCmdAppExit));

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->addAction(Action(kCmdEditUndo));
    edit->addAction(Action(kCmdEditRedo));
    edit->addSeparator();
    for (int id : {kCmdEditCut, kCmdEditCopy, kCmdEditPaste, kCmdEditDelete, kCmdEditSelectAll,
                   kCmdEditClearAll})
        edit->addAction(Action(id));
    QMenu* expand = edit->addMenu(QStringLiteral("E&xpand"));
    for (int id : {kCmdExpandDouble, kCmdExpandHalf, kCmdExpandCustom})
        expand->addAction(Action(id));
    edit->addSeparator();
    edit->addAction(Action(kCmdEditInsert));
    edit->addAction(Action(kCmdEditAppend));
    edit->addSeparator();
    edit->addAction(Action(kCmdTaalProperties));

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    for (int id : {kCmdViewToolbar, kCmdViewStatusBar, kCmdViewTempoControl, kCmdViewPitchControl,
                   kCmdViewRowsByVibhag, kCmdViewMixer, kCmdViewOptions})
        view->addAction(Action(id));

    QMenu* audio = bar->addMenu(QStringLiteral("&Audio"));
    for (int id : {kCmdAudioPlay, kCmdAudioStop, kCmdAudioPause, kCmdAudioPlayFromSelected})
        audio->addAction(Action(id));
    audio->addSeparator();
    audio->addAction(Action(kCmdAudioTempoRamp));
    audio->addAction(Action(kCmdAudioPracticeRoutine));
    QMenu* drone = audio->addMenu(QStringLiteral("&Drone"));
    const int droneIds[] = {kCmdDroneOn, kCmdDroneAlone, 0, kCmdDronePa,      kCmdDroneMa,
                            kCmdDroneNi, kCmdDroneSa,    0, kCmdDroneOctave3, kCmdDroneOctave4};
    for (int id : droneIds) {
        if (id == 0)
            drone->addSeparator();
        else
            drone->addAction(Action(id));
    }

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(Action(kCmdAppAbout));
    help->addAction(Action(kCmdHelp));
    return file;
}

void CCommandSet::BuildToolBar(QToolBar* bar) const {
    const int groups[][4] = {
        {kCmdFileNew, kCmdFileOpen, kCmdFileSave, 0},
        {kCmdEditCut, kCmdEditCopy, kCmdEditPaste, kCmdEditDelete},
        {kCmdEditUndo, kCmdEditRedo, 0, 0},
        {kCmdBolProperties, kCmdEditInsert, 0, 0},
        {kCmdAudioPlay, kCmdAudioPlayFromSelected, kCmdAudioPause, kCmdAudioStop},
    };
    bool first = true;
    for (const auto& group : groups) {
        if (!first)
            bar->addSeparator();
        first = false;
        for (int id : group) {
            if (id != 0)
                bar->addAction(Action(id));
        }
    }
}

} // namespace lorvanta
