// The watch's timing with a board that never stops sending and an output made slow: the stop
// request, the time limit and the console's close still end it on time.
#include "watch_loop.h"

#include <gtest/gtest.h>

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

// A console that takes `delay` to print each packet.
class SlowConsole : public WatchOutput {
  public:
    explicit SlowConsole(std::chrono::milliseconds delay) : delay_(delay) {}
    void packet(std::uint32_t, const WatchPacket&) override { std::this_thread::sleep_for(delay_); }
    void tick(const WatchStatus& status) override {
        ++ticks;
        last = status;
    }
    unsigned ticks = 0;
    WatchStatus last;

  private:
    std::chrono::milliseconds delay_;
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
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        EndlessBoard board;
        SlowConsole console(40ms);
        WatchLimits limits;
        limits.seconds = test.seconds;
        WatchStop stop;
        std::thread ctrlC;
        if (test.stopAfter) {
            ctrlC = std::thread([&stop, after = *test.stopAfter] {
                std::this_thread::sleep_for(after);
                stop.request();
            });
        }
        const WatchClock::time_point start = WatchClock::now();
        const WatchTotals totals = runWatch(board, console, limits, stop, start);
        const double took = secondsSince(start);
        if (ctrlC.joinable()) ctrlC.join();
        EXPECT_GE(took, test.endsAfter - 0.01);
        EXPECT_LT(took, test.endsAfter + 0.15) << "one slow packet late at most";
        EXPECT_EQ(totals.packets, board.taken);
        EXPECT_GE(console.ticks, static_cast<unsigned>(test.endsAfter * 10) - 2)
            << "the live view kept its pace";
    }
}

TEST(WatchLoop, StatusCountsPacketsAndEndsAtThePacketLimit) {
    EndlessBoard board(true);
    SlowConsole console(30ms);
    WatchLimits limits;
    limits.packets = 40;  // 1.2 s of printing
    WatchStop stop;
    const WatchTotals totals = runWatch(board, console, limits, stop, WatchClock::now());
    EXPECT_EQ(totals.packets, 40u);
    EXPECT_EQ(board.taken, 40u);
    EXPECT_GE(console.last.total, 30u);
    EXPECT_GE(console.last.lastSecond, 30u);
    EXPECT_LE(console.last.lastSecond, 34u);
    ASSERT_TRUE(console.last.sinceLastMs);
    EXPECT_LT(*console.last.sinceLastMs, 40u);
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
    EXPECT_LT(secondsSince(closed), 1.0);
    watch.join();
    EXPECT_FALSE(WatchStop().requestAndWaitForEnd(50ms)) << "a watch that never ends";
}

}  // namespace
