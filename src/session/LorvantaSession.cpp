#include "session/LorvantaSession.h"

#include "audio/CountIn.h"
#include "audio/TaalImage.h"
#include "audio/TaalRenderer.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/Messages.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

namespace lorvanta {

CLorvantaSession::CLorvantaSession(const CSampleBank& bank, MessageSink& sink, OutputOpener opener,
                                   BolClipboard* clipboard, SessionSound sound)
    : m_bank(bank), m_sink(sink), m_hasOutput(opener && sound == SessionSound::Rendered),
      m_rendersBols(sound == SessionSound::Rendered),
      m_renderer(std::make_unique<CTaalRenderer>(m_doc.Taal(), bank, sink)),
      m_engine(std::make_unique<CPlaybackEngine>(m_doc, *m_renderer, sink, std::move(opener))),
      m_editor(m_doc, sink, clipboard), m_rendererSync(*m_renderer), m_audition(bank, sink),
      m_lehraVoiceOpener(SynthVoiceOpener(kSampleRate)) {
    // Feeding thread: count the update and hand it to the listener, if any.
    // No allocation; whoever shows the position reads it on its own thread.
    m_engine->SetPositionHandler([this](const PlayingPosition& position) {
        m_positionUpdates.fetch_add(1, std::memory_order_release);
        // A wrap: the beat falls back by more than half the cycle (a rebuild
        // keeps the fraction of the cycle, so only a wrap goes back so far);
        // of the shorter cycle when the wrap brought another Taal.
        const float cycleBeats = m_lastCycleBeats > 0.0f
                                     ? std::min(position.cycleBeats, m_lastCycleBeats)
                                     : position.cycleBeats;
        m_lastCycleBeats = position.cycleBeats;
        // The count-in is no cycle: the Taal's first position after it counts
        // as the first.
        if (position.countingIn)
            m_firstPosition.store(true, std::memory_order_release);
        else if (!m_firstPosition.exchange(false, std::memory_order_acq_rel) && cycleBeats > 0.0f &&
                 position.previousBeat - position.beat > cycleBeats / 2.0f && m_engine->IsPlaying())
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
        m_rendererSubscription = m_editor.Subscribe(m_rendererSync);
    m_selfSubscription = m_editor.Subscribe(*this);
}

CLorvantaSession::~CLorvantaSession() {
    // The lehra's worker hands loops to the engine; the engine's thread reads
    // the renderer.
    m_lehraWorker.reset();
    m_engine.reset();
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
        EndRoutine();
    }
    m_observers.Notify([&](SessionObserver& observer) { observer.OnPlaybackChanged(); });
}

void CLorvantaSession::TempoChanged() {
    m_observers.Notify(
        [&](SessionObserver& observer) { observer.OnTempoChanged(m_renderer->SecondsPerBeat()); });
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
    // The lehra's loop for this Taal before Play; one that does not fit is
    // told at Play.
    if (const LehraEntry* entry = m_lehra.on ? LehraChosen() : nullptr;
        entry && entry->lehra.Fits(static_cast<double>(m_doc.Taal().Total())))
        ReadyLehra();
}

// --- Edits while playing -------------------------------------------------------

void CLorvantaSession::TaalEdited() {
    if (m_longOperations > 0) {
        m_editedDuringOperation = true;
        return;
    }
    CheckLehraFits();
    // The drone alone does not sound the Taal: edits go unheard.
    if (!m_engine->IsPlaying() || m_engine->IsDroneAlone())
        return;
    m_engine->OnTaalEdited();
    if (!m_engine->IsPlaying()) // the edit left the Taal empty
        PlaybackChanged();
    else
        SyncLehra();
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
    // Another Taal: a lehra chosen for the last one that does not fit this
    // one gives way to the one chosen for it.
    if (const LehraEntry* entry = LehraChosen();
        entry && !m_lehra.name.empty() &&
        !entry->lehra.Fits(static_cast<double>(m_doc.Taal().Total())))
        m_lehra.name.clear();
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
    if (m_lehra.on && !m_doc.IsEmpty() && (!IsPlaying() || m_engine->IsDroneAlone())) {
        // The loop is in place before the ring's first fill.
        m_renderer->BuildTaalImage();
        SyncLehra();
    }
    // From the start (not a resume): the count first, at the tempo and pitch
    // the Taal plays at.
    // (A routine hands its steps over as the cycles wrap: it starts at once.)
    if (m_countInBeats > 0 && !m_engine->IsPlaying() && !m_engine->IsPaused() && CanPlay() &&
        !IsInRoutine()) {
        m_countIn = MakeCountInImage(m_renderer->Image().Header(), m_renderer->PlaybackRate(),
                                     m_renderer->SecondsPerBeat(), m_countInBeats);
        if (m_countIn) {
            m_engine->OnAudioPlayAfter(*m_countIn);
            PlaybackChanged();
            return;
        }
    }
    m_engine->OnAudioPlay();
    PlaybackChanged();
}

void CLorvantaSession::SetCountInBeats(int beats) {
    m_countInBeats = std::clamp(beats, 0, kMaxCountInBeats);
}

int CLorvantaSession::CountInLeft() const {
    if (!m_engine->CountingIn() || !(m_engine->IsPlaying() || m_engine->IsPaused()))
        return 0;
    const int beats = m_countIn ? static_cast<int>(m_countIn->Beats()) : 0;
    const int counted = static_cast<int>(m_engine->LastBeatPosition()) - 1;
    return std::clamp(beats - counted, 1, std::max(1, beats));
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
    if (m_lehra.on && !m_doc.IsEmpty() && (!IsPlaying() || m_engine->IsDroneAlone())) {
        m_renderer->BuildTaalImage();
        SyncLehra();
    }
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
    ReadyLehra();
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
    EndRoutine();
    m_ramp.emplace(60.0 / static_cast<double>(m_renderer->SecondsPerBeat()), request);
    m_rampCycles = CyclesCompleted();
    m_rampTime = PlayingTime();
    m_observers.Notify([&](SessionObserver& observer) { observer.OnRampChanged(); });
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
    SyncLehra();
    if (m_renderer->SecondsPerBeat() != before)
        TempoChanged();
    m_observers.Notify([&](SessionObserver& observer) { observer.OnRampChanged(); });
}

void CLorvantaSession::UpdatePractice() {
    TakeLehraNews();
    UpdateRoutine();
    if (!m_ramp)
        return;
    if (m_renderer->AdoptNextCycle()) {
        SyncLehra();
        TempoChanged();
    }
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
    SyncLehra();
}

// --- Practice routine --------------------------------------------------------------

void CLorvantaSession::StartRoutine(RoutinePlan plan) {
    if (plan.status != RoutinePlanStatus::Ok || plan.steps.empty())
        return;
    Stop();
    EndRamp();
    RoutineRun run;
    std::uint64_t start = 0;
    for (const PlannedStep& step : plan.steps) {
        run.starts.push_back(start);
        start += static_cast<std::uint64_t>(std::max(step.cycles, 1));
    }
    run.plan = std::move(plan);
    m_routine.emplace(std::move(run));
    ShowRoutineStep(0);
    m_renderer->SetTempo(static_cast<float>(60.0 / m_routine->plan.steps.front().bpm));
    TempoChanged();
    Play();
    if (!IsPlaying()) {
        EndRoutine();
        return;
    }
    RoutineChanged();
    UpdateRoutine();
}

void CLorvantaSession::EndRoutine() {
    if (!m_routine || m_showingStep)
        return;
    const bool readied = m_routine->readied >= 0;
    const bool shown = m_routine->shown;
    m_routine.reset();
    const float before = m_renderer->SecondsPerBeat();
    // A step waiting is dropped; one playback has already taken, before the
    // document shows it, gives way to the document's Taal, so that what is
    // heard is what the grid shows.
    if (readied)
        m_renderer->WithdrawNextCycle();
    if ((readied || !shown) && m_engine->IsPlaying() && !m_engine->IsDroneAlone())
        m_engine->OnTaalEdited();
    if (m_renderer->SecondsPerBeat() != before)
        TempoChanged();
    RoutineChanged();
}

std::optional<CLorvantaSession::RoutineProgress> CLorvantaSession::Routine() const {
    if (!m_routine)
        return std::nullopt;
    const RoutineRun& run = *m_routine;
    const std::uint64_t heard = CyclesCompleted();
    // The step heard: the reader may already be a ring into the next one.
    int step = run.playing;
    while (step > 0 && heard < run.starts[static_cast<std::size_t>(step)])
        --step;
    const PlannedStep& planned = run.plan.steps[static_cast<std::size_t>(step)];
    const std::uint64_t end =
        run.starts[static_cast<std::size_t>(step)] + static_cast<std::uint64_t>(planned.cycles);
    return RoutineProgress{step, static_cast<int>(run.plan.steps.size()), run.plan.routineSteps,
                           &planned, end > heard ? end - heard : 0};
}

void CLorvantaSession::RoutineChanged() {
    m_observers.Notify([&](SessionObserver& observer) { observer.OnRoutineChanged(); });
}

void CLorvantaSession::ShowRoutineStep(int step) {
    const PlannedStep& planned = m_routine->plan.steps[static_cast<std::size_t>(step)];
    const CLorvantaDoc& from = *planned.doc;
    m_doc.Taal().Assign(from.Taal());
    m_doc.Params() = from.Params();
    m_doc.Header() = from.Header();
    m_doc.SetPathName(from.PathName());
    m_doc.SetTitle(from.Title());
    m_doc.SetEmpty(from.IsEmpty());
    // The first step replaces the document as opening it would; the later
    // ones while playing, which goes on (the image is rebuilt identical to
    // the one playback took, at the same place).
    m_showingStep = true;
    if (step == 0 || !IsPlaying())
        m_editor.Reset();
    else
        m_editor.Reset(TaalReplacement::Step);
    m_showingStep = false;
    m_doc.SetModified(false);
}

void CLorvantaSession::ReadyRoutineStep(int step) {
    RoutineRun& run = *m_routine;
    const PlannedStep& planned = run.plan.steps[static_cast<std::size_t>(step)];
    const auto secondsPerBeat = static_cast<float>(60.0 / planned.bpm);
    // Made as the session's own renderer would make it, so that the image
    // built once the document shows the step sounds the same.
    CTaalRenderer staging(planned.doc->Taal(), m_bank, m_sink);
    staging.SetDrumLevels(m_renderer->Levels());
    staging.SetStrokeResampler(m_renderer->Resampler());
    staging.SetStrokeStyle(m_renderer->Style());
    staging.SetPitch(m_renderer->PitchFactor());
    staging.SetTempo(secondsPerBeat);
    staging.RenderAllBols();
    try {
        if (staging.BuildTaalImage() != AudioStatus::Ok)
            return;
        m_renderer->HandNextCycle(staging.CycleImage(secondsPerBeat), secondsPerBeat);
        SyncLehra(); // the lehra's loop for the step's cycle waits beside its image
    } catch (const std::bad_alloc&) {
        m_sink.Show({MessageKind::Error, StatusText(AudioStatus::OutOfMemory)});
        return;
    }
    run.readied = step;
}

void CLorvantaSession::UpdateRoutine() {
    if (!m_routine)
        return;
    // An edit of the document ends the routine, so that the next step never
    // replaces the player's work.
    if (m_doc.IsModified()) {
        EndRoutine();
        return;
    }
    RoutineRun& run = *m_routine;
    if (run.readied >= 0) {
        if (m_renderer->AdoptNextCycle()) {
            run.playing = std::exchange(run.readied, -1);
            run.shown = false;
            SyncLehra();
            TempoChanged();
        } else if (!m_renderer->HasNextCycle()) {
            run.readied = -1; // withdrawn by a rebuild: readied again below
        }
    }
    const std::uint64_t heard = CyclesCompleted();
    // The document follows once the step is heard: the image rebuilt for it
    // then no longer has to place the end of the cycle before.
    if (!run.shown && heard >= run.starts[static_cast<std::size_t>(run.playing)]) {
        run.shown = true;
        ShowRoutineStep(run.playing);
        CheckLehraFits();
        SyncLehra();
        RoutineChanged();
        if (!m_routine)
            return;
    }
    if (!m_engine->IsPlaying() || m_engine->IsDroneAlone() || run.readied >= 0 || !run.shown)
        return;
    const auto playing = static_cast<std::size_t>(run.playing);
    const std::uint64_t end =
        run.starts[playing] + static_cast<std::uint64_t>(run.plan.steps[playing].cycles);
    if (playing + 1 == run.plan.steps.size()) {
        if (heard >= end)
            Stop(); // the last cycle heard to its end
        return;
    }
    // Once the step's last cycle is heard the reader is at most a ring ahead,
    // inside that cycle, and its end is far enough off.
    if (heard + 1 >= end)
        ReadyRoutineStep(run.playing + 1);
}

void CLorvantaSession::SetPitch(float factor) {
    m_renderer->SetPitch(factor);
    ReadyLehra();
}

// --- The lehra ---------------------------------------------------------------------

void CLorvantaSession::SetLehraLibrary(std::shared_ptr<const LehraLibrary> library) {
    m_lehras = std::move(library);
    m_lehraWishFor = nullptr; // its entries went with the old library
    SyncLehra();
}

const LehraEntry* CLorvantaSession::LehraChosen() const {
    if (!m_lehras)
        return nullptr;
    if (m_lehra.name.empty())
        return m_lehras->Auto(static_cast<double>(m_doc.Taal().Total()), m_doc.Taal().Name());
    return m_lehras->Find(m_lehra.name);
}

void CLorvantaSession::SetLehra(const LehraSettings& settings) {
    m_lehra = settings;
    m_lehra.levelDb = settings.levelDb == settings.levelDb
                          ? std::clamp(settings.levelDb, kMinLehraLevelDb, kMaxLehraLevelDb)
                          : kDefaultLehraLevelDb;
    m_engine->SetLehraLevel(m_lehra.levelDb);
    if (!m_lehra.on) {
        m_engine->SetLehraOn(false);
        LehraOff();
        return;
    }
    ReadyLehra();
}

void CLorvantaSession::SetLehraVoiceOpener(LehraVoiceOpener opener) {
    m_lehraVoiceOpener = std::move(opener);
}

void CLorvantaSession::SetLehraNewsHandler(std::function<void()> handler) {
    m_lehraNewsHandler = std::move(handler);
    if (m_lehraWorker)
        m_lehraWorker->SetNewsHandler(m_lehraNewsHandler);
}

void CLorvantaSession::LehraChanged() {
    m_observers.Notify([&](SessionObserver& observer) { observer.OnLehraChanged(); });
}

void CLorvantaSession::LehraOff() {
    m_lehraWishFor = nullptr;
    m_lehraWished.reset();
    if (m_lehraWorker)
        m_lehraWorker->Want({});
    if (std::exchange(m_lehraLoadingTold, false))
        LehraChanged();
}

void CLorvantaSession::SwitchLehraOff(const std::string& note) {
    m_lehra.on = false;
    m_engine->SetLehraOn(false);
    LehraOff();
    m_sink.Show({MessageKind::Information, note});
}

void CLorvantaSession::TakeLehraNews() {
    if (!m_lehraWorker)
        return;
    const LehraWorker::News news = m_lehraWorker->TakeNews();
    // Shown only while the player still wants the lehra.
    if (news.failure && m_lehra.on) {
        m_lehra.on = false;
        m_engine->SetLehraOn(false);
        m_lehraLoadingTold = false;
        LehraOff();
        m_sink.Show(
            {MessageKind::Warning, FormatMessage(messages::kLehraCannotPlay, *news.failure)});
        LehraChanged();
        return;
    }
    if (m_lehraLoadingTold && !IsLehraLoading()) {
        m_lehraLoadingTold = false;
        LehraChanged();
    }
}

bool CLorvantaSession::IsLehraLoading() const {
    return m_lehra.on && m_lehraWorker && m_lehraWorker->IsStarting();
}

bool CLorvantaSession::WaitForLehra() {
    if (m_lehraWorker) {
        m_lehraWorker->Wait();
        TakeLehraNews();
    }
    return m_lehra.on;
}

LehraLoopPtr CLorvantaSession::LehraLoopInUse() const {
    return m_lehraWorker ? m_lehraWorker->Handed() : nullptr;
}

void CLorvantaSession::CheckLehraFits() {
    if (!m_lehra.on || m_doc.IsEmpty() || m_doc.Taal().Count() == 0)
        return;
    // The one heard so far, even when chosen for the Taal as it was.
    const LehraEntry* entry =
        m_lehra.name.empty() && m_lehraWishFor ? m_lehraWishFor : LehraChosen();
    const double beats = static_cast<double>(m_doc.Taal().Total());
    if (entry != nullptr && !entry->lehra.Fits(beats))
        SwitchLehraOff(FormatMessage(messages::kLehraNoLongerFits, entry->lehra.name,
                                     FormatDecimal(static_cast<int>(std::lround(beats)))));
}

void CLorvantaSession::ReadyLehra() {
    // While stopped the image waits for Play to be rebuilt; built now, its
    // loop is rendered meanwhile and the lehra starts on sam with the Taal.
    if (m_lehra.on && m_rendersBols && !m_renderer->IsPlaying() && !m_doc.IsEmpty() &&
        m_doc.Taal().Count() > 0)
        m_renderer->BuildTaalImage();
    SyncLehra();
}

void CLorvantaSession::SyncLehra() {
    // No Taal yet (the window before its first document): nothing to fit.
    if (!m_lehra.on || !m_rendersBols || m_doc.IsEmpty() || m_doc.Taal().Count() == 0)
        return;
    const double beats = static_cast<double>(m_doc.Taal().Total());
    const LehraEntry* entry = LehraChosen();
    if (entry == nullptr) {
        SwitchLehraOff(m_lehra.name.empty()
                           ? FormatMessage(messages::kNoLehraFits,
                                           FormatDecimal(static_cast<int>(std::lround(beats))))
                           : FormatMessage(messages::kNoSuchLehra, m_lehra.name));
        return;
    }
    const int cycles = entry->lehra.CyclesOf(beats);
    if (cycles == 0) {
        SwitchLehraOff(FormatMessage(messages::kLehraNoLongerFits, entry->lehra.name,
                                     FormatDecimal(static_cast<int>(std::lround(beats)))));
        return;
    }
    const LehraInstrument instrument = m_lehra.instrument.value_or(entry->lehra.instrument);
    if (entry != m_lehraWishFor || instrument != m_lehraWishInstrument || !m_lehraWished) {
        m_lehraWishFor = entry;
        m_lehraWishInstrument = instrument;
        m_lehraWished = std::make_shared<const Lehra>(entry->lehra);
    }
    if (!m_lehraWorker) {
        m_lehraWorker = std::make_unique<LehraWorker>(*m_engine, m_lehraVoiceOpener);
        m_lehraWorker->SetNewsHandler(m_lehraNewsHandler);
    }
    LehraWish wish{m_lehraWished, instrument, cycles, m_renderer->Image().DataSize() / 2, 0};
    if (const TaalImage* image = m_renderer->NextCycleImage(); image && image->DataSize() > 0)
        wish.nextCycle = image->DataSize() / 2;
    m_lehraWorker->Want(std::move(wish));
    m_engine->SetLehraOn(true);
    if (!m_lehraLoadingTold && m_lehraWorker->IsStarting()) {
        m_lehraLoadingTold = true;
        LehraChanged();
    }
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

void CLorvantaSession::SetStrokeStyle(const StrokeStyle& style) {
    if (style.Clamped() == m_renderer->Style())
        return;
    m_renderer->SetStrokeStyle(style);
    OnStrokesChanged();
}

const StrokeStyle& CLorvantaSession::Style() const {
    return m_renderer->Style();
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
    return m_engine->CountingIn() ? 1.0f : m_engine->LastBeatPosition();
}

int CLorvantaSession::PlayingBol() const {
    return m_engine->CountingIn() ? -1 : static_cast<int>(m_engine->PlayingBolIndex());
}

} // namespace lorvanta
