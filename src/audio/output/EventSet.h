#pragma once

#include <atomic>
#include <cstdint>

namespace lorvanta {

// A few auto-reset events that one thread waits on together. Setting an event
// never blocks, allocates or takes a lock, so a device callback may do it.
// An event set several times before the waiter wakes wakes it once.
class EventSet {
public:
    static constexpr unsigned kMaxEvents = 32;

    void Set(unsigned index) noexcept {
        m_bits.fetch_or(1u << index, std::memory_order_release);
        m_bits.notify_one();
    }

    // Blocks until an event is set, resets it and returns its index; when
    // several are set the lowest index is taken first.
    unsigned WaitAny() noexcept {
        for (;;) {
            std::uint32_t bits = m_bits.load(std::memory_order_acquire);
            while (bits != 0) {
                const unsigned index = static_cast<unsigned>(__builtin_ctz(bits));
                const std::uint32_t mask = 1u << index;
                bits = m_bits.fetch_and(~mask, std::memory_order_acq_rel);
                if ((bits & mask) != 0)
                    return index;
            }
            m_bits.wait(0, std::memory_order_acquire);
        }
    }

    // Resets an event without waiting; true when it was set.
    bool TryTake(unsigned index) noexcept {
        const std::uint32_t mask = 1u << index;
        return (m_bits.fetch_and(~mask, std::memory_order_acq_rel) & mask) != 0;
    }

    void Reset(unsigned index) noexcept { TryTake(index); }

private:
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
