#include "packet_queue.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>

CPacketQueue::CPacketQueue() {
    reader.block = new Block;
    host.block = reader.block;
}

CPacketQueue::~CPacketQueue() {
    for (Block* block = host.block; block;) delete std::exchange(block, block->next.load());
}

InputPacket* CPacketQueue::reserve() {
    if (reader.index == kBlockPackets) {
        Block* next = new (std::nothrow) Block;
        if (!next) return nullptr;
        // Linked before any of its packets is published, so the host always finds it.
        reader.block->next.store(next, std::memory_order_release);
        reader.block = next;
        reader.index = 0;
    }
    return &reader.block->packets[reader.index];
}

void CPacketQueue::publish() {
    ++reader.index;
    const std::uint64_t published = reader.published.load(std::memory_order_relaxed);
    reader.published.store(published + 1, std::memory_order_release);
}

std::size_t CPacketQueue::takeOldest(std::uint8_t* buffer) {
    std::lock_guard<QueueLock> guard(host.queueLock);
    const std::uint64_t oldest = host.taken.load(std::memory_order_relaxed);
    if (oldest == host.publishedSeen.load(std::memory_order_relaxed)) {
        const std::uint64_t published = reader.published.load(std::memory_order_acquire);
        if (oldest == published) return 0;
        host.publishedSeen.store(published, std::memory_order_relaxed);
    }
    if (host.index == kBlockPackets) {
        // The reader has moved on to the next block: this one is no longer anybody's.
        Block* next = host.block->next.load(std::memory_order_acquire);
        delete host.block;
        host.block = next;
        host.index = 0;
    }
    const InputPacket& packet = host.block->packets[host.index++];
    // A count byte above 64 cannot be honoured: the host's buffer holds 64 bytes.
    const std::size_t count = std::min<std::size_t>(packet.count, kReportDataSize);
    std::copy_n(packet.data.begin(), count, buffer);
    host.taken.store(oldest + 1, std::memory_order_release);
    return count;
}
