#pragma once

// The playback engine: plays the renderer's Taal image in an endless loop.
//
// A ring of 8 chunks of 440 bytes (80 ms at 22050 Hz) plays in a loop on the
// output; a feeding thread, woken as each chunk has been played, copies the
// next 440 bytes of the image into it and works out the beat and the bol now
// sounding. The image can be rebuilt while it plays (tempo, pitch, an applied
// bol edit): the renderer hands the new image over and playback goes on at the
// same fraction of the cycle.
//
// Threads. Every operation here runs on the user-interface thread except the
// feeding thread's own work and the handlers it calls. The engine's stream
// lock (priority-inheriting) guards the reader (the image being played and
// the position in it), the drone's loop and the ring; the refill, the
// position read, the moves of the ring and the change of image take it,
// briefly, so they never overlap. Nothing sleeps, blocks or allocates while
// holding it: images and loops are built before it is taken and the ones
// they replace freed after it is let go, on the user-interface thread. The
// output's consumer (device callback or virtual clock) takes no lock.

#include "audio/DroneMix.h"
#include "audio/LehraMix.h"
#include "audio/WaveReader.h"
#include "audio/output/EventSet.h"
#include "audio/playback/DirectSound.h"
#include "audio/playback/ForwardPosition.h"
#include "audio/playback/ImageCrossfade.h"
#include "audio/playback/SoundSetupStatus.h"
#include "audio/playback/StreamLock.h"
#include "model/ThreadRole.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

namespace lorvanta {

class CLorvantaDoc;
class CTaalRenderer;
class MessageSink;
class TaalImage;
struct UserMessage;

namespace messages {
inline constexpr const char* kErrorPlayingBuffer =
    "Error playing sound output, CLorvantaView::OnAudioPlay";
} // namespace messages

// Exit codes of the feeding thread.
enum class FeedingExit : std::uint32_t {
    Stopped = 0,
    RefillFailed = 27,
};

// A failed refill ends playing; the command-line tool says so.
inline constexpr std::array<StatusEntry<FeedingExit>, 2> kFeedingExitTable{{
    {FeedingExit::Stopped, 0, ""},
    {FeedingExit::RefillFailed, 27, "playback stopped: the sound output failed"},
}};
static_assert(StatusTableConsistent(kFeedingExitTable));

constexpr const auto& StatusTableOf(FeedingExit) {
    return kFeedingExitTable;
}

// "Error initializing sound output (error code = N)", error icon.
UserMessage SoundInitFailureMessage(SoundSetupStatus status);

// Where the playing position is: 1-based beat, and the bol sounding.
struct PlayingPosition {
    float beat = 1.0f;         // 1.0 at the cycle's start, Taal length + 1 at its end
    float previousBeat = 1.0f; // the beat at the last update
    std::uint32_t bolIndex = 0;
    std::uint64_t offset = 0; // bytes into the image's samples
    float cycleBeats = 0.0f;  // the Taal's length in beats (0: nothing playing)
    bool countingIn = false;  // heard in the lead-in before the Taal (beat and bol are its)
};

// The position for a reader position (bytes into the image's samples) and
// the bytes read that have not been heard yet (negative: heard beyond it):
// the offset goes back by the lag, round the cycle; beat = offset / data size
// * Taal length + 1, in single precision; the bol is the first k with bol
// starts[k] < sample <= bol starts[k + 1] (0 when none). Data size 0 gives
// beat 1 and bol 0.
PlayingPosition ComputePlayingPosition(std::uint64_t readerPosition, std::int64_t lag,
                                       float taalLength, const TaalImage& image);

class CPlaybackEngine {
public:
    static constexpr std::uint32_t kNotifySamples = 220;
    static constexpr std::uint32_t kNotifyCount = 8;
    static constexpr std::uint32_t kRefillEvent = 0;
    static constexpr std::uint32_t kStopEvent = 1;
    // How often the playing feeding thread looks for played chunks and the
    // position when no notification has woken it; it looks sooner when a
    // beat is about to begin, but never more often than kFeedingMinimumWait.
    static constexpr std::chrono::microseconds kFeedingCheckInterval{5000};
    static constexpr std::chrono::microseconds kFeedingMinimumWait{500};
    // How long the feeding thread waits for the heard position, offset bytes
    // into an image of bytesPerBeat bytes a beat (two a sample) played at
    // frequency, to reach the next whole beat: just past it, within
    // kFeedingMinimumWait and kFeedingCheckInterval.
    static std::chrono::microseconds WaitForNextBeat(double offset, double bytesPerBeat,
                                                     std::uint32_t frequency);

    // Called on the feeding thread each time the playing beat changes. It must
    // not block or call back into the engine: a window stores the position in
    // atomics and posts one coalesced repaint to its own thread. A call may
    // still arrive just after Stop or Pause; check IsPlaying() there.
    using PositionHandler = std::function<void(const PlayingPosition&)>;

    // The document, the renderer and the sink must outlive the engine. Output
    // is opened through `opener` at InitDirectSound.
    CPlaybackEngine(const CLorvantaDoc& doc, CTaalRenderer& renderer, MessageSink& sink,
                    OutputOpener opener);
    // Stops playback and shuts the engine down.
    ~CPlaybackEngine();
    CPlaybackEngine(const CPlaybackEngine&) = delete;
    CPlaybackEngine& operator=(const CPlaybackEngine&) = delete;

    // Called on the feeding thread when the output is lost while playing and
    // when it is back; the same rules as the position handler.
    using OutputHandler = std::function<void(OutputEvent)>;

    // Only while the feeding thread does not run (before InitDirectSound).
    void SetPositionHandler(PositionHandler handler);
    void SetOutputHandler(OutputHandler handler);

    // --- Set-up and shut-down --------------------------------------------
    // Opens the output, starts the feeding thread and creates the ring on the
    // current image. Once only: later calls return Ok. On a failure the caller
    // shows SoundInitFailureMessage and goes on without sound.
    SoundSetupStatus InitDirectSound();
    // Stops and joins the feeding thread, then releases the ring and the
    // output, in that order. Safe to call more than once.
    void ShutdownDirectSound();
    // How later set-ups open the output (another device chosen).
    void SetOutputOpener(OutputOpener opener) { m_opener = std::move(opener); }
    // Moves the sound to another device of the open output at once, at the
    // same place in the cycle (empty: the default). HResult::NotImplemented
    // for an output without devices to choose, NotInitialized without one.
    HResult SelectOutputDevice(const std::string& name);
    // How the last set-up went (Ok before any).
    SoundSetupStatus SetupStatus() const { return m_setupStatus; }
    // The open output (null: none).
    const OutputDevice* Output() const { return m_device ? m_device->Output() : nullptr; }
    // The output was lost while playing and is not back yet.
    bool IsOutputLost() const { return m_outputLost.load(std::memory_order_acquire); }

    // --- Commands ---------------------------------------------------------
    // Refuses an empty Taal with "You must load a Taal before playing it".
    // Builds the image; if not already playing, starts the ring at the cycle's
    // start, or where Pause left it. Without an output (none could be opened,
    // or it was lost) it first sets the output up again, and says what failed
    // when that fails.
    void OnAudioPlay();
    // As Play, from the start of bol firstSelected (-1: none, the start).
    void OnAudioPlayFromSelected(int firstSelected);
    // As Play from the start (not a resume), after a lead-in (a count-in's
    // clicks): the reader plays `leadIn` first and goes on with the Taal's
    // image at its wrap, so that the Taal's first bol comes exactly after
    // it. A rebuilt Taal image meanwhile becomes the one that follows. The
    // lead-in must live until CountingIn() is false or playing stops.
    void OnAudioPlayAfter(const TaalImage& leadIn);
    // Whether what is heard is still the lead-in.
    bool CountingIn() const { return m_countingIn.load(std::memory_order_acquire); }
    // Stops the ring where it is; Play resumes there.
    void OnAudioPause();
    // Stops and rewinds; does nothing unless playing.
    void OnAudioStop();
    // A new Taal (opened, cleared, replaced as a whole): playing stops and a
    // pause ends, as Stop would, so that the next Play starts at its start.
    void OnTaalReplaced();

    // Enabling rules of the four commands.
    bool CanPlay() const;
    bool CanPlayFromSelected(int selectedCount) const { return CanPlay() && selectedCount == 1; }
    bool CanPause() const { return IsPlaying(); }
    bool CanStop() const { return IsPlaying(); }

    // Plays a WAV image (16-bit mono PCM) once, after stopping the Taal; an
    // audition still sounding is replaced. The image is copied, so the caller
    // may reuse its memory at once. HResult::NotInitialized without an output,
    // HResult::InvalidArg for an image that is not 16-bit mono PCM.
    HResult PlayAudition(std::span<const std::uint8_t> waveImage);

    // The Taal's bols changed (an edit, undo or redo): while playing the image
    // is rebuilt at the same fraction of the cycle, so that what is heard and
    // the position shown change together; a Taal left empty stops.
    void OnTaalEdited();

    // --- The drone ---------------------------------------------------------
    // The feeding thread mixes the drone's loop (16-bit samples at the image's
    // own rate, so that the pitch shift moves both) into every chunk it
    // writes, at the drone's own position, which runs on across rebuilds of
    // the image and round the Taal's cycle. A change is heard within one ring.
    // The loop to play (null: none), rendered on the caller's thread; the one
    // it replaces is released here, never on the feeding thread.
    void SetDroneLoop(DroneLoop loop);
    void SetDroneOn(bool on) { m_drone.SetOn(on); }
    bool IsDroneOn() const { return m_drone.IsOn(); }
    // Plays the drone without the Taal (for singing against it; a Taal need
    // not be loaded), at the pitch the pitch bar sets, until Stop; Pause stops
    // it too. Play and Play from Selected bring the Taal back.
    void PlayDroneAlone();
    bool IsDroneAlone() const { return IsPlaying() && m_drone.IsAlone(); }
    void SetDroneLevel(float levelDb) { m_drone.SetLevelDb(levelDb); }
    // Samples into the loop where the next chunk's drone starts.
    std::size_t DronePosition() const;

    // --- The lehra ---------------------------------------------------------
    // Mixed like the drone, before the pitch shift, but in step with the
    // image: `current` rendered for the image being read, `next` (or null)
    // for the next cycle's image of a tempo ramp, taken at the wrap into it.
    // A loop is heard only while its cycle length is the image's. Any thread
    // but the feeding thread may hand loops over (the session's lehra worker
    // does); those they replace are released on it, never on the feeding
    // thread.
    void SetLehraLoops(LehraLoopPtr current, LehraLoopPtr next);
    void SetLehraOn(bool on) { m_lehra.SetOn(on); }
    bool IsLehraOn() const { return m_lehra.IsOn(); }
    void SetLehraLevel(float levelDb) { m_lehra.SetLevelDb(levelDb); }
    // The loop the feeding thread plays now (null: none).
    const LehraLoop* LehraLoopPlaying() const;

    // --- State ------------------------------------------------------------
    bool IsPlaying() const { return m_playing.load(std::memory_order_acquire); }
    bool IsPaused() const { return m_paused; }
    bool IsInitialized() const { return m_initialized; }
    float LastBeatPosition() const { return m_lastBeat.load(std::memory_order_acquire); }
    std::uint32_t PlayingBolIndex() const { return m_playingBol.load(std::memory_order_acquire); }
    // None while the feeding thread runs (or never ran), else how it ended.
    std::optional<FeedingExit> FeedingThreadExit() const {
        const int code = m_exitCode.load(std::memory_order_acquire);
        return code < 0 ? std::nullopt : std::optional(static_cast<FeedingExit>(code));
    }

    // The steady clock's count when the ring last started playing (0: never).
    std::int64_t PlayStartedAt() const;

    // --- Figures ----------------------------------------------------------
    // Notifications whose refill and position update are complete.
    std::uint64_t NotificationsProcessed() const {
        return m_processed.load(std::memory_order_acquire);
    }
    // What playing has gone through so far, for measurements.
    struct Figures {
        std::uint64_t chunksPlayed = 0; // notifications the ring signalled
        std::uint64_t underruns = 0;    // chunks played before they were refilled
        std::uint64_t refills = 0;
        bool feedingPriorityRaised = false;
    };
    Figures CurrentFigures() const;

private:
    // The steps of the commands, as the program names them. StartStream
    // plays from `offset` bytes into the image's samples (0: from a rewound
    // ring); ResumeStream goes on where Pause stopped.
    HResult StartStream(std::uint64_t offset);
    HResult ResumeStream();
    void AudioThreadProc();
    // Under the stream lock: the position heard now (what was read from the
    // image, less what is still queued in the ring and in the output);
    // true when it is to be delivered (it changed, or playing just started).
    bool UpdatePlayingBeat(PlayingPosition& position);
    // The renderer's new image: the reader moves to it at the same fraction
    // of the cycle, on an even byte.
    void OnImageBuilt(const TaalImage& image);
    OutputBuffer* Ring() const { return m_stream ? m_stream->Ring() : nullptr; }
    SoundSetupStatus SetUpOutput();
    // Before playing: an output that could not be opened, or was lost while
    // stopped, is set up again; false (with the message shown) when it fails.
    bool EnsureOutput();
    // Under the stream lock, while playing: true while the ring is lost (the
    // position holds; nothing is refilled). When its device is back, the ring
    // starts again from where the sound stopped. `event` tells what changed.
    bool HoldWhileLost(std::optional<OutputEvent>& event);
    // Under the stream lock: the beat shown starts again at `beat`, now.
    void RestartPosition(float beat);
    // Under the stream lock: the beat at a byte offset into the image read.
    float BeatAt(std::uint64_t offset) const;
    void PlayFrom(bool fromSelected, int firstSelected, const TaalImage* leadIn = nullptr);
    // Under the stream lock: the lead-in is over (or abandoned); the reader
    // goes back to the Taal's image if it was still on it.
    void EndLeadIn();
    void SetRingFrequency(std::uint32_t rate);
    // Under the stream lock: how long until the heard position reaches the
    // next whole beat, so that the feeding thread looks just then.
    std::chrono::microseconds UntilNextBeat(const PlayingPosition& position) const;

    const CLorvantaDoc& m_doc;
    CTaalRenderer& m_renderer;
    MessageSink& m_sink;
    OutputOpener m_opener;
    PositionHandler m_positionHandler;

    std::unique_ptr<CSoundDevice> m_device;
    OutputHandler m_outputHandler;
    mutable StreamLock m_streamLock;
    CWaveReader m_reader;        // guarded by m_streamLock
    DroneFeed m_drone;           // its loop and position guarded by m_streamLock too
    ImageCrossfade m_crossfade;  // guarded by m_streamLock
    ForwardPosition m_forward;   // guarded by m_streamLock
    double m_forwardCycle = 0.0; // the cycle it follows, in beats; guarded too
    // Under the stream lock: where the beat shown starts again at the next
    // position update (negative: it goes on), and the heard position as a
    // fraction of the cycle, kept while the output is lost.
    float m_restartBeat = -1.0f;
    ForwardPosition::Clock::time_point m_restartAt{};
    double m_heardFraction = 0.0;
    std::atomic<bool> m_outputLost{false};
    LehraFeed m_lehra; // its loops and cycle guarded by m_streamLock too
    // The loops the lehra feed may hold, kept alive here on this thread.
    LehraLoopPtr m_lehraCurrent;
    LehraLoopPtr m_lehraNext;
    const TaalImage* m_leadIn = nullptr; // guarded by m_streamLock
    std::atomic<bool> m_countingIn{false};
    std::unique_ptr<CStreamingSound> m_stream; // swapped only while the thread is away
    std::unique_ptr<OutputBuffer> m_audition;
    EventSet m_events;
    std::thread m_thread;
    // What only the feeding thread does (following the heard position) is
    // checked in debug builds.
    ThreadRole m_feedingThread;
    bool m_initialized = false;
    SoundSetupStatus m_setupStatus = SoundSetupStatus::Ok;

    std::atomic<bool> m_playing{false};
    bool m_paused = false;
    std::atomic<float> m_lastBeat{1.0f};
    std::atomic<std::uint32_t> m_playingBol{0};
    // Set when playing starts: the first position is delivered even when it
    // equals the last one shown.
    std::atomic<bool> m_announce{false};
    std::atomic<int> m_exitCode{-1}; // a FeedingExit, or -1 while running
    std::atomic<bool> m_priorityRaised{false};

    // Under the stream lock: notifications the feeding thread has taken.
    std::uint64_t m_taken = 0;
    std::atomic<std::uint64_t> m_processed{0};
    std::atomic<std::uint64_t> m_refills{0};
};

} // namespace lorvanta
