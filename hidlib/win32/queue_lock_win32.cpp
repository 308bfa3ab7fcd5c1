// The Windows side of the packet queue's lock (see queue_lock.h).
#include "queue_lock.h"

#include <windows.h>

#include <new>

namespace {

// Short next to a wake-up through the kernel; a copy of 64 bytes takes far less.
constexpr DWORD kSpinCount = 4000;

}  // namespace

struct QueueLock::Section {
    CRITICAL_SECTION section;
};

QueueLock::QueueLock() : section(std::make_unique<Section>()) {
    if (!InitializeCriticalSectionAndSpinCount(&section->section, kSpinCount)) {
        throw std::bad_alloc();
    }
}

QueueLock::~QueueLock() { DeleteCriticalSection(&section->section); }

void QueueLock::lock() { EnterCriticalSection(&section->section); }

void QueueLock::unlock() { LeaveCriticalSection(&section->section); }
