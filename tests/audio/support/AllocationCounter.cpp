#include "AllocationCounter.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

namespace lorvanta::test {
namespace {
std::atomic<bool> g_armed{false};
std::atomic<std::uint64_t> g_calls{0};
thread_local bool t_exempt = false; // constant-initialised: safe inside malloc

void NoteAllocation() {
    if (g_armed.load(std::memory_order_relaxed) && !t_exempt)
        g_calls.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

void ArmAllocationCounter(bool armed) {
    g_armed.store(armed);
}
std::uint64_t CountedAllocations() {
    return g_calls.load();
}

AllocationScope::AllocationScope(bool counted) : m_previous(t_exempt) {
    t_exempt = !counted;
}
AllocationScope::~AllocationScope() {
    t_exempt = m_previous;
}

} // namespace lorvanta::test

// The C allocator's entry points, counted, then passed to glibc's own.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size) {
    lorvanta::test::NoteAllocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    lorvanta::test::NoteAllocation();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    lorvanta::test::NoteAllocation();
    return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    lorvanta::test::NoteAllocation();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    lorvanta::test::NoteAllocation();
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr)
        return ENOMEM;
    *out = p;
    return 0;
}
void free(void* p) {
    if (p != nullptr)
        lorvanta::test::NoteAllocation();
    __libc_free(p);
}
}
