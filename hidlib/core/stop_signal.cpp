#include "stop_signal.h"

#include <algorithm>

void StopSignal::request() {
    std::lock_guard<std::mutex> guard(wakeUpLock);
    stopped.store(true, std::memory_order_release);
    for (const std::function<void()>* wake : wakeUps) (*wake)();
}

StopSignal::WakeUp::WakeUp(StopSignal& signal, std::function<void()> wake)
    : signal(signal), wake(std::move(wake)) {
    std::lock_guard<std::mutex> guard(signal.wakeUpLock);
    if (signal.requested()) {
        this->wake();
    } else {
        signal.wakeUps.push_back(&this->wake);
    }
}

StopSignal::WakeUp::~WakeUp() {
    std::lock_guard<std::mutex> guard(signal.wakeUpLock);
    auto& list = signal.wakeUps;
    list.erase(std::remove(list.begin(), list.end(), &wake), list.end());
}
