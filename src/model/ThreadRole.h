#pragma once

// The rules "window's thread only" and "feeding thread only" as checks: a
// ThreadRole remembers the thread that claimed it, and Check() stops a debug
// build when another thread does what only that one may. Release builds keep
// nothing and check nothing. A check is one atomic load: no lock, no
// allocation, fit for the feeding thread.

#include <atomic>
#include <cassert>
#include <thread>

namespace lorvanta {

#ifdef NDEBUG

class ThreadRole {
public:
    void Claim() {}
    void Release() {}
    void Check() const {}
};

#else

class ThreadRole {
public:
    // The calling thread has the role from now on.
    void Claim() { m_owner.store(std::this_thread::get_id(), std::memory_order_relaxed); }
    // Nobody has the role (a thread that ends); the next to claim it will.
    void Release() { m_owner.store(std::thread::id(), std::memory_order_relaxed); }
    // Unclaimed, or the calling thread has it.
    void Check() const {
        const std::thread::id owner = m_owner.load(std::memory_order_relaxed);
        assert((owner == std::thread::id() || owner == std::this_thread::get_id()) &&
               "called from a thread that does not have this role");
        (void)owner;
    }

private:
    std::atomic<std::thread::id> m_owner{};
};

#endif

// Claims a role for as long as it lives: the body of a thread.
class ThreadRoleClaim {
public:
    explicit ThreadRoleClaim(ThreadRole& role) : m_role(role) { m_role.Claim(); }
    ~ThreadRoleClaim() { m_role.Release(); }
    ThreadRoleClaim(const ThreadRoleClaim&) = delete;
    ThreadRoleClaim& operator=(const ThreadRoleClaim&) = delete;

private:
    ThreadRole& m_role;
};

} // namespace lorvanta
