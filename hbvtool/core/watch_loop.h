// The timing of hbvtool watch, apart from the board DLL and the console: packets are taken one
// by one, and between any two the stop request and the clock are looked at, so that Ctrl+C,
// the console's close and --seconds end the watch on time however fast the board sends and
// however slowly the output goes.
#pragma once

#include "command_line.h"
#include "report.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

using WatchClock = std::chrono::steady_clock;

// How often the output is told where the watch stands: the live view's refresh.
constexpr std::chrono::milliseconds kWatchTick{100};

struct WatchPacket {
    std::uint8_t bytes[kReportDataSize] = {};
    std::size_t count = 0;
};

// Where the watch stands at a tick.
struct WatchStatus {
    std::uint32_t elapsedMs = 0;
    std::uint32_t total = 0;
    std::uint32_t lastSecond = 0;              // packets in the last whole second
    bool secondEnded = false;                  // a second has ended since the last tick
    std::optional<std::uint32_t> sinceLastMs;  // none before the first packet
    WatchPacket latest;                        // when there was one
};

class WatchSource {
  public:
    virtual ~WatchSource() = default;
    // The oldest queued packet; false when none is queued.
    virtual bool takePacket(WatchPacket& packet) = 0;
    // Returns when a packet may have come, the stop was requested, or after at most `most`.
    virtual void waitForPackets(std::chrono::milliseconds most) = 0;
};

class WatchOutput {
  public:
    virtual ~WatchOutput() = default;
    // Every packet, with the milliseconds since the watch's start.
    virtual void packet(std::uint32_t milliseconds, const WatchPacket& packet) = 0;
    virtual void tick(const WatchStatus& status) = 0;
};

// The request to end a watch (Ctrl+C, the console's close) and the news that it has ended.
// Safe to use from a console handler's thread.
class WatchStop {
  public:
    // wake: lets a waiting WatchSource return at once.
    explicit WatchStop(std::function<void()> wake = {}) : wake_(std::move(wake)) {}

    void request();
    bool requested() const { return requested_; }
    // For the console's close: requests the end and waits until the watch has ended and closed
    // its files, at most `most`. False when that took longer.
    bool requestAndWaitForEnd(std::chrono::milliseconds most);
    // The watch has ended: the board's library is stopped and the recording closed.
    void ended();

  private:
    std::function<void()> wake_;
    std::atomic<bool> requested_{false};
    std::mutex mutex_;
    std::condition_variable endedChanged_;
    bool ended_ = false;
};

struct WatchTotals {
    std::uint32_t packets = 0;
    std::uint32_t elapsedMs = 0;
};

// Runs until the packet or time limit is reached or the stop is requested. start: the
// moment the recording's times count from.
WatchTotals runWatch(WatchSource& source, WatchOutput& output, const WatchLimits& limits,
                     WatchStop& stop, WatchClock::time_point start);
