#include "platform/recursive_lock.h"

#include "platform/fatal.h"

#include <pthread.h>

#include <new>

namespace zelk::os {

namespace {
pthread_mutex_t* Native(unsigned char* storage) { return std::launder(reinterpret_cast<pthread_mutex_t*>(storage)); }
}  // namespace

RecursiveLock::RecursiveLock() {
    static_assert(sizeof(pthread_mutex_t) <= sizeof(m_storage));
    static_assert(alignof(pthread_mutex_t) <= alignof(RecursiveLock));
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_t* mutex = new (m_storage) pthread_mutex_t;
    if (pthread_mutex_init(mutex, &attr) != 0) {
        Fatal("cannot initialise a list lock");
    }
    pthread_mutexattr_destroy(&attr);
}

RecursiveLock::~RecursiveLock() { pthread_mutex_destroy(Native(m_storage)); }

void RecursiveLock::Lock() noexcept { pthread_mutex_lock(Native(m_storage)); }

void RecursiveLock::Unlock() noexcept { pthread_mutex_unlock(Native(m_storage)); }

}  // namespace zelk::os
