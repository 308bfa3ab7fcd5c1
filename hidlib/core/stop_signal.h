// Tells transfers in flight to end early and refuses new ones: how Done gets the workers out of
// a read or write that waits for the board. A transfer that waits on something of its own (a
// system event, a condition variable) registers a wake-up for as long as it waits.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

class StopSignal {
  public:
    StopSignal() = default;
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Makes the runtime's object of the lock now; see runtime_objects.h.
    void makeReady();

    // Sets the signal for good and runs every registered wake-up.
    void request();
    bool requested() const { return stopped.load(std::memory_order_acquire); }

    // Runs wake when stop is requested while it lives, or at once when it already was. The
    // destructor waits for a wake-up that is running, so wake may use what the waiter owns.
    // Registering allocates nothing, so it cannot fail for want of memory.
    class WakeUp {
      public:
        WakeUp(StopSignal& signal, std::function<void()> wake);
        ~WakeUp();
        WakeUp(const WakeUp&) = delete;
        WakeUp& operator=(const WakeUp&) = delete;

      private:
        friend class StopSignal;
        StopSignal& signal;
        const std::function<void()> wake;
        WakeUp* previous = nullptr;  // the registered ones form a list, under wakeUpLock
        WakeUp* next = nullptr;
    };

  private:
    std::atomic<bool> stopped{false};
    std::mutex wakeUpLock;  // held while the list changes and while its wake-ups run
    WakeUp* first = nullptr;
};
