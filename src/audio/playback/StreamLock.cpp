#include "audio/playback/StreamLock.h"

namespace lorvanta {

StreamLock::StreamLock() noexcept {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    // Where priority inheritance is missing, an ordinary mutex remains.
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    if (pthread_mutex_init(&m_mutex, &attributes) != 0) {
        pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_NONE);
        pthread_mutex_init(&m_mutex, &attributes);
    }
    pthread_mutexattr_destroy(&attributes);
}

StreamLock::~StreamLock() {
    pthread_mutex_destroy(&m_mutex);
}

void StreamLock::lock() noexcept {
    pthread_mutex_lock(&m_mutex);
}

void StreamLock::unlock() noexcept {
    pthread_mutex_unlock(&m_mutex);
}

bool StreamLock::try_lock() noexcept {
    return pthread_mutex_trylock(&m_mutex) == 0;
}

} // namespace lorvanta
