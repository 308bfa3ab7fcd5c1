#include "packet_queue.h"

void CPacketQueue::append(std::unique_ptr<InputPacket> packet) {
    std::lock_guard<SpinLock> guard(queueLock);
    packets.push_back(std::move(packet));
    queued.store(packets.size(), std::memory_order_release);
}

std::unique_ptr<InputPacket> CPacketQueue::takeOldest() {
    std::lock_guard<SpinLock> guard(queueLock);
    if (packets.empty()) return nullptr;
    std::unique_ptr<InputPacket> oldest = std::move(packets.front());
    packets.pop_front();
    queued.store(packets.size(), std::memory_order_release);
    return oldest;
}
