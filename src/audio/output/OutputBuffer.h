#pragma once

#include "audio/output/EventSet.h"
#include "audio/output/OutputTypes.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

namespace lorvanta {

class OutputDevice;

// Where a buffer signals an event: when playback passes byte `offset`.
struct NotifyPosition {
    std::uint32_t offset = 0;
    EventRef event;
};

// One sound buffer of an output device: a block of 16-bit mono samples that
// the device plays at the buffer's frequency, once or in an endless loop.
//
// Two sides use it. The writer (one thread at a time) locks regions and fills
// them, starts, stops and positions the buffer. The consumer (the device's
// callback or a virtual clock) takes the samples as they are played, moves the
// cursors and signals the notification events. The consumer's side never
// blocks, allocates or takes a lock; the sample memory is shared through
// relaxed atomics, so a late writer gives stale sound, never a data race.
//
// Created by OutputDevice::CreateBuffer; must be destroyed before its device.
// Destroying it waits until the consumer no longer uses it.
class OutputBuffer {
public:
    static constexpr std::size_t kMaxNotifications = 16;

    ~OutputBuffer();
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    // ---- Writer's side ----
    std::uint32_t Size() const noexcept { return m_size; }
    const PcmFormat& Format() const noexcept { return m_format; }
    std::uint32_t Flags() const noexcept { return m_flags; }
    // A number no other buffer of the process has had.
    std::uint64_t Serial() const noexcept { return m_serial; }

    // buffer_status bits.
    HResult GetStatus(std::uint32_t* status) const noexcept;
    // Gives a lost buffer its memory back (zeroed) once its device is back;
    // HResult::BufferLost while it cannot yet.
    HResult Restore() noexcept;

    // Locks `bytes` from `offset` for writing. A region that crosses the end
    // comes back in two pieces (the second from offset 0); without room for a
    // second piece the region stops at the end. Offsets and sizes are whole
    // samples. One lock at a time.
    HResult Lock(std::uint32_t offset, std::uint32_t bytes, std::uint8_t** first,
                 std::uint32_t* firstBytes, std::uint8_t** second,
                 std::uint32_t* secondBytes) noexcept;
    // Publishes what was written into the locked pieces (given back with the
    // number of bytes written to each).
    HResult Unlock(std::uint8_t* first, std::uint32_t firstBytes, std::uint8_t* second,
                   std::uint32_t secondBytes) noexcept;

    // Play cursor: the byte now being heard. Write cursor: the first byte not
    // yet taken by the device; everything behind it may be rewritten.
    HResult GetCurrentPosition(std::uint32_t* play, std::uint32_t* write) const noexcept;
    HResult SetCurrentPosition(std::uint32_t offset) noexcept;
    // Bytes behind the write cursor not heard yet at `now`: the output's
    // latency, less what has sounded since a real-time consumer last took
    // samples (negative when it takes in arrears, as a clock that takes what
    // the elapsed time owed does). Any size, unlike the play cursor's lag.
    std::int64_t UnheardBytes(std::chrono::steady_clock::time_point now) const noexcept;

    // Starts playing from the current position (again, if stopped); a looping
    // buffer plays endlessly, another stops at its end and rewinds.
    HResult Play(bool looping) noexcept;
    // Stops; the position stays where it was.
    HResult Stop() noexcept;

    HResult SetFrequency(std::uint32_t hz) noexcept;
    std::uint32_t Frequency() const noexcept { return m_frequency.load(std::memory_order_relaxed); }
    // Attenuation in hundredths of a decibel, -10000 to 0.
    HResult SetVolume(std::int32_t volume) noexcept;
    std::int32_t Volume() const noexcept { return m_volume.load(std::memory_order_relaxed); }

    // Only while stopped; offsets must be below the size, at most
    // kMaxNotifications of them, in any order.
    HResult SetNotificationPositions(std::span<const NotifyPosition> positions) noexcept;

    // ---- Figures, readable from any thread ----
    // Chunks (between notification positions) that were played before they
    // had been written again since they were last played.
    std::uint64_t Underruns() const noexcept { return m_underruns.load(std::memory_order_relaxed); }
    std::uint64_t NotificationsSignalled() const noexcept {
        return m_signalled.load(std::memory_order_acquire);
    }
    // Counts Unlock calls; lets a test wait for a writer.
    std::uint64_t WriteGeneration() const noexcept {
        return m_writeGeneration.load(std::memory_order_acquire);
    }

    // ---- Consumer's side ----
    bool IsPlaying() const noexcept { return m_playing.load(std::memory_order_acquire); }
    // Changes whenever playback starts or is repositioned, so that a consumer
    // knows to drop what it still holds of the old position.
    std::uint32_t StartGeneration() const noexcept {
        return m_startGeneration.load(std::memory_order_acquire);
    }
    // Takes up to `frames` samples from the position on into out, moves the
    // cursors and signals the notifications passed. Returns the samples
    // taken: 0 when not playing, fewer than asked when a one-shot buffer ends.
    // A lost buffer plays silence and keeps signalling.
    std::uint32_t Consume(std::int16_t* out, std::uint32_t frames) noexcept;
    // How many bytes of what was taken have not been heard yet.
    void SetLatencyBytes(std::uint32_t bytes) noexcept;
    // A consumer that runs in real time: the moment up to which it took
    // samples (a device callback's, or a clock pass's). Never set by a
    // consumer stepped by hand, whose positions then stay exact.
    void StampTaken(std::chrono::steady_clock::time_point when) noexcept;
    // Whether a real-time consumer has taken samples since playback started
    // (a consumer stepped by hand never says when).
    bool TakenInRealTime() const noexcept { return m_takenAt.load(std::memory_order_acquire) != 0; }
    // When playback last started (the steady clock's count; 0 never).
    std::int64_t StartedAt() const noexcept { return m_startedAt.load(std::memory_order_acquire); }
    // The device vanished: the memory is gone until Restore.
    void MarkLost() noexcept;
    // Sets every notification event once, without moving, and counts one
    // notification: wakes the writer of a buffer that nothing is taking from
    // (its device has gone), so that it tries to restore it.
    void SignalNotifications() noexcept;

private:
    friend class OutputDevice;
    OutputBuffer(OutputDevice& device, const BufferDesc& desc, std::uint64_t serial);

    void MarkFresh(std::uint32_t offset, std::uint32_t bytes) noexcept;
    void Publish(std::uint32_t offset, std::uint32_t bytes) noexcept;

    OutputDevice& m_device;
    const std::uint64_t m_serial;
    const std::uint32_t m_size;
    const std::uint32_t m_flags;
    const PcmFormat m_format;

    // The writer's copy; Lock hands out pointers into it, Unlock publishes.
    std::unique_ptr<std::uint8_t[]> m_staging;
    // The samples the consumer reads.
    std::unique_ptr<std::atomic<std::int16_t>[]> m_samples;

    std::atomic<bool> m_locked{false};
    std::uint32_t m_lockOffset = 0;
    std::uint32_t m_lockBytes = 0;

    std::atomic<std::uint32_t> m_position{0};
    std::atomic<std::uint32_t> m_sinceStart{0};
    std::atomic<std::uint32_t> m_latency{0};
    std::atomic<std::int64_t> m_takenAt{0}; // steady clock count; 0: not stamped since the start
    std::atomic<std::int64_t> m_startedAt{0};
    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_looping{false};
    std::atomic<bool> m_lost{false};
    std::atomic<std::uint32_t> m_startGeneration{0};
    std::atomic<std::uint32_t> m_frequency;
    std::atomic<std::int32_t> m_volume{0};

    // Notification positions, sorted, with their events; each chunk ends at
    // one of them. fresh: written since last played.
    std::atomic<std::uint32_t> m_notifyCount{0};
    std::array<std::atomic<std::uint32_t>, kMaxNotifications> m_notifyOffsets{};
    std::array<std::atomic<EventSet*>, kMaxNotifications> m_notifySets{};
    std::array<std::atomic<std::uint32_t>, kMaxNotifications> m_notifyIndices{};
    std::array<std::atomic<bool>, kMaxNotifications> m_fresh{};

    std::atomic<std::uint64_t> m_underruns{0};
    std::atomic<std::uint64_t> m_signalled{0};
    std::atomic<std::uint64_t> m_writeGeneration{0};
};

} // namespace lorvanta
