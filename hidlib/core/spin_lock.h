// A lock for critical sections of a few dozen instructions that two threads take at a high
// rate: a waiter spins briefly instead of sleeping in the kernel, where a wake-up would cost
// more than the whole section. After a while it yields, in case the holder was preempted.
#pragma once

#include <atomic>
#include <thread>

class SpinLock {
  public:
    void lock() {
        for (int attempt = 0; locked.exchange(true, std::memory_order_acquire); ++attempt) {
            while (locked.load(std::memory_order_relaxed)) {
                if (++attempt > kSpinsBeforeYield) std::this_thread::yield();
                pause();
            }
        }
    }
    void unlock() { locked.store(false, std::memory_order_release); }

  private:
    static constexpr int kSpinsBeforeYield = 100;
    static void pause() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    std::atomic<bool> locked{false};
};
