#pragma once

// Counts heap allocations and frees (together) made while armed, on every thread but
// those that exempt themselves. Linking AllocationCounter.cpp into a test
// program replaces the C allocator's entry points for the whole program
// (glibc only, and not under a sanitizer, which has its own).

#include <cstdint>

namespace lorvanta::test {

void ArmAllocationCounter(bool armed);
std::uint64_t CountedAllocations();

// While alive, the constructing thread's allocations are counted or not as
// `counted` says; the thread's previous choice comes back after.
class AllocationScope {
public:
    explicit AllocationScope(bool counted);
    ~AllocationScope();

private:
    bool m_previous;
};

} // namespace lorvanta::test
