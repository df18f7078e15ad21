#include "platform/ThreadLock.h"

#include <new>
#include <pthread.h>

namespace VeltorPlatform {

static_assert(sizeof(pthread_mutex_t) <= 64, "pthread_mutex_t does not fit the lock's storage");

static pthread_mutex_t* mutexOf(unsigned char* storage) {
    return reinterpret_cast<pthread_mutex_t*>(storage);
}

RecursiveThreadLock::RecursiveThreadLock() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (storage) pthread_mutex_t, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

RecursiveThreadLock::~RecursiveThreadLock() {
    pthread_mutex_destroy(mutexOf(storage));
}

void RecursiveThreadLock::enter() {
    pthread_mutex_lock(mutexOf(storage));
}

bool RecursiveThreadLock::tryEnter() {
    return pthread_mutex_trylock(mutexOf(storage)) == 0;
}

void RecursiveThreadLock::leave() {
    pthread_mutex_unlock(mutexOf(storage));
}

} // namespace VeltorPlatform
