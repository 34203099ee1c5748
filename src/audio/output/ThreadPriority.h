#pragma once

namespace lorvanta {

// Scheduling class asked for by the threads that keep sound flowing.
enum class ThreadPriority {
    Audio,        // a device's consumer: above everything else of the program
    TimeCritical, // the thread that feeds a device: just below the consumer
};

// Raises the calling thread's priority where the system allows it; false when
// it stays as it was (the thread then runs at normal priority).
bool RaiseCurrentThreadPriority(ThreadPriority priority) noexcept;

} // namespace lorvanta
