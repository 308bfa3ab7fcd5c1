// The input side's packets: each input report becomes one InputPacket, queued oldest first
// until the host takes it.
#pragma once

#include "report.h"
#include "spin_lock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// One input report after its report id. count copies the last data byte, where the board puts
// the number of meaningful bytes at the start of data.
struct InputPacket {
    ReportData data;
    std::uint8_t count;
};
static_assert(sizeof(InputPacket) == kReportDataSize + 1, "one 65-byte allocation per report");

// Unbounded and never drops: the reader never waits for the host, the queue grows instead.
// Each report costs its one 65-byte allocation; the deque's own storage comes and goes in
// blocks of 64 references.
class CPacketQueue {
  public:
    void append(std::unique_ptr<InputPacket> packet);
    // The oldest packet, or null when the queue is empty.
    std::unique_ptr<InputPacket> takeOldest();
    // A glance without queueLock, so an idle host's GetPacket costs no lock.
    bool looksEmpty() const { return queued.load(std::memory_order_acquire) == 0; }

  private:
    // Held for one append or one removal, never longer, by the reader and the host's threads
    // at the rate reports arrive.
    SpinLock queueLock;
    std::deque<std::unique_ptr<InputPacket>> packets;
    std::atomic<std::size_t> queued{0};  // mirrors packets.size() for the glance
};
