#include "manual_reset_event.h"

#include "runtime_objects.h"

#include <cassert>

void EventGroup::makeReady() { ::makeReady(changed, lock); }

void ManualResetEvent::set() {
    std::lock_guard<std::mutex> guard(group.lock);
    signalled.store(true, std::memory_order_release);
    group.changed.notify_all();
}

void ManualResetEvent::reset() {
    std::lock_guard<std::mutex> guard(group.lock);
    signalled.store(false, std::memory_order_release);
}

bool ManualResetEvent::isSet() const { return signalled.load(std::memory_order_acquire); }

bool ManualResetEvent::waitFor(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(group.lock);
    return group.changed.wait_for(guard, limit,
                                  [this] { return signalled.load(std::memory_order_relaxed); });
}

std::size_t ManualResetEvent::waitForAny(std::initializer_list<ManualResetEvent*> events) {
    assert(events.size() > 0);
    EventGroup& group = (*events.begin())->group;
    std::unique_lock<std::mutex> guard(group.lock);
    for (;;) {
        std::size_t position = 0;
        for (const ManualResetEvent* event : events) {
            assert(&event->group == &group);
            if (event->signalled.load(std::memory_order_relaxed)) return position;
            ++position;
        }
        group.changed.wait(guard);
    }
}
