// The lock of the host threads' side of the packet queue, held for one copy of at most 64 bytes.
// A waiter spins a little, then sleeps in the kernel until the holder leaves: on a single
// processor a waiting host thread of higher priority must never keep a holder of lower priority
// from running, which yielding in a loop would (Sleep(0) runs only threads of equal priority).
#pragma once

#if defined(_WIN32)
#include <memory>

// A critical section with a spin count: Windows spins only where another processor could be
// running the holder, and the call exists on Windows XP.
class QueueLock {
  public:
    QueueLock();  // throws std::bad_alloc when the system cannot make one
    ~QueueLock();
    QueueLock(const QueueLock&) = delete;
    QueueLock& operator=(const QueueLock&) = delete;
    void lock();
    void unlock();

  private:
    struct Section;  // keeps <windows.h> out of the portable code
    std::unique_ptr<Section> section;
};
#else
#include <mutex>

using QueueLock = std::mutex;
#endif
