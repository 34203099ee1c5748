#include "app/MainFrame.h"

#include "app/HelpPage.h"
#include "app/LorvantaApp.h"
#include "app/ShellServices.h"
#include "app/SpaceBarPlay.h"
#include "app/SplitterWnd.h"
#include "audio/TaalRenderer.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "model/ProgramData.h"
#include "session/LorvantaSession.h"
#include "soundfiles/SoundFile.h"
#include "ui/QtBolClipboard.h"
#include "ui/SessionSignals.h"
#include "ui/bars/BassTuningBar.h"
#include "ui/bars/MixerBar.h"
#include "ui/bars/PitchCtrlBar.h"
#include "ui/bars/TempoCtrlBar.h"
#include "ui/dial/TaalDial.h"
#include "ui/dialogs/HelpWindow.h"
#include "ui/dialogs/OptionsDialog.h"
#include "ui/dialogs/PracticeRoutineDialog.h"
#include "ui/dialogs/TempoRampDialog.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/BolPropertiesPane.h"
#include "ui/panes/TaalTextView.h"
#include "ui/panes/TaalTree.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <cmath>
#include <utility>

namespace lorvanta {

namespace {

// The status bar's lock-key panes. Their state cannot be read portably, so
// they are shown as the framework shows them when off: greyed.
QLabel* MakeIndicator(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setEnabled(false);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
    return label;
}

// Gives the focus to a pane, or to the first child of it that takes it.
void FocusPane(QWidget* pane) {
    if (pane->focusPolicy() != Qt::NoFocus) {
        pane->setFocus(Qt::OtherFocusReason);
        return;
    }
    for (QWidget* child : pane->findChildren<QWidget*>()) {
        if ((child->focusPolicy() & Qt::TabFocus) && child->isVisibleTo(pane) &&
            child->isEnabled()) {
            child->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

QStringList LocalFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

} // namespace

CMainFrame::CMainFrame(CLorvantaApp& app, CLorvantaSession& session, MessageSink& sink,
                       const ShellServices& shell)
    : m_app(app), m_session(session), m_doc(session.Document()), m_sink(sink), m_shell(shell) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    setGeometry(screen ? FitToScreen(screen->availableGeometry())
                       : QRect(kLeft, kTop, kWidth, kHeight));
    setDockOptions(QMainWindow::AnimatedDocks);
    m_commands = std::make_unique<CCommandSet>(this);
    m_fileMenu = m_commands->BuildMenus(menuBar());
    CreateBars();
    CreatePanes();
    CreateDial();
    // The drone and the levels as the user left them (the drone rendered now
    // only when it is on).
    m_session.SetDrone(m_settings.drone);
    // The lehras the program finds; a file that does not read is named.
    auto lehras =
        std::make_shared<LehraLibrary>(LehraLibrary::Load(LehraLibrary::DefaultFolders()));
    if (!lehras->Warnings().empty()) {
        std::string warnings;
        for (const std::string& warning : lehras->Warnings())
            warnings += (warnings.empty() ? "" : "\n") + warning;
        m_sink.Show({MessageKind::Warning, warnings});
    }
    m_session.SetLehraLibrary(std::move(lehras));
    m_session.SetLehra(m_settings.lehra);
    m_session.SetDrumLevels(m_settings.levels);
    m_session.Renderer().SetStrokeResampler(ResampleStroke);
    m_session.SetStrokeStyle(m_settings.style);
    m_bassTuningBar->SetTuning(m_session.Style().bassTuning);
    m_mixerBar->SetLevels(m_session.Levels());
    m_mixerBar->SetDroneLevel(m_session.Drone().levelDb);
    m_mixerBar->SetLehraLevel(m_session.LehraChoice().levelDb);
    ConnectCommands();
    ConnectPracticeCommands();
    // The commands follow what the session announces; nothing polls.
    auto* announcements = new SessionSignals(m_session, this);
    connect(announcements, &SessionSignals::stateChanged, this, &CMainFrame::UpdateCommandUI);
    connect(announcements, &SessionSignals::stateChanged, this,
            [this] { FollowVibhagDisplay(true); });
    connect(announcements, &SessionSignals::taalPropertiesChanged, m_tempoBar,
            [this] { m_tempoBar->SetDefaultTempo(m_doc.DefaultTempo()); });
    // A tempo ramp's steps show on the tempo bar as they are heard.
    connect(announcements, &SessionSignals::tempoChanged, m_tempoBar, &CTempoCtrlBar::ShowTempo);
    UpdateRecentFileMenu();
    UpdateCommandUI();
}

CMainFrame::~CMainFrame() {
    // Our bols do not outlive the program; what others copied since stays.
    m_clipboard->ClearIfOwn();
    SaveWindowLayout();
    WriteAppSettings(m_settings);
}

QRect CMainFrame::FitToScreen(const QRect& available) {
    // One axis: start and size within [first, first + room), with `before`
    // and `after` kept free for the frame.
    const auto fit = [](int start, int size, int before, int after, int first, int room) {
        if (start >= first && start + size + after <= first + room)
            return std::pair{start, size};
        size = std::max(1, std::min(size, room - before - after));
        start = std::max(first + before, std::min(start, first + room - after - size));
        return std::pair{start, size};
    };
    const auto [left, width] = fit(kLeft, kWidth, kFrameAllowance.left(), kFrameAllowance.right(),
                                   available.left(), available.width());
    const auto [top, height] = fit(kTop, kHeight, kFrameAllowance.top(), kFrameAllowance.bottom(),
                                   available.top(), available.height());
    return QRect(left, top, width, height);
}

void CMainFrame::CreateBars() {
    m_toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setIconSize(QSize(16, 15));
    m_toolBar->setMovable(true);
    m_commands->BuildToolBar(m_toolBar);
    addToolBar(Qt::TopToolBarArea, m_toolBar);

    auto* status = statusBar();
    m_outputLabel = new QLabel(status);
    m_outputLabel->setObjectName(QStringLiteral("soundOutputLabel"));
    status->addPermanentWidget(m_outputLabel);
    m_practiceLabel = new QLabel(status);
    m_practiceLabel->setObjectName(QStringLiteral("practiceLabel"));
    m_practiceLabel->setToolTip(QStringLiteral("Cycles completed and time played since Play"));
    status->addPermanentWidget(m_practiceLabel);
    m_rampLabel = new QLabel(status);
    m_rampLabel->setObjectName(QStringLiteral("rampLabel"));
    m_rampLabel->setToolTip(QStringLiteral("The tempo the ramp runs to"));
    status->addPermanentWidget(m_rampLabel);
    m_practiceTimer = new QTimer(this);
    m_practiceTimer->setInterval(50);
    connect(m_practiceTimer, &QTimer::timeout, this, [this] {
        m_session.UpdatePractice();
        UpdatePractice();
    });
    for (const char* indicator : {"CAP", "NUM", "SCRL"})
        status->addPermanentWidget(MakeIndicator(indicator, status));
    connect(status, &QStatusBar::messageChanged, this, &CMainFrame::OnStatusMessageChanged);
    status->showMessage(QString::fromLatin1(kIdleMessage));

    m_tempoBar = new CTempoCtrlBar(m_sink, this);
    m_tempoBar->setAllowedAreas(Qt::AllToolBarAreas);
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, m_tempoBar);

    m_pitchBar = new CPitchCtrlBar(m_sink, this);
    m_pitchBar->setAllowedAreas(Qt::AllToolBarAreas);
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, m_pitchBar);
    m_bassTuningBar = new CBassTuningBar(this);
    m_bassTuningBar->setAllowedAreas(Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, m_bassTuningBar);

    // The levels sit under the panes, away from the bars that set the tempo
    // and pitch.
    m_mixerBar = new CMixerBar(this);
    m_mixerBar->setAllowedAreas(Qt::AllToolBarAreas);
    addToolBar(Qt::BottomToolBarArea, m_mixerBar);

    // Ctrl+Q works while the tempo bar is hidden.
    addAction(m_tempoBar->QuickChangeAction());
}

void CMainFrame::CreatePanes() {
    m_settings = ReadAppSettings();

    m_outerSplitter = new ST_SplitterWnd(Qt::Horizontal, 0, this);
    m_rightSplitter = new ST_SplitterWnd(Qt::Vertical, m_outerSplitter->Id() + 1);
    m_leftSplitter = new ST_SplitterWnd(Qt::Vertical, m_outerSplitter->Id() + 1);

    m_clipboard = new QtBolClipboard(nullptr, this);
    m_session.SetClipboard(m_clipboard);
    m_gridView = new CLorvantaView(m_session, m_sink, m_settings);
    m_textView = new CTaalTextView(m_sink);
    m_rightSplitter->AddPane(m_gridView, 400, 150);
    m_rightSplitter->AddPane(m_textView, 250, 150);

    m_treeView = new CTaalTree(m_settings, m_shell, m_sink);
    m_bolPropertiesView = new CBolPropertiesPane(m_sink);
    m_leftSplitter->AddPane(m_treeView, 250, 100);
    m_leftSplitter->AddPane(m_bolPropertiesView, 400, 100);

    m_outerSplitter->AddPane(m_leftSplitter, 350, 100);
    m_outerSplitter->AddPane(m_rightSplitter, 850, 100);
    setCentralWidget(m_outerSplitter);

    m_textView->SetSession(&m_session);
    m_bolPropertiesView->SetSession(&m_session);
    // The grid's right-click popups: a small one on empty space, the Edit
    // menu on a cell.
    auto* gridMenu = new QMenu(this);
    const int gridMenuIds[] = {kCmdEditInsert,    kCmdEditAppend,  0, kCmdEditUndo, kCmdEditRedo, 0,
                               kCmdEditSelectAll, kCmdEditClearAll};
    for (int id : gridMenuIds) {
        if (id == 0)
            gridMenu->addSeparator();
        else
            gridMenu->addAction(m_commands->Action(id));
    }
    m_gridView->SetContextMenus(gridMenu, CCommandSet::Popup(menuBar(), QStringLiteral("&Edit")));
    // The bol now sounding is lit in the notation too.
    connect(m_gridView, &CLorvantaView::soundingChanged, m_textView,
            [this](float, int bol) { m_textView->ShowSoundingBol(bol); });
    connect(m_tempoBar, &CTempoCtrlBar::tempoChanged, this,
            [this](float secondsPerBeat) { m_session.SetTempo(secondsPerBeat); });
    connect(m_pitchBar, &CPitchCtrlBar::pitchChanged, this,
            [this](float factor) { m_session.SetPitch(factor); });
    connect(m_bassTuningBar, &CBassTuningBar::tuningChanged, this, [this](float semitones) {
        StrokeStyle style = m_session.Style();
        style.bassTuning = semitones;
        m_session.SetStrokeStyle(style);
        m_settings.style = m_session.Style();
    });
    connect(m_mixerBar, &CMixerBar::levelsChanged, this, [this](const DrumLevels& levels) {
        m_session.SetDrumLevels(levels);
        m_settings.levels = m_session.Levels();
    });
    connect(m_mixerBar, &CMixerBar::droneLevelChanged, this, [this](float levelDb) {
        ChangeDrone([levelDb](DroneSettings& d) { d.levelDb = levelDb; });
    });
    connect(m_mixerBar, &CMixerBar::lehraLevelChanged, this, [this](float levelDb) {
        ChangeLehra([levelDb](LehraSettings& l) { l.levelDb = levelDb; });
    });
    connect(m_textView, &CTaalTextView::helpRequested, this, &CMainFrame::OnHelp);
    connect(m_textView, &CTaalTextView::taalApplied, this, [this] {
        m_gridView->setFocus(Qt::OtherFocusReason);
        UpdateCommandUI();
    });
    connect(m_treeView, &CTaalTree::openRequested, this, &CMainFrame::OpenFromTree);
    // The bol properties pane's Apply stores its bol as one undoable step;
    // Play Bol stops the Taal and sounds the form's bol.
    connect(m_bolPropertiesView, &CBolPropertiesPane::applyRequested, this,
            [this](const CBol2& edited) {
                if (const auto refused =
                        LimitMessage(m_session.Editor().ApplyBolProperties(edited)))
                    m_sink.Show(*refused);
            });
    connect(m_bolPropertiesView, &CBolPropertiesPane::playBolRequested, this,
            [this](const CBol2& bol) { m_session.PlayBol(bol); });
}

void CMainFrame::ConnectCommands() {
    const CCommandSet& commands = *m_commands;
    auto on = [&](int id, auto receiver, auto handler) {
        QAction* action = commands.Action(id);
        action->setEnabled(true);
        connect(action, &QAction::triggered, receiver, handler);
    };
    on(kCmdFileNew, &m_app, &CLorvantaApp::OnFileNew);
    on(kCmdFileOpen, &m_app, &CLorvantaApp::OnFileOpen);
    on(kCmdFileSave, &m_app, &CLorvantaApp::OnFileSave);
    on(kCmdFileSaveAs, &m_app, &CLorvantaApp::OnFileSaveAs);
    on(kCmdAppExit, this, &QWidget::close);
    on(kCmdAppAbout, &m_app, &CLorvantaApp::OnAppAbout);
    on(kCmdHelp, this, &CMainFrame::OnHelp);
    on(kCmdViewOptions, this, &CMainFrame::OnViewOptions);
    on(kCmdViewToolbar, m_toolBar, &QWidget::setVisible);
    on(kCmdViewStatusBar, statusBar(), &QWidget::setVisible);
    on(kCmdViewTempoControl, m_tempoBar, &QWidget::setVisible);
    on(kCmdViewPitchControl, m_pitchBar, &QWidget::setVisible);
    on(kCmdViewRowsByVibhag, this, [this](bool checked) {
        m_settings.rowsByVibhag = checked;
        m_gridView->ApplyRowsByVibhag();
    });
    on(kCmdViewMixer, m_mixerBar, &QWidget::setVisible);
    on(kCmdAudioPlay, this, [this] { m_session.Play(); });
    on(kCmdAudioStop, this, [this] { m_session.Stop(); });
    on(kCmdAudioPause, this, [this] { m_session.Pause(); });
    on(kCmdAudioPlayFromSelected, this, [this] { m_session.PlayFromSelected(); });
    on(kCmdDroneOn, this, [this] { ChangeDrone([](DroneSettings& d) { d.on = !d.on; }); });
    const std::pair<int, DroneTuning> tunings[] = {{kCmdDronePa, DroneTuning::Pa},
                                                   {kCmdDroneMa, DroneTuning::Ma},
                                                   {kCmdDroneNi, DroneTuning::Ni},
                                                   {kCmdDroneSa, DroneTuning::Sa}};
    for (const auto& [id, tuning] : tunings)
        on(id, this, [this, tuning] {
            ChangeDrone([tuning](DroneSettings& d) { d.setup.tuning = tuning; });
        });
    for (const auto& [id, octave] : {std::pair{kCmdDroneOctave3, 3}, {kCmdDroneOctave4, 4}})
        on(id, this, [this, octave] {
            ChangeDrone([octave](DroneSettings& d) { d.setup.octave = octave; });
        });
    on(kCmdDroneAlone, this, [this] {
        m_session.PlayDroneAlone();
        m_settings.drone = m_session.Drone();
        UpdateCommandUI();
    });
    connect(m_gridView, &CLorvantaView::droneKeyPressed, commands.Action(kCmdDroneOn),
            &QAction::trigger);
    on(kCmdLehraOn, this, [this] { ChangeLehra([](LehraSettings& l) { l.on = !l.on; }); });
    connect(m_gridView, &CLorvantaView::lehraKeyPressed, commands.Action(kCmdLehraOn),
            &QAction::trigger);
    if (auto* lehraMenu = menuBar()->findChild<QMenu*>(QStringLiteral("LehraMenu")))
        connect(lehraMenu, &QMenu::aboutToShow, this,
                [this, lehraMenu] { FillLehraMenu(lehraMenu); });
    on(kCmdAudioTempoRamp, this, &CMainFrame::OnTempoRamp);
    on(kCmdAudioPracticeRoutine, this, &CMainFrame::OnPracticeRoutine);
    connect(m_gridView, &CLorvantaView::tapKeyPressed, m_tempoBar,
            [this] { m_tempoBar->OnTap(TapTempo::Clock::now()); });
    on(kCmdNextPane, this, [this] { ActivateNextPane(false); });
    on(kCmdPreviousPane, this, [this] { ActivateNextPane(true); });

    const QList<QAction*>& recent = commands.RecentFileActions();
    for (int i = 0; i < recent.size(); ++i)
        connect(recent.at(i), &QAction::triggered, &m_app,
                [this, i] { m_app.OnOpenRecentFile(i); });
    connect(m_fileMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateRecentFileMenu);
    for (QMenu* menu : menuBar()->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    ConnectEditCommands();
}

void CMainFrame::ChangeDrone(const std::function<void(DroneSettings&)>& change) {
    DroneSettings drone = m_session.Drone();
    change(drone);
    m_session.SetDrone(drone);
    m_settings.drone = m_session.Drone();
    UpdateCommandUI();
}

void CMainFrame::ChangeLehra(const std::function<void(LehraSettings&)>& change) {
    LehraSettings lehra = m_session.LehraChoice();
    change(lehra);
    m_session.SetLehra(lehra);
    m_settings.lehra = m_session.LehraChoice();
    UpdateCommandUI();
}

void CMainFrame::FillLehraMenu(QMenu* menu) {
    // Everything after Lehra On is made afresh: the Taal may have changed.
    const QList<QAction*> actions = menu->actions();
    for (qsizetype i = 1; i < actions.size(); ++i) {
        menu->removeAction(actions[i]);
        actions[i]->deleteLater();
    }
    const LehraLibrary* library = m_session.Lehras();
    if (library == nullptr)
        return;
    const double beats = static_cast<double>(m_doc.Taal().Total());
    const LehraEntry* chosen = m_session.LehraChosen();
    auto* lehras = new QActionGroup(menu);
    auto addLehra = [&](const LehraEntry& entry, bool fits) {
        QAction* action = menu->addAction(QStringLiteral("%1 (%2, %3 beats)")
                                              .arg(QString::fromStdString(entry.lehra.name),
                                                   QString::fromStdString(entry.lehra.raag))
                                              .arg(entry.lehra.beats));
        action->setCheckable(true);
        action->setChecked(&entry == chosen);
        action->setEnabled(fits);
        lehras->addAction(action);
        const std::string name = entry.lehra.name;
        connect(action, &QAction::triggered, this, [this, name] {
            ChangeLehra([&name](LehraSettings& l) {
                l.name = name;
                l.on = true;
            });
        });
    };
    menu->addSeparator();
    const auto fitting = library->Fitting(beats);
    for (const LehraEntry* entry : fitting)
        addLehra(*entry, true);
    menu->addSeparator();
    for (const LehraEntry& entry : library->Lehras()) {
        if (std::ranges::find(fitting, &entry) == fitting.end())
            addLehra(entry, false);
    }
    menu->addSeparator();
    auto* instruments = new QActionGroup(menu);
    const auto& current = m_session.LehraChoice().instrument;
    auto addInstrument = [&](const QString& text, std::optional<LehraInstrument> instrument) {
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(current == instrument);
        instruments->addAction(action);
        connect(action, &QAction::triggered, this, [this, instrument] {
            ChangeLehra([instrument](LehraSettings& l) { l.instrument = instrument; });
        });
    };
    addInstrument(QStringLiteral("The Lehra's Own Instrument"), std::nullopt);
    for (LehraInstrument instrument : kAllLehraInstruments) {
        QString name = QString::fromLatin1(LehraInstrumentName(instrument));
        name[0] = name[0].toUpper();
        addInstrument(name, instrument);
    }
}

void CMainFrame::OnTempoRamp() {
    CTempoRampDialog dialog(60.0 / static_cast<double>(m_session.SecondsPerBeat()),
                            m_session.IsRamping(), m_sink, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (dialog.EndRequested())
        m_session.EndRamp();
    else
        m_session.StartRamp(dialog.Request()); // the dialog has checked it
    UpdateCommandUI();
}

void CMainFrame::OnPracticeRoutine() {
    if (!m_routineDialog) {
        const QString routines = QString::fromStdString(UserDataFolder().string());
        m_routineDialog = new CPracticeRoutineDialog(
            m_session, m_settings.taalsFolder, routines, m_sink,
            [this] { return m_app.SaveModified(); }, this);
    }
    m_routineDialog->show();
    m_routineDialog->raise();
    m_routineDialog->activateWindow();
}

QString CMainFrame::PracticeText(std::uint64_t cycles, std::chrono::steady_clock::duration played) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(played).count();
    const QString time =
        seconds >= 3600
            ? QStringLiteral("%1:%2:%3")
                  .arg(seconds / 3600)
                  .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                  .arg(seconds % 60, 2, 10, QLatin1Char('0'))
            : QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("Cycles %1   %2").arg(cycles).arg(time);
}

void CMainFrame::UpdateOutputStatus() {
    const CPlaybackEngine& engine = m_session.Engine();
    QString text;
    if (engine.IsOutputLost())
        text = QString::fromLatin1(kSoundOutputLost);
    else if (m_session.SoundStatus() == SoundSetupStatus::NoDevice)
        text = QString::fromLatin1(kNoSoundOutput);
    else if (const OutputDevice* output = engine.Output(); output && output->FellBack())
        text = QString::fromLatin1(kSoundOutputNotFound)
                   .arg(QString::fromStdString(m_app.SoundOutputWanted()));
    if (m_outputLabel->text() != text)
        m_outputLabel->setText(text);
}

void CMainFrame::UpdatePractice() {
    UpdateOutputStatus();
    const bool playing = m_session.IsPlaying() && !m_session.Engine().IsDroneAlone();
    if (playing && !m_practiceTimer->isActive())
        m_practiceTimer->start();
    else if (!playing)
        m_practiceTimer->stop();
    m_practiceLabel->setText(
        playing || m_session.IsPaused()
            ? PracticeText(m_session.CyclesCompleted(), m_session.PlayingTime())
            : QString());
    const auto& ramp = m_session.Ramp();
    m_rampLabel->setText(ramp ? RampText(ramp->TargetBpm()) : QString());
    m_rampLabel->setVisible(ramp.has_value());
}

QString CMainFrame::RampText(double targetBpm) {
    return QStringLiteral("Ramp \u2192 %1 bpm").arg(std::round(targetBpm * 10.0) / 10.0);
}

void CMainFrame::InitialUpdateViews() {
    m_session.OnInitialUpdate();
    // The browser shows which Taal is open (none for a new one).
    m_treeView->SelectFile(QString::fromStdString(m_doc.PathName()));
    FollowVibhagDisplay(false);
    m_dial->Refresh();
    UpdateCommandUI();
}

void CMainFrame::OnDocumentOpened(float defaultTempo) {
    m_tempoBar->ApplyDocumentTempo(static_cast<double>(defaultTempo));
}

void CMainFrame::RefreshTaalTree() {
    m_treeView->RefreshTree();
}

void CMainFrame::OpenFromTree(const QString& path) {
    m_app.OpenDocumentFile(path);
    m_gridView->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::UpdateCommandUI() {
    const CCommandSet& commands = *m_commands;
    commands.Action(kCmdFileSave)->setEnabled(m_doc.IsModified() || m_doc.Header().version < 3);
    commands.Action(kCmdAudioPlay)->setEnabled(m_session.CanPlay());
    commands.Action(kCmdAudioStop)->setEnabled(m_session.CanStop());
    commands.Action(kCmdAudioPause)->setEnabled(m_session.CanPause());
    commands.Action(kCmdAudioPlayFromSelected)->setEnabled(m_session.CanPlayFromSelected());
    UpdateEditCommandUI();
    const DroneSettings& drone = m_session.Drone();
    commands.Action(kCmdDroneOn)->setChecked(drone.on);
    for (const auto& [id, tuning] : {std::pair{kCmdDronePa, DroneTuning::Pa},
                                     {kCmdDroneMa, DroneTuning::Ma},
                                     {kCmdDroneNi, DroneTuning::Ni},
                                     {kCmdDroneSa, DroneTuning::Sa}})
        commands.Action(id)->setChecked(drone.setup.tuning == tuning);
    commands.Action(kCmdDroneOctave3)->setChecked(drone.setup.octave == 3);
    commands.Action(kCmdDroneOctave4)->setChecked(drone.setup.octave == 4);
    // A lehra switched off by an edit stays off next time too.
    m_settings.lehra.on = m_session.LehraChoice().on;
    commands.Action(kCmdLehraOn)->setChecked(m_settings.lehra.on);
    // The synthesiser loads for the lehra (seconds, the first time).
    const QString loading = QString::fromLatin1(messages::kLehraLoading);
    if (m_session.IsLehraLoading()) {
        if (statusBar()->currentMessage() != loading)
            statusBar()->showMessage(loading);
    } else if (statusBar()->currentMessage() == loading) {
        statusBar()->clearMessage();
    }
    commands.Action(kCmdViewToolbar)->setChecked(!m_toolBar->isHidden());
    commands.Action(kCmdViewStatusBar)->setChecked(!statusBar()->isHidden());
    commands.Action(kCmdViewTempoControl)->setChecked(!m_tempoBar->isHidden());
    commands.Action(kCmdViewPitchControl)->setChecked(!m_pitchBar->isHidden());
    commands.Action(kCmdViewRowsByVibhag)->setChecked(m_settings.rowsByVibhag);
    commands.Action(kCmdViewMixer)->setChecked(!m_mixerBar->isHidden());
    commands.Action(kCmdViewDial)->setChecked(!m_dialDock->isHidden());
    commands.Action(kCmdViewZoomFit)->setChecked(m_gridView->FitsZoom());
    commands.Action(kCmdAudioCountIn)->setChecked(m_window.countIn);
    UpdatePractice();
    UpdateTitle();
}

void CMainFrame::UpdateTitle() {
    const QString name = m_doc.Title().empty() ? QString::fromLatin1(CLorvantaApp::kNewDocumentName)
                                               : QString::fromStdString(m_doc.Title());
    const QString title = name + QStringLiteral("[*] - ") + QString::fromLatin1(kAppTitle);
    if (windowTitle() != title)
        setWindowTitle(title);
    setWindowModified(m_doc.IsModified());
}

void CMainFrame::UpdateRecentFileMenu() {
    const CRecentFileList& files = m_app.RecentFiles();
    const QList<QAction*>& actions = m_commands->RecentFileActions();
    for (int i = 0; i < actions.size(); ++i) {
        QAction* action = actions.at(i);
        if (i < files.Files().size()) {
            action->setText(files.MenuText(i));
            action->setEnabled(true);
            action->setVisible(true);
        } else {
            // With no files the first entry stays as a greyed placeholder.
            action->setText(QStringLiteral("Recent File"));
            action->setEnabled(false);
            action->setVisible(i == 0);
        }
    }
}

void CMainFrame::OnViewOptions() {
    // The dialog shows the strokes playing (a --kit may differ from the
    // setting); only another choice becomes the setting.
    const KitChoice stored = m_settings.strokes;
    const KitChoice playing = m_app.StrokesInUse();
    m_settings.strokes = playing;
    const QString output = m_settings.soundOutput;
    COptionsDialog dialog(m_settings, m_sink, m_shell.chooseFolder, this);
    dialog.SetSoundOutputs(m_app.SoundOutputs());
    if (dialog.exec() == QDialog::Accepted)
        RefreshTaalTree();
    // Another output is heard at once, playing on where it was.
    if (m_settings.soundOutput != output) {
        m_app.ChangeSoundOutput(m_settings.soundOutput);
        UpdateOutputStatus();
    }
    // Stroke endings and humanise are heard at once, playing on where it was.
    m_session.SetStrokeStyle(m_settings.style);
    // Other strokes are heard at once, playing on where it was.
    if (m_settings.strokes != playing)
        m_app.ChangeStrokes(m_settings.strokes);
    else
        m_settings.strokes = stored;
    m_gridView->viewport()->update();
}

void CMainFrame::OnHelp() {
    ShowHelp(HelpAddress());
}

void CMainFrame::ShowHelp(const QUrl& address) {
    std::optional<QString> error;
    if (address.isEmpty()) {
        error = QStringLiteral("The help page is missing.");
    } else if (CHelpWindow::IsLocal(address)) {
        if (!m_helpWindow) {
            const bool browser = m_shell.openUrl && m_shell.hasBrowser && m_shell.hasBrowser();
            m_helpWindow =
                new CHelpWindow(m_sink, browser ? m_shell.openUrl : CHyperLink::Opener(), this);
        }
        m_helpWindow->ShowPage(address);
    } else {
        error = m_shell.openUrl ? m_shell.openUrl(address)
                                : QStringLiteral("The desktop has no web browser.");
    }
    if (error) {
        m_sink.Show({MessageKind::Warning,
                     FormatMessage("Unable to open the help page:\n\n%1", error->toStdString())});
    }
}

QList<QWidget*> CMainFrame::Panes() const {
    return {m_treeView, m_bolPropertiesView, m_gridView, m_textView};
}

void CMainFrame::ActivateNextPane(bool previous) {
    const QList<QWidget*> panes = Panes();
    const QWidget* focus = focusWidget();
    qsizetype current = panes.indexOf(m_gridView);
    for (qsizetype i = 0; i < panes.size(); ++i) {
        if (focus && (focus == panes.at(i) || panes.at(i)->isAncestorOf(focus)))
            current = i;
    }
    const qsizetype count = panes.size();
    const qsizetype next = (current + (previous ? count - 1 : 1)) % count;
    FocusPane(panes.at(next));
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_app.SaveModified()) {
        event->ignore();
        return;
    }
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    activateWindow();
    for (const QString& file : files)
        m_app.OpenDocumentFile(file);
}

void CMainFrame::OnStatusMessageChanged(const QString& message) {
    if (message.isEmpty())
        statusBar()->showMessage(QString::fromLatin1(kIdleMessage));
}

} // namespace lorvanta
