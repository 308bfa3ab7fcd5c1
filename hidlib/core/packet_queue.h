// The input side's packets: each input report becomes one InputPacket, queued oldest first
// until the host takes it.
#pragma once

#include "report.h"
#include "queue_lock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

// One input report after its report id. count copies the last data byte, where the board puts
// the number of meaningful bytes at the start of data.
struct InputPacket {
    ReportData data;
    std::uint8_t count;
};
static_assert(sizeof(InputPacket) == kReportDataSize + 1, "a packet is the report's 65 bytes");

// Unbounded and never drops: the reader never waits for the host, the queue grows instead.
//
// One thread, the reader, adds packets; any number of host threads take them. Packets live in
// blocks of kBlockPackets, allocated as the queue grows and released once taken, so a report
// costs no allocation of its own. The reader writes a report straight into the next free packet
// and then publishes it by counting it; the host threads take packets one at a time under
// queueLock. The two sides share only the count and the packets themselves: each report
// crosses from the reader's core to the host's once, which is what keeps the input path close
// to a bare hand-off between two threads.
class CPacketQueue {
  public:
    CPacketQueue();  // allocates the first block; throws std::bad_alloc when it cannot
    ~CPacketQueue();
    CPacketQueue(const CPacketQueue&) = delete;
    CPacketQueue& operator=(const CPacketQueue&) = delete;

    // The reader's side. reserve gives the packet the next report goes into, or null when no
    // memory is left for a new block (the reader then tries again later); publish queues it.
    InputPacket* reserve();
    void publish();

    // The host's side: copies the oldest packet's meaningful bytes (at most 64) into buffer,
    // removes the packet and returns the number of bytes copied; 0 with buffer untouched when
    // no packet is queued.
    std::size_t takeOldest(std::uint8_t* buffer);
    // A glance without queueLock, so an idle host's GetPacket costs no lock. It looks at the
    // reader's count only when the packets known to be published are all taken.
    bool looksEmpty() const {
        const std::uint64_t taken = host.taken.load(std::memory_order_relaxed);
        return taken == host.publishedSeen.load(std::memory_order_relaxed) &&
               taken == reader.published.load(std::memory_order_acquire);
    }

  private:
    static constexpr std::size_t kBlockPackets = 64;
    struct Block {
        InputPacket packets[kBlockPackets];
        std::atomic<Block*> next{nullptr};
    };

    // The reader's alone, but for published, which the host threads read.
    struct alignas(64) ReaderSide {
        Block* block;
        std::size_t index = 0;  // of the next packet to reserve in block
        std::atomic<std::uint64_t> published{0};
    };
    // The host threads', under queueLock; taken and publishedSeen are also glanced at without
    // it. publishedSeen is the reader's count as last read here: while packets remain below it,
    // the host need not read the reader's line again, which the reader is busy writing.
    struct alignas(64) HostSide {
        QueueLock queueLock;
        Block* block;
        std::size_t index = 0;  // of the oldest packet in block
        std::atomic<std::uint64_t> taken{0};
        std::atomic<std::uint64_t> publishedSeen{0};
    };

    ReaderSide reader;
    HostSide host;
};
