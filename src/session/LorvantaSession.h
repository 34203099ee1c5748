#pragma once

// The editing session: one document with its editor, its sound (the renderer
// and the bol audition) and its playback, behind the window and the
// command-line tool alike. Standard C++ only: the window's views follow it
// through its observers, the command line drives it directly.
//
// Threads: everything here runs on one thread (the window's), except the
// playing position, which the feeding thread publishes through atomics, and
// the lehra's loops, which its worker renders and hands to playback.

#include "audio/BolAudition.h"
#include "audio/DroneMix.h"
#include "audio/DrumLevels.h"
#include "audio/LehraMix.h"
#include "audio/StrokeStyle.h"
#include "audio/Tanpura.h"
#include "audio/playback/DirectSound.h"
#include "audio/playback/SoundSetupStatus.h"
#include "lehra/LehraLibrary.h"
#include "model/LorvantaDoc.h"
#include "session/LehraWorker.h"
#include "session/RendererSync.h"
#include "session/RoutinePlan.h"
#include "session/TaalEditor.h"
#include "session/TempoRamp.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvanta {

class BolClipboard;
class CBol2;
class CPlaybackEngine;
struct PlayingPosition;
class CSampleBank;
class CTaalRenderer;
class TaalImage;
class MessageSink;

class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    // Playing started, paused or stopped (also when an edit left the Taal
    // empty, or another Taal stopped it).
    virtual void OnPlaybackChanged() {}
    // A tempo ramp moved the tempo (now heard), or started or ended.
    virtual void OnTempoChanged(float /*secondsPerBeat*/) {}
    virtual void OnRampChanged() {}
    // A practice routine started, moved to its next step or ended.
    virtual void OnRoutineChanged() {}
    // The lehra's synthesiser started or stopped loading, or the lehra was
    // switched off.
    virtual void OnLehraChanged() {}
};

// Whether a session's renderer follows the Taal. Editing alone (the command
// line's edit) leaves it out: on a long Taal of many different bols,
// rendering costs many times the edits themselves, and nothing is heard.
enum class SessionSound {
    Rendered, // every bol rendered as it changes, ready to play or save
    Silent,   // no bol rendered and no sound set up, whatever the opener
};

// The drone as the player sets it: on or off, the first string and Sa's
// octave, and its level against the Taal.
struct DroneSettings {
    bool on = false;
    TanpuraSetup setup;
    float levelDb = kDefaultDroneLevelDb;
};

// The lehra as the player sets it: on or off, which one (empty: the first
// that fits the Taal), the instrument (none: the lehra's own) and its level
// against the Taal.
struct LehraSettings {
    bool on = false;
    std::string name;
    std::optional<LehraInstrument> instrument;
    float levelDb = kDefaultLehraLevelDb;
};

class CLorvantaSession : private EditorObserver {
public:
    // The bank and sink must outlive the session. Output is opened through
    // `opener` when the first document starts; a session without one (the
    // command line's renders) never sets up sound. The clipboard may be null
    // until the program's own is set.
    CLorvantaSession(const CSampleBank& bank, MessageSink& sink, OutputOpener opener,
                     BolClipboard* clipboard = nullptr,
                     SessionSound sound = SessionSound::Rendered);
    // Stops playback and shuts the sound down before anything it reads goes.
    ~CLorvantaSession() override;
    CLorvantaSession(const CLorvantaSession&) = delete;
    CLorvantaSession& operator=(const CLorvantaSession&) = delete;

    CLorvantaDoc& Document() { return m_doc; }
    const CLorvantaDoc& Document() const { return m_doc; }
    CTaalEditor& Editor() { return m_editor; }
    const CTaalEditor& Editor() const { return m_editor; }
    CTaalRenderer& Renderer() { return *m_renderer; }
    const CTaalRenderer& Renderer() const { return *m_renderer; }
    void SetClipboard(BolClipboard* clipboard) { m_editor.SetClipboard(clipboard); }

    // The observer is told of playback, tempo and ramp changes for as long
    // as the subscription lives.
    [[nodiscard]] Subscription Subscribe(SessionObserver& observer) {
        return m_observers.Subscribe(observer);
    }

    // A document was created or opened: playback stops, the editor starts
    // afresh (undo history, selection) and every bol is rendered; the first
    // time, the sound output is set up and a failure shown.
    void OnInitialUpdate();
    // Status of the sound set-up (Ok: sound works), as the last attempt left
    // it: every Play tries again when there is no output. Having no device
    // at all is not shown as a message at start-up; the caller says so.
    SoundSetupStatus SoundStatus() const;
    // Another output: later set-ups open it through `opener`; an output open
    // now moves to `device` at once (see CPlaybackEngine::SelectOutputDevice).
    HResult ChooseOutput(OutputOpener opener, const std::string& device);
    // Called on the feeding thread when the output is lost while playing and
    // when it is back; set before the first document starts.
    using OutputListener = std::function<void(OutputEvent)>;
    void SetOutputListener(OutputListener listener);

    // --- Playback ------------------------------------------------------
    void Play();
    void Pause();
    void Stop();
    void PlayFromSelected();
    // Beats counted in a soft click before Play from the start (0: none;
    // at most kMaxCountInBeats): the Taal's first bol comes on the beat
    // after the count.
    void SetCountInBeats(int beats);
    int CountInBeats() const { return m_countInBeats; }
    // Beats of the count still to come, the one sounding included (3, 2,
    // 1); 0 when not counting in. While counting in, the playing beat is the
    // Taal's first and no bol sounds (-1).
    int CountInLeft() const;
    bool CanPlay() const;
    bool CanPause() const;
    bool CanStop() const;
    bool CanPlayFromSelected() const;
    bool IsPlaying() const;
    bool IsPaused() const;
    // From the tempo and pitch bars: heard at once while playing. A tempo
    // set by hand ends a tempo ramp.
    void SetTempo(float secondsPerBeat);
    float SecondsPerBeat() const;
    void SetPitch(float factor);
    // The bank's strokes changed (another kit): every bol is rendered anew
    // and, while playing, heard at once from the same point of the cycle.
    void OnStrokesChanged();
    // The treble, bass and master levels (clamped to their range), for the
    // Taal and the bol audition alike. A change renders every bol anew and,
    // while playing, is heard at once from the same point of the cycle.
    void SetDrumLevels(const DrumLevels& levels);
    const DrumLevels& Levels() const;
    // How strokes end (ring on or cut at the next bol), how much each hit is
    // humanised and how the bass drum is tuned against the treble (clamped).
    // A change renders every bol anew and, while playing, is heard at once.
    void SetStrokeStyle(const StrokeStyle& style);
    const StrokeStyle& Style() const;
    // The drone mixed into playback, heard within one ring while playing. A
    // new tuning or octave renders the loop here, on the calling thread (some
    // tens of milliseconds), once the drone is on; the level is clamped to
    // the drone's range.
    void SetDrone(const DroneSettings& settings);
    const DroneSettings& Drone() const { return m_drone; }
    // The loop last rendered (null before the drone was first on), for
    // writing the drone with the Taal.
    const DroneLoop& DroneLoopInUse() const { return m_droneLoop; }
    // The lehras to choose from (kept while the session uses them).
    void SetLehraLibrary(std::shared_ptr<const LehraLibrary> library);
    const LehraLibrary* Lehras() const { return m_lehras.get(); }
    // The lehra mixed into playback in step with the Taal. While on, its loop
    // is rendered by the lehra's worker thread for each new length of the
    // Taal's cycle (a tempo or pitch change, a ramp's next cycle) and joins
    // playing, at its place in the cycle, as soon as it is ready (tens of
    // milliseconds; the first time seconds, while the synthesiser loads).
    // Nothing here waits for it. A lehra that is not found or does not fit
    // the Taal is switched off with a note; one that cannot be played, once
    // the worker finds so (see TakeLehraNews).
    void SetLehra(const LehraSettings& settings);
    const LehraSettings& LehraChoice() const { return m_lehra; }
    // The lehra the settings choose for this Taal (null: none).
    const LehraEntry* LehraChosen() const;
    // The loop handed to playback for the image in use (null: none yet).
    LehraLoopPtr LehraLoopInUse() const;
    // The synthesiser is loading for the lehra switched on.
    bool IsLehraLoading() const;
    // Waits until the lehra's loops are handed to playback, or the
    // synthesiser failed (its note shown, the lehra switched off); for the
    // command line and tests. True when the lehra is on.
    bool WaitForLehra();
    // Called on the worker's thread when it has news for this thread (the
    // synthesiser loaded or failed): the caller then has TakeLehraNews called
    // on this thread. Without one, UpdatePractice takes the news.
    void SetLehraNewsHandler(std::function<void()> handler);
    // Shows a failure to start the synthesiser (the lehra switched off) and
    // tells the observers that loading ended.
    void TakeLehraNews();
    // What plays the lehra (the synthesiser unless set; tests give their
    // own). Taken when the lehra is first on.
    void SetLehraVoiceOpener(LehraVoiceOpener opener);

    // Stops the Taal, then plays the drone (turned on) without it.
    void PlayDroneAlone();
    // Stops the Taal, then plays the bol alone, one beat long.
    void PlayBol(const CBol2& bol);

    // --- Playing position (any thread) ------------------------------------
    // 1-based beat and bol index last heard.
    float PlayingBeat() const;
    int PlayingBol() const;
    // Counts the positions the feeding thread has published.
    std::uint64_t PositionUpdates() const {
        return m_positionUpdates.load(std::memory_order_acquire);
    }
    // Also called on the feeding thread with each position published, for a
    // caller that needs every beat at the moment it is heard (the command
    // line's beat display). It must not allocate, block or call back into
    // the session. Taken only before the sound is set up; later calls change
    // nothing.
    using PositionListener = std::function<void(const PlayingPosition&)>;
    void SetPositionListener(PositionListener listener);

    // --- Practice: the counted session and the tempo ramp -------------------
    // Cycles completed since Play (wraps of the playing position) and the
    // time played since Play; Pause holds both, Stop sets them back to 0.
    std::uint64_t CyclesCompleted() const { return m_cycles.load(std::memory_order_acquire); }
    std::chrono::steady_clock::duration PlayingTime() const;
    // Starts a ramp from the current tempo (refused with its status); it
    // runs while playing, from the cycles and time counted so far, and ends
    // at the target, with a tempo set by hand, or at Stop. Every change lands
    // at a cycle's start: each cycle is played at the ramp's tempo for the
    // moment it starts.
    RampStatus StartRamp(const RampRequest& request);
    void EndRamp();
    bool IsRamping() const { return m_ramp.has_value(); }
    const std::optional<TempoRamp>& Ramp() const { return m_ramp; }
    // Called on this thread now and then while playing (the window's timer,
    // the command line's loop): follows the cycles heard and readies the
    // ramp's next cycle well before it begins.
    void UpdatePractice();

    // --- Practice routine --------------------------------------------------
    // Plays a routine from its first step: what plays stops, the first step's
    // Taal goes into the document (as opening its file would) and plays at
    // its tempo. Each next step is readied once its predecessor's last cycle
    // is heard, and playback takes it exactly at that cycle's end (another
    // Taal, tempo or both); the document then shows it. The routine ends
    // after its last step (playing stops there, on the sam), at Stop or
    // another Taal, with a ramp, or when the document is edited (playing
    // goes on). The drone carries on throughout. A plan with no steps or one
    // that failed does nothing.
    void StartRoutine(RoutinePlan plan);
    void EndRoutine();
    bool IsInRoutine() const { return m_routine.has_value(); }
    struct RoutineProgress {
        int step = 0;         // 0-based planned step heard now (pauses are steps)
        int steps = 0;        // planned steps
        int routineSteps = 0; // the routine's own (a pause belongs to its step)
        const PlannedStep* planned = nullptr;
        std::uint64_t cyclesLeft = 0; // of this step, the one heard included
    };
    std::optional<RoutineProgress> Routine() const;

    CPlaybackEngine& Engine() { return *m_engine; }

private:
    // While playing, the image follows each edit once the edit is complete
    // (its bols rendered), so that sound and position shown change together.
    void OnBolsInserted(int first, int count) override;
    void OnBolsRemoved(int first, int count) override;
    void OnBolsChanged(int first, int count) override;
    void OnTaalReplaced(TaalReplacement why) override;
    void OnLongOperationStarted() override { ++m_longOperations; }
    void OnLongOperationEnded() override;
    void TaalEdited();
    void PlaybackChanged();
    void TempoChanged();
    // Before a Play: the first position after it is no wrap; from a stop the
    // counts start at 0.
    void BeforePlay();
    void UpdateRoutine();
    // Hands playback the routine's step, made by a renderer of its own.
    void ReadyRoutineStep(int step);
    // Puts the routine's step in the document without stopping playback.
    void ShowRoutineStep(int step);
    void RoutineChanged();
    // While the lehra is on: its loops for the image in use and the next
    // cycle's, rendered when their cycle's length is new, handed to playback.
    void SyncLehra();
    // The same, first building the image when stopped (a tempo, pitch or
    // lehra chosen before Play).
    void ReadyLehra();
    // After an edit: a lehra that no longer fits is switched off with a note.
    void CheckLehraFits();
    void SwitchLehraOff(const std::string& note);
    // The lehra is off: the worker drops what it was asked for.
    void LehraOff();
    void LehraChanged();

    const CSampleBank& m_bank;
    MessageSink& m_sink;
    const bool m_hasOutput;
    const bool m_rendersBols;
    CLorvantaDoc m_doc;
    std::unique_ptr<CTaalRenderer> m_renderer;
    std::unique_ptr<CPlaybackEngine> m_engine;
    CTaalEditor m_editor;
    RendererSync m_rendererSync;
    Subscription m_rendererSubscription;
    Subscription m_selfSubscription;
    CBolAudition m_audition;
    ObserverList<SessionObserver> m_observers;
    std::atomic<std::uint64_t> m_positionUpdates{0};
    PositionListener m_positionListener;
    OutputListener m_outputListener;
    DroneSettings m_drone;
    DroneLoop m_droneLoop;
    TanpuraSetup m_loopSetup; // what m_droneLoop was rendered for
    std::shared_ptr<const LehraLibrary> m_lehras;
    LehraSettings m_lehra;
    LehraVoiceOpener m_lehraVoiceOpener;
    std::function<void()> m_lehraNewsHandler;
    // Started when the lehra is first on; it hands loops to the engine.
    std::unique_ptr<LehraWorker> m_lehraWorker;
    // What the worker was last asked for: the entry, its instrument and the
    // copy of the lehra it renders (the library may go meanwhile).
    const LehraEntry* m_lehraWishFor = nullptr;
    LehraInstrument m_lehraWishInstrument = LehraInstrument::Harmonium;
    std::shared_ptr<const Lehra> m_lehraWished;
    bool m_lehraLoadingTold = false; // observers were told it is loading
    bool m_soundSetUp = false;
    int m_longOperations = 0;
    bool m_editedDuringOperation = false;

    // The counted session. The feeding thread counts wraps; the rest is this
    // thread's.
    std::atomic<std::uint64_t> m_cycles{0};
    std::atomic<bool> m_firstPosition{false};
    float m_lastCycleBeats = 0.0f; // the feeding thread's alone
    std::chrono::steady_clock::duration m_playedBefore{};
    std::chrono::steady_clock::time_point m_playingSince;
    bool m_timing = false;
    // The ramp, the cycles counted and time played when it began, and the
    // cycle count its next cycle was last readied at.
    std::optional<TempoRamp> m_ramp;
    int m_countInBeats = 0;
    // The count-in's clicks, read by the engine ahead of the Taal; replaced
    // only while the engine does not read it.
    std::unique_ptr<TaalImage> m_countIn;
    std::uint64_t m_rampCycles = 0;
    std::chrono::steady_clock::duration m_rampTime{};
    std::optional<std::uint64_t> m_readiedAt;

    // The routine: its steps, the cycle count each starts at, the step
    // playback reads and the one handed to it for the next cycle (-1: none).
    struct RoutineRun {
        RoutinePlan plan;
        std::vector<std::uint64_t> starts;
        int playing = 0;
        int readied = -1;
        bool shown = true; // the document shows the step playing
    };
    std::optional<RoutineRun> m_routine;
    bool m_showingStep = false; // the document is being given the next step
};

} // namespace lorvanta
