// The watch's timing with a board that never stops sending and an output made slow: the stop
// request, the time limit and the console's close still end it on time.
#include "watch_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A board with a packet always queued; with gaps, every other look finds the queue empty
// (and the packet emptied, as the DLL's GetPacket wrapper leaves it).
class EndlessBoard : public WatchSource {
  public:
    explicit EndlessBoard(bool gaps = false) : gaps_(gaps) {}
    bool takePacket(WatchPacket& packet) override {
        packet.count = 0;
        if (gaps_ && ++looks_ % 2 == 0) return false;
        packet.count = 1;
        packet.bytes[0] = static_cast<std::uint8_t>(++taken);
        return true;
    }
    void waitForPackets(std::chrono::milliseconds) override {
        if (!gaps_) ADD_FAILURE() << "a wait while packets are queued";
    }
    unsigned taken = 0;

  private:
    bool gaps_;
    unsigned looks_ = 0;
};

// A console that takes at least `delay` to print each packet (a loaded machine, more). It
// counts what the watch's timing is about, not how long things took: the packets begun once
// the watch should have ended, the most packets between two looks of the live view, and the
// packets of each second that the status reports.
class SlowConsole : public WatchOutput {
  public:
    explicit SlowConsole(std::chrono::milliseconds delay, std::function<bool()> pastTheEnd = {})
        : delay_(delay), pastTheEnd_(std::move(pastTheEnd)) {}
    void packet(std::uint32_t milliseconds, const WatchPacket&) override {
        if (pastTheEnd_ && pastTheEnd_()) ++packetsPastTheEnd;
        ++sinceTick_;
        ++sinceSecond_;
        lastPacketMs_ = milliseconds;
        std::this_thread::sleep_for(delay_);
    }
    void tick(const WatchStatus& status) override {
        last = status;
        lastPacketMsAtTick = lastPacketMs_;
        mostBetweenTicks = std::max(mostBetweenTicks, sinceTick_);
        sinceTick_ = 0;
        if (status.secondEnded) {
            ++secondsEnded;
            EXPECT_EQ(status.lastSecond, sinceSecond_) << "the packets of the second just ended";
            EXPECT_GE(status.elapsedMs, 1000u * secondsEnded) << "a second ended early";
            sinceSecond_ = 0;
        }
    }
    unsigned packetsSinceTick() const { return sinceTick_; }
    WatchStatus last;
    unsigned packetsPastTheEnd = 0;
    unsigned mostBetweenTicks = 0;
    unsigned secondsEnded = 0;
    std::uint32_t lastPacketMsAtTick = 0;  // the time the latest packet was given with

  private:
    std::uint32_t lastPacketMs_ = 0;
    std::chrono::milliseconds delay_;
    std::function<bool()> pastTheEnd_;
    unsigned sinceTick_ = 0;
    unsigned sinceSecond_ = 0;
};

double secondsSince(WatchClock::time_point start) {
    return std::chrono::duration<double>(WatchClock::now() - start).count();
}

TEST(WatchLoop, EndsOnTimeWhateverThePrintingCosts) {
    const struct {
        const char* name;
        std::optional<std::uint32_t> seconds;
        std::optional<std::chrono::milliseconds> stopAfter;
        double endsAfter;
    } cases[] = {
        {"--seconds 1", 1, std::nullopt, 1.0},
        {"Ctrl+C after 0.3 s", std::nullopt, 300ms, 0.3},
        {"Ctrl+C before --seconds", 5, 400ms, 0.4},
    };
    constexpr auto kPrinting = 40ms;
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        EndlessBoard board;
        WatchLimits limits;
        limits.seconds = test.seconds;
        WatchStop stop;
        const WatchClock::time_point start = WatchClock::now();
        SlowConsole console(kPrinting, [&] {
            return stop.requested() ||
                   (test.seconds &&
                    WatchClock::now() >= start + std::chrono::seconds(*test.seconds));
        });
        std::thread ctrlC;
        if (test.stopAfter) {
            ctrlC = std::thread([&stop, after = *test.stopAfter] {
                std::this_thread::sleep_for(after);
                stop.request();
            });
        }
        const WatchTotals totals = runWatch(board, console, limits, stop, start);
        const double took = secondsSince(start);
        if (ctrlC.joinable()) ctrlC.join();
        EXPECT_GE(took, test.endsAfter - 0.01);
        // The end may come between the watch's look and the packet's print, never later.
        EXPECT_LE(console.packetsPastTheEnd, 1u) << "packets taken after the end";
        EXPECT_EQ(totals.packets, board.taken);
        // A tick is due every 100 ms, and a packet takes at least 40 ms to print.
        const unsigned mostPerTick = (kWatchTick + kPrinting - 1ms) / kPrinting;
        EXPECT_LE(std::max(console.mostBetweenTicks, console.packetsSinceTick()), mostPerTick)
            << "the live view kept its pace";
    }
}

TEST(WatchLoop, StatusCountsPacketsAndEndsAtThePacketLimit) {
    EndlessBoard board(true);
    SlowConsole console(30ms);
    WatchLimits limits;
    limits.packets = 50;  // at least 1.5 s of printing: a second ends on the way
    WatchStop stop;
    const WatchTotals totals = runWatch(board, console, limits, stop, WatchClock::now());
    EXPECT_EQ(totals.packets, 50u);
    EXPECT_EQ(board.taken, 50u);
    EXPECT_GE(console.secondsEnded, 1u);  // each checked against the packets counted meanwhile
    EXPECT_GE(console.last.lastSecond, 1u);
    // A tick is due every 100 ms, and a packet takes at least 30 ms to print.
    EXPECT_GE(console.last.total, 50u - 4u);
    ASSERT_TRUE(console.last.sinceLastMs);
    // Both counted from the watch's start, each rounded down to a millisecond.
    EXPECT_NEAR(double(*console.last.sinceLastMs),
                double(console.last.elapsedMs) - double(console.lastPacketMsAtTick), 1.0);
    EXPECT_EQ(console.last.latest.count, 1u) << "the latest packet, not the empty look after it";
    EXPECT_EQ(console.last.latest.bytes[0], console.last.total);
}

// The console's close: its handler returns only after the watch has ended and its file is
// closed, since Windows ends the process right after.
TEST(WatchLoop, CloseEventWaitsUntilTheRecordingIsClosed) {
    EndlessBoard board;
    SlowConsole console(5ms);
    WatchStop stop;
    std::atomic<bool> recordingClosed{false};
    std::thread watch([&] {
        runWatch(board, console, WatchLimits{}, stop, WatchClock::now());
        std::this_thread::sleep_for(100ms);  // Done and the file's close take their time
        recordingClosed = true;
        stop.ended();
    });
    std::this_thread::sleep_for(200ms);
    const WatchClock::time_point closed = WatchClock::now();
    EXPECT_TRUE(stop.requestAndWaitForEnd(5000ms));
    EXPECT_TRUE(recordingClosed);
    EXPECT_LT(secondsSince(closed), 4.0) << "waited out its limit instead of the end";
    watch.join();
    EXPECT_FALSE(WatchStop().requestAndWaitForEnd(50ms)) << "a watch that never ends";
}

}  // namespace
