#include "session/LehraWorker.h"

#include "audio/playback/PlaybackEngine.h"
#include "lehra/LehraLibrary.h"
#include "lehra/LehraSynth.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <utility>

namespace lorvanta {

namespace {

// Cycle lengths kept per lehra: a ramp or the tempo bar returns to them.
constexpr std::size_t kKeptLoops = 4;

class SynthVoice final : public LehraVoice {
public:
    explicit SynthVoice(std::unique_ptr<LehraSynth> synth) : m_synth(std::move(synth)) {}
    // A whole loop takes tens of milliseconds: it is awaited, not abandoned.
    std::vector<std::int16_t> Render(const Lehra& lehra, LehraInstrument instrument,
                                     std::size_t samples, std::stop_token) override {
        return m_synth->Render(lehra, instrument, samples);
    }

private:
    std::unique_ptr<LehraSynth> m_synth;
};

} // namespace

LehraVoiceOpener SynthVoiceOpener(std::uint32_t sampleRate) {
    return [sampleRate](std::string& problem, std::stop_token) -> std::unique_ptr<LehraVoice> {
        std::unique_ptr<LehraSynth> synth = LehraSynth::Open(sampleRate, problem);
        if (!synth)
            return nullptr;
        return std::make_unique<SynthVoice>(std::move(synth));
    };
}

LehraWorker::LehraWorker(CPlaybackEngine& engine, LehraVoiceOpener opener)
    : m_engine(engine), m_opener(std::move(opener)),
      m_thread([this](std::stop_token stop) { Run(stop); }) {}

LehraWorker::~LehraWorker() {
    m_thread.request_stop();
    m_thread.join();
}

void LehraWorker::SetNewsHandler(std::function<void()> handler) {
    std::lock_guard lock(m_mutex);
    m_news = std::move(handler);
}

LehraLoopPtr LehraWorker::KeptFor(std::size_t cycle) const {
    if (cycle == 0)
        return nullptr;
    for (const LehraLoopPtr& loop : m_kept) {
        if (loop->cycleSamples == cycle)
            return loop;
    }
    return nullptr;
}

std::size_t LehraWorker::Missing() const {
    if (!m_wish.lehra || m_voice == Voice::Failed || m_voice == Voice::Closed)
        return 0;
    for (const std::size_t cycle : {m_wish.currentCycle, m_wish.nextCycle}) {
        if (cycle > 0 && !KeptFor(cycle))
            return cycle;
    }
    return 0;
}

void LehraWorker::HandOverLocked() {
    LehraLoopPtr current = KeptFor(m_wish.currentCycle);
    LehraLoopPtr next = KeptFor(m_wish.nextCycle);
    if (current == m_handedCurrent && next == m_handedNext)
        return;
    m_handedCurrent = current;
    m_handedNext = next;
    m_engine.SetLehraLoops(std::move(current), std::move(next));
}

void LehraWorker::Want(LehraWish wish) {
    std::lock_guard lock(m_mutex);
    if (wish.lehra != m_wish.lehra || wish.instrument != m_wish.instrument ||
        wish.cycles != m_wish.cycles)
        m_kept.clear();
    m_wish = std::move(wish);
    HandOverLocked();
    // The voice starts with the first wish of a lehra, before any loop is due.
    if (m_wish.lehra && m_voice == Voice::Closed)
        m_voice = Voice::Starting;
    if (m_voice == Voice::Starting || Missing() != 0)
        m_wake.notify_one();
}

void LehraWorker::Wait() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] {
        return m_voice == Voice::Failed || (m_voice != Voice::Starting && Missing() == 0);
    });
}

bool LehraWorker::IsStarting() const {
    std::lock_guard lock(m_mutex);
    return m_voice == Voice::Starting;
}

LehraWorker::News LehraWorker::TakeNews() {
    std::lock_guard lock(m_mutex);
    News news{std::exchange(m_started, false), std::exchange(m_failure, std::nullopt)};
    if (news.failure) {
        // Nothing is tried again until the next wish.
        m_voice = Voice::Closed;
        m_wish = {};
        m_kept.clear();
        HandOverLocked();
    }
    return news;
}

LehraLoopPtr LehraWorker::Handed() const {
    std::lock_guard lock(m_mutex);
    return m_handedCurrent;
}

LehraWorker::Figures LehraWorker::CurrentFigures() const {
    std::lock_guard lock(m_mutex);
    return m_figures;
}

void LehraWorker::Run(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, stop, [this] { return m_voice == Voice::Starting || Missing() != 0; });
        if (stop.stop_requested())
            break;
        if (m_voice == Voice::Starting) {
            lock.unlock();
            std::string problem;
            std::unique_ptr<LehraVoice> voice;
            try {
                voice = m_opener(problem, stop);
            } catch (const std::bad_alloc&) {
                problem = messages::kLehraOutOfMemory;
            }
            lock.lock();
            if (stop.stop_requested())
                break;
            if (voice) {
                m_voiceObject = std::move(voice);
                m_voice = Voice::Open;
                m_started = true;
            } else {
                m_voice = Voice::Failed;
                m_failure = problem;
            }
            if (m_news)
                m_news();
            m_done.notify_all();
            continue;
        }
        // The image in use's loop first; the wish may change meanwhile.
        const LehraWish wish = m_wish;
        const std::size_t cycle = Missing();
        lock.unlock();
        auto loop = std::make_shared<LehraLoop>();
        loop->cycleSamples = cycle;
        loop->cycles = wish.cycles;
        const auto began = std::chrono::steady_clock::now();
        bool rendered = true;
        try {
            loop->samples = m_voiceObject->Render(
                *wish.lehra, wish.instrument, cycle * static_cast<std::size_t>(wish.cycles), stop);
        } catch (const std::bad_alloc&) {
            rendered = false;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
        lock.lock();
        if (stop.stop_requested())
            break;
        if (!rendered) {
            // Told as a voice that cannot play: the lehra goes off.
            m_voice = Voice::Failed;
            m_failure = messages::kLehraOutOfMemory;
            if (m_news)
                m_news();
            m_done.notify_all();
            continue;
        }
        ++m_figures.renders;
        m_figures.longestRender = std::max(m_figures.longestRender, took.count());
        // Kept unless another lehra, instrument or cycle count came meanwhile;
        // one for a cycle length no longer wished is kept too, for a return.
        if (wish.lehra == m_wish.lehra && wish.instrument == m_wish.instrument &&
            wish.cycles == m_wish.cycles && !KeptFor(cycle)) {
            if (m_kept.size() >= kKeptLoops) {
                const auto unwished =
                    std::ranges::find_if(m_kept, [this](const LehraLoopPtr& kept) {
                        return kept->cycleSamples != m_wish.currentCycle &&
                               kept->cycleSamples != m_wish.nextCycle;
                    });
                m_kept.erase(unwished == m_kept.end() ? m_kept.begin() : unwished);
            }
            m_kept.push_back(std::move(loop));
            HandOverLocked();
        }
        m_done.notify_all();
    }
}

} // namespace lorvanta
