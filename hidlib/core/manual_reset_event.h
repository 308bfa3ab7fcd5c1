// An event that stays signalled until it is reset, like a Windows manual-reset event. Events of
// one EventGroup share a lock and a condition variable, so a thread can wait for any of them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <initializer_list>
#include <mutex>

class EventGroup {
  public:
    // Makes the runtime's objects of the lock and the condition now; see runtime_objects.h.
    void makeReady();

  private:
    friend class ManualResetEvent;
    std::mutex lock;
    std::condition_variable changed;
};

class ManualResetEvent {
  public:
    explicit ManualResetEvent(EventGroup& group) : group(group) {}

    void set();
    void reset();
    bool isSet() const;
    // Waits at most limit for the event; returns whether it is signalled.
    bool waitFor(std::chrono::milliseconds limit);

    // Waits without a time limit until one of the events is signalled; returns the position of
    // the first signalled one in the list, so an earlier event wins when several are.
    static std::size_t waitForAny(std::initializer_list<ManualResetEvent*> events);

  private:
    EventGroup& group;
    // Changed under group.lock, so that waiters see every change; read without it by isSet,
    // which the reader thread asks after every report.
    std::atomic<bool> signalled{false};
};
