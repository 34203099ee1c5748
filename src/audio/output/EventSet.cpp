#include "audio/output/EventSet.h"

#include <thread>

#if defined(__linux__)
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace lorvanta {

namespace {

#if defined(__linux__)
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
              std::atomic<std::uint32_t>::is_always_lock_free);

// The kernel's wait word is the atomic's own storage.
std::uint32_t* Word(std::atomic<std::uint32_t>& bits) {
    return reinterpret_cast<std::uint32_t*>(&bits);
}
#endif

} // namespace

void EventSet::Set(unsigned index) noexcept {
    m_bits.fetch_or(1u << index, std::memory_order_release);
#if defined(__linux__)
    syscall(SYS_futex, Word(m_bits), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
#else
    m_bits.notify_one();
#endif
}

unsigned EventSet::TakeLowest() noexcept {
    std::uint32_t bits = m_bits.load(std::memory_order_acquire);
    while (bits != 0) {
        const auto index = static_cast<unsigned>(__builtin_ctz(bits));
        const std::uint32_t mask = 1u << index;
        bits = m_bits.fetch_and(~mask, std::memory_order_acq_rel);
        if ((bits & mask) != 0)
            return index;
    }
    return kTimedOut;
}

void EventSet::Sleep(std::chrono::microseconds timeout) noexcept {
#if defined(__linux__)
    // Returns at once when an event was set meanwhile (the word is no longer
    // 0), so a Set between the check and the sleep is never missed.
    if (timeout.count() < 0) {
        syscall(SYS_futex, Word(m_bits), FUTEX_WAIT_PRIVATE, 0, nullptr, nullptr, 0);
    } else {
        timespec limit{};
        limit.tv_sec = static_cast<time_t>(timeout.count() / 1000000);
        limit.tv_nsec = static_cast<long>(timeout.count() % 1000000) * 1000;
        syscall(SYS_futex, Word(m_bits), FUTEX_WAIT_PRIVATE, 0, &limit, nullptr, 0);
    }
#else
    if (timeout.count() < 0)
        m_bits.wait(0, std::memory_order_acquire);
    else
        std::this_thread::sleep_for(timeout);
#endif
}

unsigned EventSet::WaitAny() noexcept {
    for (;;) {
        if (const unsigned index = TakeLowest(); index != kTimedOut)
            return index;
        Sleep(std::chrono::microseconds(-1));
    }
}

unsigned EventSet::WaitAny(std::chrono::microseconds timeout) noexcept {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const unsigned index = TakeLowest(); index != kTimedOut)
            return index;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return kTimedOut;
        Sleep(left);
    }
}

} // namespace lorvanta
