#include "platform/ThreadLock.h"

#include <new>
#include <windows.h>

namespace VeltorPlatform {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "CRITICAL_SECTION does not fit the lock's storage");
static_assert(alignof(CRITICAL_SECTION) <= 8, "CRITICAL_SECTION needs a stronger alignment");

static CRITICAL_SECTION* sectionOf(unsigned char* storage) {
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

RecursiveThreadLock::RecursiveThreadLock() {
    InitializeCriticalSection(new (storage) CRITICAL_SECTION);
}

RecursiveThreadLock::~RecursiveThreadLock() {
    DeleteCriticalSection(sectionOf(storage));
}

void RecursiveThreadLock::enter() {
    EnterCriticalSection(sectionOf(storage));
}

bool RecursiveThreadLock::tryEnter() {
    return TryEnterCriticalSection(sectionOf(storage)) != FALSE;
}

void RecursiveThreadLock::leave() {
    LeaveCriticalSection(sectionOf(storage));
}

} // namespace VeltorPlatform
