#include "audio/output/ThreadPriority.h"

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
#include <sched.h>
#endif

namespace lorvanta {

bool RaiseCurrentThreadPriority(ThreadPriority priority) noexcept {
#if defined(__unix__) || defined(__APPLE__)
    // Round-robin real-time scheduling, low in the range so that the system's
    // own real-time threads (a sound server's among them) stay above.
    const int lowest = sched_get_priority_min(SCHED_RR);
    sched_param param{};
    param.sched_priority = lowest + (priority == ThreadPriority::Audio ? 10 : 8);
    return pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0;
#else
    (void)priority;
    return false;
#endif
}

} // namespace lorvanta
