#include "watch_loop.h"

#include <algorithm>

namespace {

using std::chrono::milliseconds;

std::uint32_t millisecondsBetween(WatchClock::time_point from, WatchClock::time_point to) {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<milliseconds>(to - from).count());
}

class WatchRun {
  public:
    WatchRun(WatchSource& source, WatchOutput& output, const WatchLimits& limits, WatchStop& stop,
             WatchClock::time_point start)
        : source_(source), output_(output), limits_(limits), stop_(stop), start_(start) {
        if (limits.seconds) end_ = start + std::chrono::seconds(*limits.seconds);
    }

    WatchTotals run() {
        for (;;) {
            const WatchClock::time_point due = end_ ? std::min(nextTick_, *end_) : nextTick_;
            if (!takePacketsUntil(due)) break;
            const WatchClock::time_point now = WatchClock::now();
            tick(now);
            if (end_ && now >= *end_) break;
        }
        return {total_, millisecondsBetween(start_, WatchClock::now())};
    }

  private:
    // One packet at a time until `due`; false when the watch is to end.
    bool takePacketsUntil(WatchClock::time_point due) {
        for (;;) {
            if (stop_.requested()) return false;
            const WatchClock::time_point now = WatchClock::now();
            if (now >= due) return true;
            WatchPacket packet;
            if (!source_.takePacket(packet)) {
                source_.waitForPackets(std::chrono::duration_cast<milliseconds>(due - now) +
                                       milliseconds(1));
                continue;
            }
            latest_ = packet;
            lastPacketAt_ = WatchClock::now();
            output_.packet(millisecondsBetween(start_, *lastPacketAt_), latest_);
            ++total_;
            ++thisSecond_;
            if (limits_.packets && total_ >= *limits_.packets) return false;
        }
    }

    void tick(WatchClock::time_point now) {
        WatchStatus status;
        status.secondEnded = now >= nextSecond_;
        if (status.secondEnded) {
            lastSecond_ = thisSecond_;
            thisSecond_ = 0;
            nextSecond_ += std::chrono::seconds(1);
            if (nextSecond_ <= now) nextSecond_ = now + std::chrono::seconds(1);
        }
        status.elapsedMs = millisecondsBetween(start_, now);
        status.total = total_;
        status.lastSecond = lastSecond_;
        if (lastPacketAt_) {
            status.sinceLastMs = millisecondsBetween(*lastPacketAt_, now);
            status.latest = latest_;
        }
        output_.tick(status);
        nextTick_ = std::max(nextTick_ + kWatchTick, now);
    }

    WatchSource& source_;
    WatchOutput& output_;
    const WatchLimits& limits_;
    WatchStop& stop_;
    const WatchClock::time_point start_;
    std::optional<WatchClock::time_point> end_;
    WatchClock::time_point nextTick_ = WatchClock::now() + kWatchTick;
    WatchClock::time_point nextSecond_ = start_ + std::chrono::seconds(1);
    std::optional<WatchClock::time_point> lastPacketAt_;
    WatchPacket latest_;
    std::uint32_t total_ = 0;
    std::uint32_t thisSecond_ = 0;
    std::uint32_t lastSecond_ = 0;
};

}  // namespace

void WatchStop::request() {
    requested_ = true;
    if (wake_) wake_();
}

bool WatchStop::requestAndWaitForEnd(std::chrono::milliseconds most) {
    request();
    std::unique_lock<std::mutex> lock(mutex_);
    return endedChanged_.wait_for(lock, most, [this] { return ended_; });
}

void WatchStop::ended() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    endedChanged_.notify_all();
}

WatchTotals runWatch(WatchSource& source, WatchOutput& output, const WatchLimits& limits,
                     WatchStop& stop, WatchClock::time_point start) {
    return WatchRun(source, output, limits, stop, start).run();
}
