#pragma once

#include <pthread.h>

namespace lorvanta {

// The lock the feeding thread shares with the window's thread. It inherits
// priority: while the window's thread holds it, that thread runs at the
// feeding thread's real-time priority should the feeding thread wait, so an
// ordinary thread busy elsewhere cannot keep the feeding thread waiting.
// Whoever holds it must not sleep, block on anything else or allocate;
// objects handed to the feeding thread are built before it is taken and the
// ones they replace are freed after it is let go.
class StreamLock {
public:
    StreamLock() noexcept;
    ~StreamLock();
    StreamLock(const StreamLock&) = delete;
    StreamLock& operator=(const StreamLock&) = delete;

    void lock() noexcept;
    void unlock() noexcept;
    bool try_lock() noexcept;

private:
    pthread_mutex_t m_mutex;
};

} // namespace lorvanta
