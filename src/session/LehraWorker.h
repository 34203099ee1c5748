#pragma once

// Renders the lehra's loops on a thread of its own and hands them to
// playback, so that neither starting the synthesiser (seconds) nor rendering a
// loop (tens of milliseconds) holds up the window's thread.
//
// The window's thread says which loops it wants now (`Want`): the lehra, its
// instrument and cycles, and the cycle lengths of the image in use and of the
// next cycle's image. Loops already rendered are handed over at once; the
// worker renders the missing ones, the image in use's first, and hands each
// over as soon as it is ready. Only the latest wish counts: one that a newer
// one replaced before its turn is never rendered.
//
// Every hand-over goes through CPlaybackEngine::SetLehraLoops (a pointer swap
// under the engine's stream lock; the loops it replaces are freed on the
// thread that hands over, never on the feeding thread), under this worker's
// own lock, so that the two threads' hand-overs never cross.

#include "audio/LehraMix.h"
#include "lehra/Lehra.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace lorvanta {

class CPlaybackEngine;

// What plays a lehra into samples: the synthesiser in the program, a stand-in
// in tests. Called on the worker's thread only.
class LehraVoice {
public:
    virtual ~LehraVoice() = default;
    // As LehraSynth::Render. A render may end early once `abandon` is
    // requested (the worker is going); what it returns then is dropped.
    virtual std::vector<std::int16_t> Render(const Lehra& lehra, LehraInstrument instrument,
                                             std::size_t samples, std::stop_token abandon) = 0;
};
// Starts a voice (on the worker's thread; it may take seconds): null, with the
// reason in `problem`, when it cannot.
using LehraVoiceOpener =
    std::function<std::unique_ptr<LehraVoice>(std::string& problem, std::stop_token abandon)>;
// The program's voice: LehraSynth at `sampleRate`.
LehraVoiceOpener SynthVoiceOpener(std::uint32_t sampleRate);

// The loops wanted now.
struct LehraWish {
    std::shared_ptr<const Lehra> lehra; // null: none; a new one drops the loops kept
    LehraInstrument instrument = LehraInstrument::Harmonium;
    int cycles = 1;
    std::size_t currentCycle = 0; // samples per cycle of the image in use (0: none)
    std::size_t nextCycle = 0;    // of the next cycle's image waiting (0: none)
};

class LehraWorker {
public:
    LehraWorker(CPlaybackEngine& engine, LehraVoiceOpener opener);
    // Abandons what waits and waits for a render under way (the engine is not
    // touched after that).
    ~LehraWorker();
    LehraWorker(const LehraWorker&) = delete;
    LehraWorker& operator=(const LehraWorker&) = delete;

    // Called on the worker's thread when the voice has started or failed to:
    // the owner then calls TakeNews on its own thread.
    void SetNewsHandler(std::function<void()> handler);
    // Hands over the loops already rendered for the wish (null for the others)
    // and has the worker render the missing ones; the first wish of a lehra
    // starts the voice, even before a loop is due. Never waits for a render.
    void Want(LehraWish wish);
    // Until the voice has started and the wished loops are handed over, or it
    // failed to start.
    void Wait();

    // The voice is starting (from the first wish until it has started or
    // failed).
    bool IsStarting() const;
    struct News {
        bool started = false;               // the voice started since last asked
        std::optional<std::string> failure; // it failed to start: why
    };
    // What happened since last asked. After a failure the worker renders
    // nothing until it is taken; the next wish then tries again.
    News TakeNews();
    // The loop last handed over for the image in use (null: none).
    LehraLoopPtr Handed() const;
    // Loops rendered so far, and the longest render, in seconds.
    struct Figures {
        std::uint64_t renders = 0;
        double longestRender = 0.0;
    };
    Figures CurrentFigures() const;

private:
    enum class Voice { Closed, Starting, Open, Failed };
    void Run(std::stop_token stop);
    // Under m_mutex: the kept loop for one cycle length (null: none), and the
    // wish's cycle length still to render (0: none).
    LehraLoopPtr KeptFor(std::size_t cycle) const;
    std::size_t Missing() const;
    void HandOverLocked();

    CPlaybackEngine& m_engine;
    const LehraVoiceOpener m_opener;
    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake; // the worker: a new wish, or stop
    std::condition_variable m_done;     // Wait: a hand-over, or a failure
    LehraWish m_wish;
    // Loops rendered for the wish's lehra, instrument and cycles, the last
    // few cycle lengths (a ramp or the tempo bar returns to them).
    std::vector<LehraLoopPtr> m_kept;
    LehraLoopPtr m_handedCurrent, m_handedNext;
    Voice m_voice = Voice::Closed;
    std::unique_ptr<LehraVoice> m_voiceObject; // the worker's alone once open
    bool m_started = false;
    std::optional<std::string> m_failure;
    std::function<void()> m_news;
    Figures m_figures;
    std::jthread m_thread; // last: it goes first
};

} // namespace lorvanta
