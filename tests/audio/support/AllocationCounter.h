#pragma once

// Counts heap allocations and frees made while armed, on every thread but
// those that exempt themselves. Linking AllocationCounter.cpp into a test
// program replaces the C allocator's entry points for the whole program
// (glibc only, and not under a sanitizer, which has its own).

#include <cstdint>

namespace lorvanta::test {

void ArmAllocationCounter(bool armed);
std::uint64_t CountedAllocations();
std::uint64_t CountedFrees();

// While alive, the constructing thread's allocations are not counted.
class AllocationExemption {
public:
    AllocationExemption();
    ~AllocationExemption();
    AllocationExemption(const AllocationExemption&) = delete;
    AllocationExemption& operator=(const AllocationExemption&) = delete;

private:
    bool m_previous;
};

// While alive, the constructing thread's allocations are counted again.
class AllocationCounting {
public:
    AllocationCounting();
    ~AllocationCounting();
    AllocationCounting(const AllocationCounting&) = delete;
    AllocationCounting& operator=(const AllocationCounting&) = delete;

private:
    bool m_previous;
};

} // namespace lorvanta::test
