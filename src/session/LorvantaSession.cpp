#include "session/LorvantaSession.h"

#include "audio/TaalRenderer.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/Messages.h"

#include <algorithm>

namespace lorvanta {

CLorvantaSession::CLorvantaSession(const CSampleBank& bank, MessageSink& sink, OutputOpener opener,
                                   BolClipboard* clipboard, SessionSound sound)
    : m_sink(sink), m_hasOutput(opener && sound == SessionSound::Rendered),
      m_rendersBols(sound == SessionSound::Rendered),
      m_renderer(std::make_unique<CTaalRenderer>(m_doc.Taal(), bank, sink)),
      m_engine(std::make_unique<CPlaybackEngine>(m_doc, *m_renderer, sink, std::move(opener))),
      m_editor(m_doc, sink, clipboard), m_rendererSync(*m_renderer), m_audition(bank, sink) {
    // Feeding thread: count the update and hand it to the listener, if any.
    // No allocation; whoever shows the position reads it on its own thread.
    m_engine->SetPositionHandler([this](const PlayingPosition& position) {
        m_positionUpdates.fetch_add(1, std::memory_order_release);
        // A wrap: the beat falls back by more than half the cycle (a rebuild
        // keeps the fraction of the cycle, so only a wrap goes back so far).
        if (!m_firstPosition.exchange(false, std::memory_order_acq_rel) &&
            position.cycleBeats > 0.0f &&
            position.previousBeat - position.beat > position.cycleBeats / 2.0f &&
            m_engine->IsPlaying())
            m_cycles.fetch_add(1, std::memory_order_acq_rel);
        if (m_positionListener)
            m_positionListener(position);
    });
    m_engine->SetOutputHandler([this](OutputEvent event) {
        if (m_outputListener)
            m_outputListener(event);
    });
    // The renderer's cells follow each edit first, then the playing image.
    if (m_rendersBols)
        m_editor.AddObserver(m_rendererSync);
    m_editor.AddObserver(*this);
}

CLorvantaSession::~CLorvantaSession() {
    // The engine's thread reads the renderer.
    m_engine.reset();
}

void CLorvantaSession::AddObserver(SessionObserver& observer) {
    m_observers.push_back(&observer);
}

void CLorvantaSession::RemoveObserver(SessionObserver& observer) {
    std::erase(m_observers, &observer);
}

void CLorvantaSession::PlaybackChanged() {
    using Clock = std::chrono::steady_clock;
    const bool playing = m_engine->IsPlaying() && !m_engine->IsDroneAlone();
    if (playing && !m_timing) {
        m_playingSince = Clock::now();
        m_timing = true;
    } else if (!playing && m_timing) {
        m_playedBefore += Clock::now() - m_playingSince;
        m_timing = false;
    }
    // Stopped (Stop, another Taal, an edit that left it empty, the drone
    // alone in its place): a new count.
    if ((!m_engine->IsPlaying() || m_engine->IsDroneAlone()) && !m_engine->IsPaused()) {
        m_cycles.store(0, std::memory_order_release);
        m_playedBefore = {};
        EndRamp();
    }
    for (SessionObserver* observer : m_observers)
        observer->OnPlaybackChanged();
}

void CLorvantaSession::TempoChanged() {
    for (SessionObserver* observer : m_observers)
        observer->OnTempoChanged(m_renderer->SecondsPerBeat());
}

void CLorvantaSession::BeforePlay() {
    if (m_engine->IsPlaying() && !m_engine->IsDroneAlone())
        return;
    if (!m_engine->IsPaused())
        m_cycles.store(0, std::memory_order_release);
    m_firstPosition.store(true, std::memory_order_release);
    // A next cycle readied before a pause is readied again where playing resumes.
    m_readiedAt.reset();
}

void CLorvantaSession::OnInitialUpdate() {
    m_editor.Reset(); // stops playing (a replaced document) and renders every bol
    m_engine->OnTaalEdited();
    if (m_hasOutput && !m_soundSetUp) {
        m_soundSetUp = true;
        // Without any device the program goes on and says so where it is
        // shown (the status bar, the command line); each Play tries again.
        if (const SoundSetupStatus status = m_engine->InitDirectSound();
            status != SoundSetupStatus::Ok && status != SoundSetupStatus::NoDevice)
            m_sink.Show(SoundInitFailureMessage(status));
    }
}

// --- Edits while playing -------------------------------------------------------

void CLorvantaSession::TaalEdited() {
    // The drone alone does not sound the Taal: edits go unheard.
    if (!m_engine->IsPlaying() || m_engine->IsDroneAlone())
        return;
    if (m_longOperations > 0) {
        m_editedDuringOperation = true;
        return;
    }
    m_engine->OnTaalEdited();
    if (!m_engine->IsPlaying()) // the edit left the Taal empty
        PlaybackChanged();
}

void CLorvantaSession::OnBolsInserted(int, int) {
    TaalEdited();
}

void CLorvantaSession::OnBolsRemoved(int, int) {
    TaalEdited();
}

void CLorvantaSession::OnBolsChanged(int, int) {
    TaalEdited();
}

void CLorvantaSession::OnTaalReplaced(TaalReplacement why) {
    if (why == TaalReplacement::Step ||
        (why == TaalReplacement::NewTaal && m_engine->IsDroneAlone())) {
        TaalEdited();
        return;
    }
    // Another Taal: playing stops and a pause ends, as Stop would (the drone
    // alone goes on over a Taal replaced in the same document).
    m_engine->OnTaalReplaced();
    PlaybackChanged();
}

void CLorvantaSession::OnLongOperationEnded() {
    if (--m_longOperations > 0 || !std::exchange(m_editedDuringOperation, false))
        return;
    TaalEdited();
}

// --- Playback --------------------------------------------------------------------

void CLorvantaSession::Play() {
    BeforePlay();
    m_engine->OnAudioPlay();
    PlaybackChanged();
}

void CLorvantaSession::Pause() {
    m_engine->OnAudioPause();
    PlaybackChanged();
}

void CLorvantaSession::Stop() {
    m_engine->OnAudioStop();
    PlaybackChanged();
}

void CLorvantaSession::PlayFromSelected() {
    BeforePlay();
    m_engine->OnAudioPlayFromSelected(m_editor.GetFirstSelected());
    PlaybackChanged();
}

bool CLorvantaSession::CanPlay() const {
    return m_engine->CanPlay();
}

bool CLorvantaSession::CanPause() const {
    return m_engine->CanPause();
}

bool CLorvantaSession::CanStop() const {
    return m_engine->CanStop();
}

bool CLorvantaSession::CanPlayFromSelected() const {
    return m_engine->CanPlayFromSelected(m_editor.SelectedCount());
}

bool CLorvantaSession::IsPlaying() const {
    return m_engine->IsPlaying();
}

bool CLorvantaSession::IsPaused() const {
    return m_engine->IsPaused();
}

void CLorvantaSession::SetTempo(float secondsPerBeat) {
    // The renderer drops a step waiting first, so that the ramp ends on the
    // tempo set here and announces no step of its own.
    m_renderer->SetTempo(secondsPerBeat);
    EndRamp();
}

float CLorvantaSession::SecondsPerBeat() const {
    return m_renderer->SecondsPerBeat();
}

// --- Practice ----------------------------------------------------------------------

std::chrono::steady_clock::duration CLorvantaSession::PlayingTime() const {
    return m_timing ? m_playedBefore + (std::chrono::steady_clock::now() - m_playingSince)
                    : m_playedBefore;
}

RampStatus CLorvantaSession::StartRamp(const RampRequest& request) {
    if (const RampStatus status = TempoRamp::Check(request); status != RampStatus::Ok)
        return status;
    EndRamp();
    m_ramp.emplace(60.0 / static_cast<double>(m_renderer->SecondsPerBeat()), request);
    m_rampCycles = CyclesCompleted();
    m_rampTime = PlayingTime();
    for (SessionObserver* observer : m_observers)
        observer->OnRampChanged();
    UpdatePractice();
    return RampStatus::Ok;
}

void CLorvantaSession::EndRamp() {
    if (!m_ramp)
        return;
    m_ramp.reset();
    m_readiedAt.reset();
    // The tempo stays where the ramp had it; a step not yet heard is dropped.
    const float before = m_renderer->SecondsPerBeat();
    m_renderer->WithdrawNextCycle();
    if (m_renderer->SecondsPerBeat() != before)
        TempoChanged();
    for (SessionObserver* observer : m_observers)
        observer->OnRampChanged();
}

void CLorvantaSession::UpdatePractice() {
    if (!m_ramp)
        return;
    if (m_renderer->AdoptNextCycle())
        TempoChanged();
    if (m_renderer->SecondsPerBeat() == static_cast<float>(60.0 / m_ramp->TargetBpm())) {
        EndRamp(); // there, and holding
        return;
    }
    if (!m_engine->IsPlaying() || m_engine->IsDroneAlone())
        return;
    // Once per cycle heard, just after its start: the reader is then at most
    // a ring ahead, inside the same cycle, and the next one is far enough off.
    const std::uint64_t counted = CyclesCompleted();
    const std::uint64_t cycles = counted - std::min(counted, m_rampCycles);
    if (m_readiedAt == cycles)
        return;
    m_readiedAt = cycles;
    double bpm = 0.0;
    if (m_ramp->IsStepped()) {
        bpm = m_ramp->TempoAfterCycles(cycles + 1);
    } else {
        // The line's tempo where the next cycle starts.
        const double cycleSeconds = static_cast<double>(m_doc.Taal().Total()) *
                                    static_cast<double>(m_renderer->SecondsPerBeat());
        const std::chrono::duration<double> played = PlayingTime() - m_rampTime;
        bpm = m_ramp->TempoAfter(played + std::chrono::duration<double>(cycleSeconds));
    }
    m_renderer->PrepareNextCycle(static_cast<float>(60.0 / bpm));
}

void CLorvantaSession::SetPitch(float factor) {
    m_renderer->SetPitch(factor);
}

void CLorvantaSession::SetDrone(const DroneSettings& settings) {
    // Rendered when first heard: a drone kept off costs the start-up nothing.
    if (settings.on && (!m_droneLoop || settings.setup != m_loopSetup)) {
        m_droneLoop = std::make_shared<const std::vector<std::int16_t>>(
            RenderTanpuraLoop(settings.setup, kSampleRate));
        m_loopSetup = settings.setup;
        m_engine->SetDroneLoop(m_droneLoop);
    }
    m_drone = settings;
    m_drone.levelDb = settings.levelDb == settings.levelDb
                          ? std::clamp(settings.levelDb, kMinDroneLevelDb, kMaxDroneLevelDb)
                          : kDefaultDroneLevelDb;
    m_engine->SetDroneLevel(m_drone.levelDb);
    m_engine->SetDroneOn(m_drone.on);
}

void CLorvantaSession::OnStrokesChanged() {
    if (!m_rendersBols)
        return;
    // Failures show their own messages; the rebuild keeps the cycle fraction.
    m_renderer->RenderAllBols();
    m_engine->OnTaalEdited();
}

void CLorvantaSession::SetDrumLevels(const DrumLevels& levels) {
    if (levels.Clamped() == m_renderer->Levels())
        return;
    m_renderer->SetDrumLevels(levels);
    OnStrokesChanged();
}

const DrumLevels& CLorvantaSession::Levels() const {
    return m_renderer->Levels();
}

void CLorvantaSession::PlayDroneAlone() {
    m_engine->OnAudioStop();
    DroneSettings drone = m_drone;
    drone.on = true;
    SetDrone(drone);
    m_engine->PlayDroneAlone();
    PlaybackChanged();
}

void CLorvantaSession::PlayBol(const CBol2& bol) {
    Stop();
    if (m_audition.Render(bol, m_renderer->Levels()) == AudioStatus::Ok)
        m_engine->PlayAudition(m_audition.Image());
}

SoundSetupStatus CLorvantaSession::SoundStatus() const {
    return m_soundSetUp ? m_engine->SetupStatus() : SoundSetupStatus::Ok;
}

void CLorvantaSession::SetOutputListener(OutputListener listener) {
    if (!m_soundSetUp)
        m_outputListener = std::move(listener);
}

HResult CLorvantaSession::ChooseOutput(OutputOpener opener, const std::string& device) {
    m_engine->SetOutputOpener(std::move(opener));
    if (!m_engine->IsInitialized())
        return HResult::Ok; // the next Play opens it
    return m_engine->SelectOutputDevice(device);
}

void CLorvantaSession::SetPositionListener(PositionListener listener) {
    // The feeding thread starts with the sound; from then on it reads this.
    if (!m_soundSetUp)
        m_positionListener = std::move(listener);
}

float CLorvantaSession::PlayingBeat() const {
    return m_engine->LastBeatPosition();
}

int CLorvantaSession::PlayingBol() const {
    return static_cast<int>(m_engine->PlayingBolIndex());
}

} // namespace lorvanta
