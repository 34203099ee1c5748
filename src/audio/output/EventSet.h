#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace lorvanta {

// A few auto-reset events that one thread waits on together. Setting an event
// never blocks, allocates or takes a lock, so a device callback may do it.
// An event set several times before the waiter wakes wakes it once.
class EventSet {
public:
    static constexpr unsigned kMaxEvents = 32;
    static constexpr unsigned kTimedOut = kMaxEvents;

    void Set(unsigned index) noexcept;

    // Blocks until an event is set, resets it and returns its index; when
    // several are set the lowest index is taken first.
    unsigned WaitAny() noexcept;
    // The same, giving up after `timeout` with kTimedOut.
    unsigned WaitAny(std::chrono::microseconds timeout) noexcept;

    // Resets an event without waiting; true when it was set.
    bool TryTake(unsigned index) noexcept {
        const std::uint32_t mask = 1u << index;
        return (m_bits.fetch_and(~mask, std::memory_order_acq_rel) & mask) != 0;
    }

    void Reset(unsigned index) noexcept { TryTake(index); }

private:
    // The lowest set event, reset; kTimedOut when none is set.
    unsigned TakeLowest() noexcept;
    // Sleeps while no event is set, at most `timeout` (negative: no limit).
    void Sleep(std::chrono::microseconds timeout) noexcept;

    std::atomic<std::uint32_t> m_bits{0};
};

// One event of a set, as handed to whatever signals it.
struct EventRef {
    EventSet* set = nullptr;
    unsigned index = 0;

    explicit operator bool() const { return set != nullptr; }
    void Set() const noexcept {
        if (set != nullptr)
            set->Set(index);
    }
};

} // namespace lorvanta
