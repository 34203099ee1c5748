#include "audio/playback/PlaybackEngine.h"

#include "audio/AudioStatus.h"
#include "audio/TaalImage.h"
#include "audio/TaalRenderer.h"
#include "audio/output/ThreadPriority.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>

namespace lorvanta {

UserMessage SoundInitFailureMessage(SoundSetupStatus status) {
    return {MessageKind::Error,
            FormatMessage(StatusText(status), FormatDecimal(StatusNumber(status)))};
}

PlayingPosition ComputePlayingPosition(std::uint64_t readerPosition, std::int64_t lag,
                                       float taalLength, const TaalImage& image) {
    PlayingPosition position;
    const std::uint64_t dataSize = image.DataSize();
    if (dataSize == 0)
        return position;
    // Back by the lag (forward when it is negative), round the cycle.
    const auto size = static_cast<std::int64_t>(dataSize);
    std::int64_t signedOffset = static_cast<std::int64_t>(readerPosition % dataSize) - lag % size;
    if (signedOffset < 0)
        signedOffset += size;
    else if (signedOffset >= size)
        signedOffset -= size;
    const auto offset = static_cast<std::uint64_t>(signedOffset) & ~std::uint64_t{1};
    position.offset = offset;
    position.cycleBeats = taalLength;
    position.beat = static_cast<float>(offset) / static_cast<float>(dataSize) * taalLength + 1.0f;
    position.bolIndex = static_cast<std::uint32_t>(image.PlayingBolAt(offset / 2));
    return position;
}

CPlaybackEngine::CPlaybackEngine(const CLorvantaDoc& doc, CTaalRenderer& renderer,
                                 MessageSink& sink, OutputOpener opener)
    : m_doc(doc), m_renderer(renderer), m_sink(sink), m_opener(std::move(opener)) {
    // A pitch change while playing rebuilds the image, then moves the ring to
    // the new playback rate.
    m_renderer.SetRateChangedHandler([this](std::uint32_t rate) { SetRingFrequency(rate); });
    m_renderer.SetImageHandler([this](const TaalImage& image) { OnImageBuilt(image); });
    // A stepped tempo ramp's next cycle: the reader switches to it at the wrap.
    m_renderer.SetNextCycleHandlers(
        [this](const TaalImage* next) {
            std::lock_guard lock(m_streamLock);
            // During a lead-in the Taal's own image is what comes next.
            if (m_leadIn == nullptr || m_reader.Image() != m_leadIn)
                m_reader.SetNextCycleImage(next);
        },
        [this] {
            std::lock_guard lock(m_streamLock);
            return m_reader.Image();
        });
}

CPlaybackEngine::~CPlaybackEngine() {
    OnAudioStop();
    ShutdownDirectSound();
    m_renderer.SetRateChangedHandler({});
    m_renderer.SetImageHandler({});
    m_renderer.SetNextCycleHandlers({}, {});
}

void CPlaybackEngine::OnImageBuilt(const TaalImage& image) {
    std::lock_guard lock(m_streamLock);
    if (m_leadIn != nullptr && m_reader.Image() == m_leadIn) {
        // Counting in: the lead-in plays on, the new image after it.
        m_reader.SetNextCycleImage(&image);
        return;
    }
    float fraction = 0.0f;
    if (m_reader.IsOpen() && m_reader.DataSize() > 0) {
        fraction =
            static_cast<float>(m_reader.Position()) / static_cast<float>(m_reader.DataSize());
        if (IsPlaying()) {
            // What the old image would have gone on with fades into the new.
            std::array<unsigned char, 2 * ImageCrossfade::kSamples> tail{};
            const TaalImage& old = *m_reader.Image();
            std::size_t hint = 0;
            std::size_t got = old.CopyData(m_reader.Position(), tail, hint);
            if (got < tail.size()) {
                hint = 0;
                got += old.CopyData(0, std::span(tail).subspan(got), hint);
            }
            m_crossfade.Begin(tail.data(), got);
        }
    }
    const TaalImage* next = m_reader.NextCycleImage();
    m_reader.Close();
    m_reader.Open(&image, &m_renderer.StreamFormat());
    m_reader.SetNextCycleImage(next);
    std::uint64_t position =
        TruncateToU64(static_cast<float>(image.DataSize()) * fraction) & ~std::uint64_t{1};
    if (position >= image.DataSize())
        position = 0;
    m_reader.Reset(position);
}

void CPlaybackEngine::SetDroneLoop(DroneLoop loop) {
    {
        std::lock_guard lock(m_streamLock);
        loop = m_drone.Exchange(std::move(loop));
    }
    // The old loop goes here, on the caller's thread, outside the lock.
    loop.reset();
}

void CPlaybackEngine::SetLehraLoops(LehraLoopPtr current, LehraLoopPtr next) {
    {
        std::lock_guard lock(m_streamLock);
        m_lehra.SetLoops(current.get(), next.get());
        m_lehraCurrent.swap(current);
        m_lehraNext.swap(next);
    }
    // The old loops go here, on the caller's thread, outside the lock.
    current.reset();
    next.reset();
}

const LehraLoop* CPlaybackEngine::LehraLoopPlaying() const {
    std::lock_guard lock(m_streamLock);
    return m_lehra.Current();
}

std::size_t CPlaybackEngine::DronePosition() const {
    std::lock_guard lock(m_streamLock);
    return m_drone.Position();
}

void CPlaybackEngine::SetPositionHandler(PositionHandler handler) {
    if (!m_thread.joinable())
        m_positionHandler = std::move(handler);
}

void CPlaybackEngine::SetOutputHandler(OutputHandler handler) {
    if (!m_thread.joinable())
        m_outputHandler = std::move(handler);
}

HResult CPlaybackEngine::SelectOutputDevice(const std::string& name) {
    if (!m_device || m_device->Output() == nullptr)
        return HResult::NotInitialized;
    return m_device->Output()->SelectDevice(name);
}

SoundSetupStatus CPlaybackEngine::InitDirectSound() {
    if (m_initialized)
        return SoundSetupStatus::Ok;
    m_setupStatus = SetUpOutput();
    return m_setupStatus;
}

SoundSetupStatus CPlaybackEngine::SetUpOutput() {
    // The two events (refill, stop) are part of the engine and cannot fail.
    {
        std::lock_guard lock(m_streamLock);
        m_stream.reset();
    }
    m_audition.reset();
    m_device = std::make_unique<CSoundDevice>();
    if (Failed(m_device->Initialize(m_opener))) {
        m_device.reset();
        return SoundSetupStatus::NoDevice;
    }
    if (Failed(m_device->SetPrimaryBufferFormat(1, 44100, 16)))
        return SoundSetupStatus::NoPrimaryFormat;
    if (!m_thread.joinable()) {
        try {
            m_exitCode.store(-1);
            m_thread = std::thread([this] { AudioThreadProc(); });
        } catch (const std::system_error&) {
            return SoundSetupStatus::NoEvents;
        }
    }
    {
        std::lock_guard lock(m_streamLock);
        m_reader.Open(&m_renderer.Image(), &m_renderer.StreamFormat());
        const WaveFormat& format = m_renderer.StreamFormat();
        const std::uint32_t notifySize = format.blockAlign * kNotifySamples;
        const HResult result =
            m_device->CreateStreaming(m_stream, &m_reader, format, stream_flags::kStreamRequest,
                                      kNotifyCount, notifySize, EventRef{&m_events, kRefillEvent});
        if (Failed(result)) {
            m_stream.reset();
            return SoundSetupStatus::NoStream;
        }
        m_stream->SetDrone(&m_drone);
        m_stream->SetLehra(&m_lehra);
        m_stream->SetCrossfade(&m_crossfade);
        m_taken = m_stream->Ring()->NotificationsSignalled();
    }
    m_initialized = true;
    return SoundSetupStatus::Ok;
}

void CPlaybackEngine::ShutdownDirectSound() {
    // The thread goes first: nothing may refill a ring or read an image that
    // is being released.
    if (m_thread.joinable()) {
        m_events.Set(kStopEvent);
        m_thread.join();
    }
    {
        std::lock_guard lock(m_streamLock);
        m_stream.reset();
        m_playing.store(false);
    }
    m_audition.reset();
    m_device.reset();
    m_events.Reset(kRefillEvent);
    m_events.Reset(kStopEvent);
    m_renderer.SetPlaying(false);
    m_outputLost.store(false, std::memory_order_release);
    m_initialized = false;
}

void CPlaybackEngine::AudioThreadProc() {
    const ThreadRoleClaim feeding(m_feedingThread);
    m_priorityRaised.store(RaiseCurrentThreadPriority(ThreadPriority::TimeCritical));
    std::chrono::microseconds wait = kFeedingCheckInterval;
    for (;;) {
        // While playing it also looks on its own now and then: a wake-up that
        // comes late (a busy or virtual machine) then costs little, and the
        // position shown moves on between notifications.
        const unsigned event = IsPlaying() ? m_events.WaitAny(wait) : m_events.WaitAny();
        if (event == kStopEvent) {
            m_exitCode.store(static_cast<int>(FeedingExit::Stopped), std::memory_order_release);
            return;
        }
        if (event != kRefillEvent && event != EventSet::kTimedOut) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        HResult result = HResult::Ok;
        bool changed = false;
        PlayingPosition position;
        std::uint64_t taken = 0;
        std::optional<OutputEvent> outputEvent;
        {
            std::lock_guard lock(m_streamLock);
            OutputBuffer* ring = Ring();
            const std::uint64_t signalled = ring ? ring->NotificationsSignalled() : m_taken;
            // Each chunk played gets its refill, even when several were
            // played before this thread woke.
            const std::uint64_t pending = signalled - m_taken;
            m_taken = signalled;
            wait = kFeedingCheckInterval;
            if (IsPlaying() && HoldWhileLost(outputEvent)) {
                // The device is away (or just back, the ring filled afresh):
                // it is looked at again when the output wakes this thread.
                wait = std::chrono::milliseconds(250);
            } else if (IsPlaying()) {
                std::uint64_t refills = pending;
                if (pending > kNotifyCount) {
                    // Late by more than the ring: start the ring afresh where it
                    // is playing, rather than stay behind for good.
                    result = m_stream->Resynchronize(pending - kNotifyCount);
                    refills = kNotifyCount;
                }
                for (std::uint64_t i = 0; i < refills && !Failed(result); ++i) {
                    result = m_stream->HandleStreamNotification(true);
                    m_refills.fetch_add(1, std::memory_order_relaxed);
                }
                changed = UpdatePlayingBeat(position);
                wait = UntilNextBeat(position);
            }
            taken = m_taken;
        }
        if (outputEvent && m_outputHandler)
            m_outputHandler(*outputEvent);
        if (changed && m_positionHandler)
            m_positionHandler(position);
        m_processed.store(taken, std::memory_order_release);
        if (Failed(result)) {
            m_exitCode.store(static_cast<int>(FeedingExit::RefillFailed),
                             std::memory_order_release);
            return;
        }
    }
}

bool CPlaybackEngine::UpdatePlayingBeat(PlayingPosition& position) {
    m_feedingThread.Check();
    OutputBuffer* ring = Ring();
    const CWaveReader& reader = m_reader;
    if (ring == nullptr || reader.Image() == nullptr || reader.DataSize() == 0)
        return false;
    std::uint32_t write = 0;
    if (Failed(ring->GetCurrentPosition(nullptr, &write)))
        return false;
    // What was read from the image and not heard: the ring from the write
    // cursor to where the next refill goes (the whole ring when they meet,
    // as after a refill or a fresh start), and what the output holds.
    std::uint32_t queued = (m_stream->NextWriteOffset() + ring->Size() - write) % ring->Size();
    if (queued == 0)
        queued = ring->Size();
    std::int64_t lag = queued + ring->UnheardBytes(std::chrono::steady_clock::now());
    std::uint64_t readerPosition = reader.Position();
    const std::uint64_t before = reader.PreviousDataSize();
    if (m_leadIn != nullptr) {
        // The lead-in heard: while the reader is on it, or past its end by
        // less than what is still queued.
        const TaalImage* heard = nullptr;
        std::uint64_t at = readerPosition;
        if (reader.Image() == m_leadIn) {
            heard = m_leadIn;
        } else if (lag > 0 && readerPosition < static_cast<std::uint64_t>(lag) &&
                   static_cast<std::uint64_t>(lag) - readerPosition < m_leadIn->DataSize()) {
            heard = m_leadIn;
            at = m_leadIn->DataSize() - (static_cast<std::uint64_t>(lag) - readerPosition);
            lag = 0;
        }
        if (heard != nullptr) {
            position = ComputePlayingPosition(at, lag, heard->Beats(), *heard);
            position.countingIn = true;
            const bool changed = position.beat != m_lastBeat.load(std::memory_order_relaxed) ||
                                 m_announce.exchange(false, std::memory_order_acq_rel);
            position.previousBeat = m_lastBeat.load(std::memory_order_relaxed);
            m_lastBeat.store(position.beat, std::memory_order_release);
            m_playingBol.store(position.bolIndex, std::memory_order_release);
            return changed;
        }
        // Heard to its end: the Taal from its first beat.
        m_leadIn = nullptr;
        if (m_stream)
            m_stream->SetLehraQuietOver(nullptr);
        m_countingIn.store(false, std::memory_order_release);
        lag = std::min<std::int64_t>(lag, static_cast<std::int64_t>(readerPosition));
        m_announce.store(true, std::memory_order_release);
    }
    std::optional<double> previousFraction;
    // (Another image may be as long as the one before yet cut into other beats.)
    const bool switched =
        before != reader.DataSize() || reader.PreviousBeats() != reader.Image()->Beats();
    if (lag > 0 && readerPosition < static_cast<std::uint64_t>(lag) && before > 0 && switched &&
        static_cast<std::uint64_t>(lag) - readerPosition < before) {
        // Still heard: the end of the cycle before the wrap switched to this
        // image (a tempo ramp's step). Its place as a fraction of that cycle,
        // in this image's bytes.
        previousFraction =
            static_cast<double>(before - (static_cast<std::uint64_t>(lag) - readerPosition)) /
            static_cast<double>(before);
        readerPosition =
            static_cast<std::uint64_t>(*previousFraction * static_cast<double>(reader.DataSize()));
        lag = 0;
    }
    position =
        ComputePlayingPosition(readerPosition, lag, reader.Image()->Beats(), *reader.Image());
    // The beat of that cycle, which may have been another Taal's (a practice
    // routine's step).
    if (previousFraction && reader.PreviousBeats() > 0.0f) {
        position.cycleBeats = reader.PreviousBeats();
        position.beat = static_cast<float>(*previousFraction) * position.cycleBeats + 1.0f;
    }
    // Shown only forward, and never faster than the tempo allows.
    const TaalImage& image = *reader.Image();
    const double cycle = position.cycleBeats > 0.0f ? position.cycleBeats : image.Beats();
    const double beatsPerSecond =
        2.0 * ring->Frequency() * cycle / static_cast<double>(reader.DataSize());
    const auto now = ForwardPosition::Clock::now();
    if (m_restartBeat >= 1.0f) {
        m_forward.Restart(m_restartBeat, std::min(m_restartAt, now));
        m_restartBeat = -1.0f;
    }
    // Another Taal's cycle (a practice routine's next step) starts afresh.
    if (cycle != m_forwardCycle) {
        if (m_forwardCycle > 0.0)
            m_forward.Restart(position.beat, now);
        m_forwardCycle = cycle;
    }
    const double shown =
        m_forward.Next(position.beat, cycle, beatsPerSecond, now, ring->TakenInRealTime());
    if (static_cast<float>(shown) != position.beat && cycle == image.Beats() && cycle > 0.0) {
        const double fraction = std::clamp((shown - 1.0) / cycle, 0.0, 1.0);
        const auto offset = std::min<std::uint64_t>(
            static_cast<std::uint64_t>(fraction * static_cast<double>(reader.DataSize())) &
                ~std::uint64_t{1},
            reader.DataSize() - 2);
        position = ComputePlayingPosition(offset, 0, image.Beats(), image);
    }
    m_heardFraction = static_cast<double>(position.offset) / static_cast<double>(reader.DataSize());
    const float last = m_lastBeat.load(std::memory_order_relaxed);
    const bool announce = m_announce.exchange(false, std::memory_order_acq_rel);
    if (position.beat == last && !announce)
        return false;
    position.previousBeat = last;
    m_lastBeat.store(position.beat, std::memory_order_release);
    m_playingBol.store(position.bolIndex, std::memory_order_release);
    return true;
}

float CPlaybackEngine::BeatAt(std::uint64_t offset) const {
    const std::uint64_t dataSize = m_reader.DataSize();
    if (dataSize == 0 || m_reader.Image() == nullptr)
        return 1.0f;
    return static_cast<float>(static_cast<double>(offset) / static_cast<double>(dataSize) *
                                  m_reader.Image()->Beats() +
                              1.0);
}

void CPlaybackEngine::RestartPosition(float beat) {
    m_restartBeat = std::max(beat, 1.0f);
    m_restartAt = ForwardPosition::Clock::now();
    m_forward.Forget();
}

bool CPlaybackEngine::HoldWhileLost(std::optional<OutputEvent>& event) {
    OutputBuffer* ring = Ring();
    std::uint32_t status = 0;
    if (ring == nullptr || Failed(ring->GetStatus(&status)) || (status & buffer_status::kLost) == 0)
        return false;
    if (!m_outputLost.load(std::memory_order_relaxed)) {
        m_outputLost.store(true, std::memory_order_release);
        event = OutputEvent::Lost;
    }
    if (Failed(ring->Restore()))
        return true; // still away; tried again at the next look
    // Back: the ring starts afresh from where the sound stopped, in the image
    // playing now (a rebuild meanwhile keeps the place in the cycle).
    const std::uint64_t dataSize = m_reader.DataSize();
    std::uint64_t offset =
        static_cast<std::uint64_t>(m_heardFraction * static_cast<double>(dataSize)) &
        ~std::uint64_t{1};
    if (offset >= dataSize)
        offset = 0;
    m_crossfade.Cancel();
    m_stream->ResetStream();
    m_stream->FillStreamBuffer(*ring, offset);
    m_taken = ring->NotificationsSignalled();
    RestartPosition(BeatAt(offset));
    m_announce.store(true, std::memory_order_release);
    m_outputLost.store(false, std::memory_order_release);
    event = OutputEvent::Restored;
    return true;
}

std::chrono::microseconds CPlaybackEngine::UntilNextBeat(const PlayingPosition& position) const {
    m_feedingThread.Check();
    const TaalImage* image = m_reader.Image();
    const OutputBuffer* ring = Ring();
    if (image == nullptr || ring == nullptr || image->DataSize() == 0 || !(image->Beats() > 0.0f))
        return kFeedingCheckInterval;
    const double bytesPerBeat = static_cast<double>(image->DataSize()) / image->Beats();
    return WaitForNextBeat(static_cast<double>(position.offset), bytesPerBeat, ring->Frequency());
}

std::chrono::microseconds CPlaybackEngine::WaitForNextBeat(double offset, double bytesPerBeat,
                                                           std::uint32_t frequency) {
    const double next = (std::floor(offset / bytesPerBeat) + 1.0) * bytesPerBeat;
    // Two bytes a sample.
    const double seconds = (next - offset) / (2.0 * frequency);
    // Just past the boundary, so that the new beat is there when it looks.
    // A beat of a Taal hardly any beats long can be far longer than the wait.
    const double wait = std::min(seconds, 1.0);
    const auto until = std::chrono::microseconds(static_cast<std::int64_t>(wait * 1e6)) +
                       std::chrono::microseconds(200);
    return std::clamp(until, kFeedingMinimumWait, kFeedingCheckInterval);
}

CPlaybackEngine::Figures CPlaybackEngine::CurrentFigures() const {
    Figures figures;
    if (const OutputBuffer* ring = Ring()) {
        figures.chunksPlayed = ring->NotificationsSignalled();
        figures.underruns = ring->Underruns();
    }
    figures.refills = m_refills.load(std::memory_order_relaxed);
    figures.feedingPriorityRaised = m_priorityRaised.load();
    return figures;
}

std::int64_t CPlaybackEngine::PlayStartedAt() const {
    const OutputBuffer* ring = Ring();
    return ring ? ring->StartedAt() : 0;
}

HResult CPlaybackEngine::StartStream(std::uint64_t offset) {
    if (!m_stream)
        return HResult::Fail;
    std::lock_guard lock(m_streamLock);
    // From a rewound ring, whatever it last played (a pause leaves it part
    // way, with its write offset there).
    m_stream->ResetStream();
    OutputBuffer& ring = *m_stream->Ring();
    if (const HResult result = m_stream->FillStreamBuffer(ring, offset); Failed(result))
        return result;
    // Notifications from before are not this run's.
    m_taken = ring.NotificationsSignalled();
    RestartPosition(BeatAt(offset));
    return m_stream->Play(0, true, 0, -1, 0);
}

HResult CPlaybackEngine::ResumeStream() {
    if (!m_stream)
        return HResult::Fail;
    std::lock_guard lock(m_streamLock);
    if (const HResult result = m_stream->ResumeStream(); Failed(result))
        return result;
    m_taken = m_stream->Ring()->NotificationsSignalled();
    RestartPosition(m_lastBeat.load(std::memory_order_relaxed));
    return m_stream->Play(0, true, 0, -1, 0);
}

void CPlaybackEngine::OnAudioPlay() {
    PlayFrom(false, -1);
}

void CPlaybackEngine::OnAudioPlayFromSelected(int firstSelected) {
    PlayFrom(true, firstSelected);
}

void CPlaybackEngine::OnAudioPlayAfter(const TaalImage& leadIn) {
    PlayFrom(false, -1, &leadIn);
}

void CPlaybackEngine::EndLeadIn() {
    if (m_leadIn != nullptr && m_reader.Image() == m_leadIn) {
        m_reader.Close();
        m_reader.Open(&m_renderer.Image(), &m_renderer.StreamFormat());
    }
    m_leadIn = nullptr;
    if (m_stream)
        m_stream->SetLehraQuietOver(nullptr);
    m_countingIn.store(false, std::memory_order_release);
}

bool CPlaybackEngine::EnsureOutput() {
    if (m_initialized && m_stream) {
        std::uint32_t status = 0;
        if (!Failed(m_stream->Ring()->GetStatus(&status)) && (status & buffer_status::kLost) == 0)
            return true;
    }
    // None could be opened before, or it went away while stopped: open it
    // again, as at start-up.
    ShutdownDirectSound();
    m_setupStatus = InitDirectSound();
    if (m_setupStatus != SoundSetupStatus::Ok) {
        m_sink.Show(SoundInitFailureMessage(m_setupStatus));
        return false;
    }
    // A pause's place went with the old output.
    m_paused = false;
    return true;
}

void CPlaybackEngine::PlayDroneAlone() {
    if (IsPlaying() || !EnsureOutput() || !m_stream ||
        Failed(m_stream->Ring()->SetFrequency(m_renderer.PlaybackRate())))
        return;
    m_drone.SetAlone(true);
    m_playing.store(true, std::memory_order_release);
    if (Failed(StartStream(0))) {
        m_playing.store(false, std::memory_order_release);
        m_drone.SetAlone(false);
        m_sink.Show({MessageKind::Error, messages::kErrorPlayingBuffer});
        return;
    }
    m_paused = false;
    // Pitch changes reach the ring as they do while the Taal plays.
    m_renderer.SetPlaying(true);
}

void CPlaybackEngine::PlayFrom(bool fromSelected, int firstSelected, const TaalImage* leadIn) {
    if (m_doc.IsEmpty()) {
        m_sink.Show({MessageKind::Information, messages::kMustLoadTaal});
        return;
    }
    // A failed build leaves the previous image playing.
    m_renderer.BuildTaalImage();
    if (IsPlaying())
        return;
    if (!EnsureOutput())
        return;
    if (!m_stream || Failed(m_stream->Ring()->SetFrequency(m_renderer.PlaybackRate())))
        return;
    std::uint64_t offset = 0;
    {
        std::lock_guard lock(m_streamLock);
        // An image without samples is never streamed.
        if (m_reader.DataSize() == 0)
            return;
        if (fromSelected) {
            const auto starts = m_renderer.Image().BolStarts();
            if (firstSelected > 0 && static_cast<std::size_t>(firstSelected) < starts.size() - 1)
                offset = 2 * starts[static_cast<std::size_t>(firstSelected)];
        }
    }
    const bool resume = m_paused && !fromSelected && leadIn == nullptr;
    {
        std::lock_guard lock(m_streamLock);
        EndLeadIn();
        if (leadIn != nullptr && !fromSelected && leadIn->DataSize() > 0) {
            m_reader.Close();
            m_reader.Open(leadIn, &m_renderer.StreamFormat());
            m_reader.SetNextCycleImage(&m_renderer.Image());
            m_leadIn = leadIn;
            if (m_stream)
                m_stream->SetLehraQuietOver(leadIn);
            m_countingIn.store(true, std::memory_order_release);
        }
    }
    m_drone.SetAlone(false);
    // Playing before the ring starts, so that its first notification counts.
    m_announce.store(true, std::memory_order_release);
    m_playing.store(true, std::memory_order_release);
    if (Failed(resume ? ResumeStream() : StartStream(offset))) {
        m_playing.store(false, std::memory_order_release);
        m_sink.Show({MessageKind::Error, messages::kErrorPlayingBuffer});
        return;
    }
    m_paused = false;
    m_renderer.SetPlaying(true);
    // The position from the start, shown at once.
    m_events.Set(kRefillEvent);
}

void CPlaybackEngine::OnAudioPause() {
    if (!IsPlaying())
        return;
    if (IsDroneAlone()) { // the drone alone has no place to come back to
        OnAudioStop();
        return;
    }
    {
        std::lock_guard lock(m_streamLock);
        m_stream->Stop();
        m_playing.store(false, std::memory_order_release);
    }
    m_renderer.SetPlaying(false);
    m_paused = true;
}

void CPlaybackEngine::OnAudioStop() {
    if (!IsPlaying())
        return;
    {
        std::lock_guard lock(m_streamLock);
        m_stream->Stop();
        m_stream->ResetStream();
        EndLeadIn();
        m_playing.store(false, std::memory_order_release);
        m_lastBeat.store(1.0f, std::memory_order_release);
    }
    m_drone.SetAlone(false);
    m_renderer.SetPlaying(false);
}

bool CPlaybackEngine::CanPlay() const {
    return !IsPlaying() && !m_doc.IsEmpty();
}

void CPlaybackEngine::OnTaalReplaced() {
    if (IsPlaying()) {
        OnAudioStop();
    } else if (m_paused && m_stream) {
        std::lock_guard lock(m_streamLock);
        m_stream->ResetStream();
        EndLeadIn();
        m_lastBeat.store(1.0f, std::memory_order_release);
        m_playingBol.store(0, std::memory_order_release);
    }
    m_paused = false;
}

void CPlaybackEngine::OnTaalEdited() {
    if (!IsPlaying())
        return;
    if (m_doc.IsEmpty() || m_doc.Taal().Count() == 0) {
        OnAudioStop();
        return;
    }
    m_renderer.BuildTaalImage();
}

void CPlaybackEngine::SetRingFrequency(std::uint32_t rate) {
    if (m_stream && IsPlaying())
        m_stream->Ring()->SetFrequency(rate);
}

HResult CPlaybackEngine::PlayAudition(std::span<const std::uint8_t> waveImage) {
    if (waveImage.size() < kWaveHeaderSize)
        return HResult::InvalidArg;
    const std::uint32_t rate = GetLe32(waveImage, kSampleRateOffset);
    const std::uint32_t dataBytes = GetLe32(waveImage, kDataSizeOffset);
    if (GetLe16(waveImage, 20) != 1 || GetLe16(waveImage, 22) != 1 ||
        GetLe16(waveImage, 34) != 16 || dataBytes < 4 || dataBytes % 2 != 0 ||
        dataBytes > waveImage.size() - kWaveHeaderSize || rate < kMinBufferFrequency ||
        rate > kMaxBufferFrequency)
        return HResult::InvalidArg;
    if (!m_device)
        return HResult::NotInitialized;
    OnAudioStop();
    // The one still sounding goes first; the output is done with it before
    // its memory is released.
    m_audition.reset();
    BufferDesc desc;
    desc.flags = buffer_flags::kCtrlFrequency | buffer_flags::kCtrlVolume |
                 buffer_flags::kGlobalFocus | buffer_flags::kLocSoftware;
    desc.bytes = dataBytes;
    desc.format.sampleRate = rate;
    desc.format.bytesPerSecond = 2 * rate;
    std::unique_ptr<OutputBuffer> buffer;
    if (const HResult result = m_device->CreateBuffer(desc, buffer); Failed(result))
        return result;
    std::uint8_t* region = nullptr;
    std::uint32_t regionBytes = 0;
    if (const HResult result = buffer->Lock(0, dataBytes, &region, &regionBytes, nullptr, nullptr);
        Failed(result))
        return result;
    std::memcpy(region, waveImage.data() + kWaveHeaderSize, regionBytes);
    buffer->Unlock(region, regionBytes, nullptr, 0);
    if (const HResult result = buffer->Play(false); Failed(result))
        return result;
    m_audition = std::move(buffer);
    return HResult::Ok;
}

} // namespace lorvanta
