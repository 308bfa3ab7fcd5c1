#include "stop_signal.h"

#include "runtime_objects.h"

void StopSignal::makeReady() { ::makeReady(wakeUpLock); }

void StopSignal::request() {
    std::lock_guard<std::mutex> guard(wakeUpLock);
    stopped.store(true, std::memory_order_release);
    for (WakeUp* registered = first; registered; registered = registered->next) {
        registered->wake();
    }
}

StopSignal::WakeUp::WakeUp(StopSignal& signal, std::function<void()> wake)
    : signal(signal), wake(std::move(wake)) {
    std::lock_guard<std::mutex> guard(signal.wakeUpLock);
    if (signal.requested()) {
        this->wake();
        return;
    }
    next = signal.first;
    if (next) next->previous = this;
    signal.first = this;
}

StopSignal::WakeUp::~WakeUp() {
    std::lock_guard<std::mutex> guard(signal.wakeUpLock);
    if (previous) previous->next = next;
    if (next) next->previous = previous;
    if (signal.first == this) signal.first = next;
}
