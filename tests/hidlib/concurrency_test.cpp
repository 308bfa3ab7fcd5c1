// Transfers of both directions from several threads: handles stay open under transfers, the
// locks never deadlock, and the reader's packets reach the hosts whole.
#include "commands.h"
#include "hid_test_support.h"
#include "usb_channel.h"
#include "usbhidioc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <thread>
#include <vector>

namespace {

// One direction's transfer is held in flight on handle 0 while the other direction fails and
// reopens: the link lets go of handle 0, but it must stay open until the held transfer ends.
class HandleInFlight : public LinkToOneBoard<Direction> {
  protected:
    bool transfer(Direction direction) {
        return direction == Direction::Write ? writeQuery() : readOne();
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

namespace {

// Several host threads use every call at once while the reader runs and the board is unplugged,
// replugged and stalled. Each report carries a sequence number: every one must reach exactly
// one host, and each host must see its share in increasing order.
class Stress : public ::testing::TestWithParam<const BoardVariant*> {};

constexpr int kStressReports = 2000;
constexpr int kHosts = 4;

Report numberedReport(int sequence) {
    return reportWith({{1, sequence & 0xFF}, {2, sequence >> 8}, {64, 2}});
}

// Plays the board's side: reports in batches, with trouble between them.
void feedWithTrouble(VirtualBoard& board, std::size_t boardInterface) {
    for (int sequence = 0; sequence < kStressReports; ++sequence) {
        board.queueInputReport(numberedReport(sequence));
        if (sequence % 100 != 50) continue;
        switch (sequence / 100 % 4) {
            case 0:
                board.unplug(boardInterface);
                board.replug(boardInterface);
                break;
            case 1: board.injectFault(Direction::Read, Fault::Stall); break;
            case 2: board.injectFault(Direction::Read, Fault::CompleteWithError); break;
            case 3: board.injectFault(Direction::Write, Fault::Stall); break;
        }
    }
}

TEST_P(Stress, NoPacketIsLostDuplicatedOrReordered) {
    const BoardVariant& variant = *GetParam();
    VirtualBoard board;
    const auto boardInterface = board.addInterface(variant.vendorId, variant.productId);
    RecordingNotifier notifier;
    std::vector<std::vector<int>> received(kHosts);
    std::atomic<int> total{0};

    runOrAbort(std::chrono::seconds(40), [&] {
        CUsbChannel channel(board, variant, notifier, NotifyTarget{1, kFirstPrivateMessage}, 2);
        std::vector<std::thread> hosts;
        for (int host = 0; host < kHosts; ++host) {
            hosts.emplace_back([&, host] {
                std::uint8_t buffer[64];
                std::uint8_t block[48] = {static_cast<std::uint8_t>(host)};
                for (int call = 0; total < kStressReports; ++call) {
                    if (channel.GetPacket(buffer) == 2) {
                        received[host].push_back(buffer[0] | buffer[1] << 8);
                        ++total;
                    }
                    switch (call % 8) {
                        case 1: channel.Write(block); break;
                        case 3: channel.QueryVersion(); break;
                        case 5: channel.WriteEEPROM(block, 1, 8); break;
                        case 7: channel.ReadEEPROM(1, 8); break;
                    }
                }
            });
        }
        feedWithTrouble(board, boardInterface);
        for (auto& host : hosts) host.join();
    });

    std::vector<int> all;
    for (const auto& share : received) {
        EXPECT_TRUE(std::is_sorted(share.begin(), share.end())) << "reordered";
        all.insert(all.end(), share.begin(), share.end());
    }
    std::sort(all.begin(), all.end());
    std::vector<int> expected(kStressReports);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(all, expected) << "lost or duplicated";
    EXPECT_EQ(notifier.targets().size(), static_cast<std::size_t>(kStressReports));
    EXPECT_FALSE(board.closedUnderTransfer());
    EXPECT_EQ(board.mostWritesInFlight(), 1);
}

INSTANTIATE_TEST_SUITE_P(Models, Stress, ::testing::Values(&kHbv7, &kHbv5),
                         [](const auto& info) { return std::string(info.param->name); });

}  // namespace
