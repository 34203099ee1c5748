#include "audio/output/OutputBuffer.h"

#include "audio/output/OutputDevice.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lorvanta {

static_assert(std::endian::native == std::endian::little,
              "buffers hold little-endian samples as the machine's own");

OutputBuffer::OutputBuffer(OutputDevice& device, const BufferDesc& desc, std::uint64_t serial)
    : m_device(device), m_serial(serial), m_size(desc.bytes), m_flags(desc.flags),
      m_format(desc.format), m_staging(std::make_unique<std::uint8_t[]>(desc.bytes)),
      m_samples(std::make_unique<std::atomic<std::int16_t>[]>(desc.bytes / 2)),
      m_frequency(desc.format.sampleRate) {}

OutputBuffer::~OutputBuffer() {
    m_playing.store(false, std::memory_order_release);
    m_device.Detach(*this);
}

HResult OutputBuffer::GetStatus(std::uint32_t* status) const noexcept {
    if (status == nullptr)
        return HResult::InvalidArg;
    std::uint32_t bits = 0;
    if (m_lost.load(std::memory_order_acquire))
        bits |= buffer_status::kLost;
    if (m_playing.load(std::memory_order_acquire)) {
        bits |= buffer_status::kPlaying;
        if (m_looping.load(std::memory_order_relaxed))
            bits |= buffer_status::kLooping;
    }
    *status = bits;
    return HResult::Ok;
}

HResult OutputBuffer::Restore() noexcept {
    if (!m_lost.load(std::memory_order_acquire))
        return HResult::Ok;
    if (Failed(m_device.RestoreDevice()))
        return HResult::BufferLost;
    std::memset(m_staging.get(), 0, m_size);
    for (std::uint32_t i = 0; i < m_size / 2; ++i)
        m_samples[i].store(0, std::memory_order_relaxed);
    m_writeGeneration.fetch_add(1, std::memory_order_release);
    m_lost.store(false, std::memory_order_release);
    return HResult::Ok;
}

HResult OutputBuffer::Lock(std::uint32_t offset, std::uint32_t bytes, std::uint8_t** first,
                           std::uint32_t* firstBytes, std::uint8_t** second,
                           std::uint32_t* secondBytes) noexcept {
    if (first == nullptr || firstBytes == nullptr || offset >= m_size || bytes == 0 ||
        bytes > m_size || offset % 2 != 0 || bytes % 2 != 0)
        return HResult::InvalidArg;
    if (m_lost.load(std::memory_order_acquire))
        return HResult::BufferLost;
    if (m_locked.exchange(true, std::memory_order_acquire))
        return HResult::InvalidCall;
    const std::uint32_t head = std::min(bytes, m_size - offset);
    std::uint32_t tail = bytes - head;
    if (second == nullptr || secondBytes == nullptr)
        tail = 0;
    *first = m_staging.get() + offset;
    *firstBytes = head;
    if (second != nullptr)
        *second = tail != 0 ? m_staging.get() : nullptr;
    if (secondBytes != nullptr)
        *secondBytes = tail;
    m_lockOffset = offset;
    m_lockBytes = head + tail;
    return HResult::Ok;
}

HResult OutputBuffer::Unlock(std::uint8_t* first, std::uint32_t firstBytes, std::uint8_t* second,
                             std::uint32_t secondBytes) noexcept {
    if (!m_locked.load(std::memory_order_relaxed))
        return HResult::InvalidCall;
    const std::uint32_t head = std::min(m_lockBytes, m_size - m_lockOffset);
    const std::uint32_t tail = m_lockBytes - head;
    if (first != m_staging.get() + m_lockOffset || firstBytes > head ||
        (secondBytes != 0 && (second != m_staging.get() || secondBytes > tail)))
        return HResult::InvalidArg;
    firstBytes &= ~1u;
    secondBytes &= ~1u;
    Publish(m_lockOffset, firstBytes);
    Publish(0, secondBytes);
    // A chunk counts as written only when the whole of it was.
    if (firstBytes == head)
        MarkFresh(m_lockOffset, head + secondBytes);
    else
        MarkFresh(m_lockOffset, firstBytes);
    m_writeGeneration.fetch_add(1, std::memory_order_release);
    m_locked.store(false, std::memory_order_release);
    return HResult::Ok;
}

void OutputBuffer::Publish(std::uint32_t offset, std::uint32_t bytes) noexcept {
    const std::uint8_t* source = m_staging.get() + offset;
    std::atomic<std::int16_t>* target = m_samples.get() + offset / 2;
    for (std::uint32_t i = 0; i < bytes / 2; ++i) {
        std::int16_t sample;
        std::memcpy(&sample, source + 2 * i, 2);
        target[i].store(sample, std::memory_order_relaxed);
    }
}

void OutputBuffer::MarkFresh(std::uint32_t offset, std::uint32_t bytes) noexcept {
    const std::uint32_t count = m_notifyCount.load(std::memory_order_acquire);
    for (std::uint32_t c = 0; c < count; ++c) {
        // Chunk c runs from just after the previous notification to its own.
        const std::uint32_t end = m_notifyOffsets[c].load(std::memory_order_relaxed);
        const std::uint32_t previous =
            m_notifyOffsets[(c + count - 1) % count].load(std::memory_order_relaxed);
        const std::uint32_t start = (previous + 1) % m_size;
        const std::uint32_t length = (end + m_size - start) % m_size + 1;
        const std::uint32_t lead = (start + m_size - offset) % m_size;
        if (bytes >= m_size || lead + length <= bytes)
            m_fresh[c].store(true, std::memory_order_release);
    }
}

HResult OutputBuffer::GetCurrentPosition(std::uint32_t* play, std::uint32_t* write) const noexcept {
    if (play == nullptr && write == nullptr)
        return HResult::InvalidArg;
    const std::uint32_t position = m_position.load(std::memory_order_acquire);
    const std::uint32_t behind =
        std::min({m_latency.load(std::memory_order_relaxed),
                  m_sinceStart.load(std::memory_order_relaxed), (m_size - 2) & ~1u});
    if (play != nullptr)
        *play = (position + m_size - behind) % m_size;
    if (write != nullptr)
        *write = position;
    return HResult::Ok;
}

HResult OutputBuffer::SetCurrentPosition(std::uint32_t offset) noexcept {
    if (offset >= m_size)
        return HResult::InvalidArg;
    m_position.store(offset & ~1u, std::memory_order_release);
    m_sinceStart.store(0, std::memory_order_relaxed);
    m_startGeneration.fetch_add(1, std::memory_order_acq_rel);
    return HResult::Ok;
}

HResult OutputBuffer::Play(bool looping) noexcept {
    if (m_lost.load(std::memory_order_acquire))
        return HResult::BufferLost;
    m_looping.store(looping, std::memory_order_relaxed);
    if (!m_playing.load(std::memory_order_relaxed)) {
        m_sinceStart.store(0, std::memory_order_relaxed);
        m_takenAt.store(0, std::memory_order_relaxed);
        m_startedAt.store(std::chrono::steady_clock::now().time_since_epoch().count(),
                          std::memory_order_release);
        m_startGeneration.fetch_add(1, std::memory_order_acq_rel);
        m_playing.store(true, std::memory_order_release);
    }
    m_device.OnBufferStarted();
    return HResult::Ok;
}

HResult OutputBuffer::Stop() noexcept {
    m_playing.store(false, std::memory_order_release);
    return HResult::Ok;
}

HResult OutputBuffer::SetFrequency(std::uint32_t hz) noexcept {
    if ((m_flags & buffer_flags::kCtrlFrequency) == 0)
        return HResult::ControlUnavailable;
    if (hz < kMinBufferFrequency || hz > kMaxBufferFrequency)
        return HResult::InvalidArg;
    m_frequency.store(hz, std::memory_order_relaxed);
    return HResult::Ok;
}

HResult OutputBuffer::SetVolume(std::int32_t volume) noexcept {
    if ((m_flags & buffer_flags::kCtrlVolume) == 0)
        return HResult::ControlUnavailable;
    if (volume < -10000 || volume > 0)
        return HResult::InvalidArg;
    m_volume.store(volume, std::memory_order_relaxed);
    return HResult::Ok;
}

HResult OutputBuffer::SetNotificationPositions(std::span<const NotifyPosition> positions) noexcept {
    if ((m_flags & buffer_flags::kCtrlPositionNotify) == 0)
        return HResult::ControlUnavailable;
    if (positions.size() > kMaxNotifications)
        return HResult::InvalidArg;
    if (m_playing.load(std::memory_order_acquire))
        return HResult::InvalidCall;
    std::array<NotifyPosition, kMaxNotifications> sorted{};
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (positions[i].offset >= m_size || !positions[i].event ||
            positions[i].event.index >= EventSet::kMaxEvents)
            return HResult::InvalidArg;
        sorted[i] = positions[i];
    }
    std::sort(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(positions.size()),
              [](const NotifyPosition& a, const NotifyPosition& b) { return a.offset < b.offset; });
    for (std::size_t i = 1; i < positions.size(); ++i) {
        if (sorted[i].offset == sorted[i - 1].offset)
            return HResult::InvalidArg;
    }
    m_notifyCount.store(0, std::memory_order_release);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        m_notifyOffsets[i].store(sorted[i].offset, std::memory_order_relaxed);
        m_notifySets[i].store(sorted[i].event.set, std::memory_order_relaxed);
        m_notifyIndices[i].store(sorted[i].event.index, std::memory_order_relaxed);
        m_fresh[i].store(false, std::memory_order_relaxed);
    }
    m_notifyCount.store(static_cast<std::uint32_t>(positions.size()), std::memory_order_release);
    return HResult::Ok;
}

void OutputBuffer::SetLatencyBytes(std::uint32_t bytes) noexcept {
    m_latency.store(bytes & ~1u, std::memory_order_relaxed);
}

void OutputBuffer::StampTaken(std::chrono::steady_clock::time_point when) noexcept {
    m_takenAt.store(when.time_since_epoch().count(), std::memory_order_release);
}

std::int64_t OutputBuffer::UnheardBytes(std::chrono::steady_clock::time_point now) const noexcept {
    // What was taken since the start cannot be more than that behind.
    std::int64_t unheard = std::min(m_latency.load(std::memory_order_relaxed),
                                    m_sinceStart.load(std::memory_order_relaxed));
    const std::int64_t takenAt = m_takenAt.load(std::memory_order_acquire);
    if (takenAt == 0 || !m_playing.load(std::memory_order_acquire))
        return unheard;
    // A consumer that has gone quiet (a lost device) is not followed far.
    constexpr std::chrono::steady_clock::duration kLongest = std::chrono::milliseconds(20);
    const auto since =
        std::clamp(now.time_since_epoch() - std::chrono::steady_clock::duration(takenAt),
                   std::chrono::steady_clock::duration::zero(), kLongest);
    const double sounded = std::chrono::duration<double>(since).count() *
                           static_cast<double>(m_frequency.load(std::memory_order_relaxed));
    unheard -= 2 * static_cast<std::int64_t>(sounded);
    return unheard;
}

void OutputBuffer::MarkLost() noexcept {
    m_lost.store(true, std::memory_order_release);
}

void OutputBuffer::SignalNotifications() noexcept {
    const std::uint32_t count = m_notifyCount.load(std::memory_order_acquire);
    if (count != 0)
        m_signalled.fetch_add(1, std::memory_order_release);
    for (std::uint32_t c = 0; c < count; ++c) {
        if (EventSet* set = m_notifySets[c].load(std::memory_order_relaxed))
            set->Set(m_notifyIndices[c].load(std::memory_order_relaxed));
    }
}

std::uint32_t OutputBuffer::Consume(std::int16_t* out, std::uint32_t frames) noexcept {
    if (!m_playing.load(std::memory_order_acquire) || frames == 0)
        return 0;
    const bool lost = m_lost.load(std::memory_order_acquire);
    const bool looping = m_looping.load(std::memory_order_relaxed);
    std::uint32_t start = m_position.load(std::memory_order_acquire);
    std::uint32_t position = start;
    std::uint32_t taken = 0;
    bool ended = false;
    while (taken < frames) {
        const std::uint32_t run = std::min(frames - taken, (m_size - position) / 2);
        if (lost) {
            std::memset(out + taken, 0, run * sizeof(std::int16_t));
        } else {
            const std::atomic<std::int16_t>* source = m_samples.get() + position / 2;
            for (std::uint32_t i = 0; i < run; ++i)
                out[taken + i] = source[i].load(std::memory_order_relaxed);
        }
        taken += run;
        position += run * 2;
        if (position >= m_size) {
            position = 0;
            if (!looping) {
                ended = true;
                break;
            }
        }
    }
    // A writer may have moved the position meanwhile; its move wins.
    std::uint32_t expected = start;
    if (!m_position.compare_exchange_strong(expected, position, std::memory_order_acq_rel))
        return taken;
    if (ended)
        m_playing.store(false, std::memory_order_release);
    const std::uint32_t bytes = taken * 2;
    const std::uint32_t since = m_sinceStart.load(std::memory_order_relaxed);
    // Only compared with the latency: it need not count beyond a second or so.
    m_sinceStart.store(std::min(since + bytes, std::uint32_t{1} << 30), std::memory_order_relaxed);

    // Notifications whose byte was taken in this pass. Entering the chunk
    // after one checks that the writer refilled it; all checks come before
    // any event is set, so that a writer woken now cannot be mistaken for one
    // that was in time.
    const std::uint32_t count = m_notifyCount.load(std::memory_order_acquire);
    std::uint32_t crossed = 0; // bit c: notification c was passed
    for (std::uint32_t c = 0; c < count; ++c) {
        const std::uint32_t offset = m_notifyOffsets[c].load(std::memory_order_relaxed);
        if ((offset + m_size - start) % m_size < bytes)
            crossed |= 1u << c;
    }
    if (crossed == 0)
        return taken;
    if (!ended && !lost) {
        for (std::uint32_t c = 0; c < count; ++c) {
            if ((crossed & (1u << c)) != 0 &&
                !m_fresh[(c + 1) % count].exchange(false, std::memory_order_acq_rel))
                m_underruns.fetch_add(1, std::memory_order_relaxed);
        }
    }
    m_signalled.fetch_add(static_cast<std::uint32_t>(std::popcount(crossed)),
                          std::memory_order_release);
    for (std::uint32_t c = 0; c < count; ++c) {
        if ((crossed & (1u << c)) == 0)
            continue;
        if (EventSet* set = m_notifySets[c].load(std::memory_order_relaxed))
            set->Set(m_notifyIndices[c].load(std::memory_order_relaxed));
    }
    return taken;
}

} // namespace lorvanta
