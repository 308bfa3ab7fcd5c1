// Transfers of both directions from several threads: handles stay open under transfers, and
// the locks never deadlock.
#include "commands.h"
#include "hid_test_support.h"
#include "usb_channel.h"
#include "usbhidioc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

namespace {

// Runs work on a thread of its own; a run that does not end in time is a deadlock, and the
// test program is ended, since its threads cannot be taken back.
void runOrAbort(std::chrono::seconds limit, const std::function<void()>& work) {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::thread runner([&] {
        work();
        std::lock_guard<std::mutex> guard(lock);
        done = true;
        finished.notify_all();
    });
    std::unique_lock<std::mutex> guard(lock);
    if (!finished.wait_for(guard, limit, [&] { return done; })) {
        std::fprintf(stderr, "Deadlock: the threads did not finish within %lld s\n",
                     static_cast<long long>(limit.count()));
        std::abort();
    }
    guard.unlock();
    runner.join();
}

// One direction's transfer is held in flight on handle 0 while the other direction fails and
// reopens: the link lets go of handle 0, but it must stay open until the held transfer ends.
class HandleInFlight : public ::testing::TestWithParam<Direction> {
  protected:
    VirtualBoard board;
    std::size_t boardInterface = board.addInterface(kHbv7.vendorId, kHbv7.productId);
    CUsbhidioc link{board, kShortTimeoutMs};

    void SetUp() override { link.SetDeviceIds(kHbv7.vendorId, kHbv7.productId); }

    bool transfer(Direction direction) {
        if (direction == Direction::Write) return link.WriteReport(makeQueryVersionPayload());
        ReportData data;
        return link.ReadReport(data);
    }
};

TEST_P(HandleInFlight, IsNotClosedByTheOtherDirectionsReopen) {
    const Direction held = GetParam();
    const Direction other = held == Direction::Read ? Direction::Write : Direction::Read;
    board.queueInputReport(Report{});
    board.queueInputReport(Report{});
    ASSERT_TRUE(transfer(Direction::Write));  // opens handle 0

    board.holdNext(held);
    bool heldResult = false;
    std::thread holder([&] { heldResult = transfer(held); });
    ASSERT_TRUE(board.waitUntilHeld(held, kHoldWait));

    board.injectFault(other, Fault::CompleteWithError);
    EXPECT_FALSE(transfer(other));
    EXPECT_TRUE(transfer(other)) << "reopened on handle 1";
    EXPECT_TRUE(board.isOpen(0)) << "closed under the held transfer";
    EXPECT_TRUE(board.isOpen(1));

    board.releaseHeld(held);
    holder.join();
    EXPECT_TRUE(heldResult) << "the held transfer finished on its handle";
    EXPECT_FALSE(board.isOpen(0)) << "closed once the last transfer let go";
    EXPECT_FALSE(board.closedUnderTransfer());
}

INSTANTIATE_TEST_SUITE_P(EitherDirection, HandleInFlight,
                         ::testing::Values(Direction::Read, Direction::Write),
                         [](const auto& info) {
                             return std::string(info.param == Direction::Read ? "Read" : "Write");
                         });

TEST(SeveralThreads, NeverDeadlockAndWriteOneWholeReportAtATime) {
    VirtualBoard board;
    const auto boardInterface = board.addInterface(kHbv7.vendorId, kHbv7.productId);
    CUsbChannel channel(board, kHbv7, 2);
    std::atomic<bool> troubleDone{false};
    std::atomic<int> accepted{0};
    std::atomic<int> refused{0};

    runOrAbort(std::chrono::seconds(30), [&] {
        std::vector<std::thread> hosts;
        for (int host = 0; host < 3; ++host) {
            hosts.emplace_back([&, host] {
                for (int i = 0; !troubleDone; ++i) {
                    std::uint8_t block[48];
                    std::fill(std::begin(block), std::end(block), host * 64 + i % 64);
                    if (i % 2) {
                        ++(channel.QueryVersion() ? accepted : refused);
                    } else {
                        channel.Write(block);
                    }
                }
            });
        }
        // Plays the reader thread of the HBV7 build, which also sends the pending output.
        std::thread reader([&] {
            ReportData data;
            while (!troubleDone) {
                channel.deviceLink().ReadReport(data);
                if (channel.writeRequested()) channel.sendPendingOutput();
            }
        });
        std::thread trouble([&] {
            for (int i = 0; i < 100; ++i) {
                board.injectFault(i % 2 ? Direction::Read : Direction::Write,
                                  i % 3 ? Fault::CompleteWithError : Fault::Stall);
                board.queueInputReport(Report{});
                if (i % 10 == 0) {
                    board.unplug(boardInterface);
                    board.replug(boardInterface);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            troubleDone = true;
        });
        trouble.join();
        for (auto& host : hosts) host.join();
        reader.join();
    });

    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0) << "the faults reached the commands";
    EXPECT_FALSE(board.closedUnderTransfer());
    EXPECT_EQ(board.mostWritesInFlight(), 1);
    const auto written = board.writtenReports();
    for (const auto& report : written) {
        const Report& bytes = report.bytes;
        if (bytes[1] == CmdQueryVersion) {
            EXPECT_EQ(bytes[64], 1);
        } else {
            ASSERT_EQ(bytes[1], CmdWrite);
            ASSERT_EQ(bytes[64], 49);
            for (int i = 3; i < 50; ++i) ASSERT_EQ(bytes[i], bytes[2]) << "a torn block";
        }
    }
}

}  // namespace
