// Transfers of both directions from several threads: handles stay open under transfers, the
// locks never deadlock, and the reader's packets reach the hosts whole.
#include "commands.h"
#include "hid_test_support.h"
#include "usb_channel.h"
#include "usbhidioc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <numeric>
#include <thread>
#include <vector>

namespace {

// One direction's transfer is held in flight on handle 0 while the other direction fails and
// reopens on handle 1, and the board then sends a report, which Windows buffers on every open
// handle. A held write goes on: handle 0 stays open until it ends. A held read is ended by the
// reopen before the search, so the report reaches the host once, through handle 1, and not
// also through the old handle's read.
class HandleInFlight : public LinkToOneBoard<Direction> {
  protected:
    bool transfer(Direction direction) {
        return direction == Direction::Write ? writeQuery() : readOne();
    }
    bool transferOther(Direction direction) {
        return direction == Direction::Write ? writeQuery() : readOneSentMeanwhile();
    }
};

TEST_P(HandleInFlight, StaysOpenForAWriteAndEndsARead) {
    const Direction held = GetParam();
    const Direction other = held == Direction::Read ? Direction::Write : Direction::Read;
    ASSERT_TRUE(writeQuery());  // opens handle 0

    board.holdNext(held);
    bool heldResult = false;
    std::thread holder([&] { heldResult = transfer(held); });
    ASSERT_TRUE(board.waitUntilHeld(held, kHoldWait));

    board.injectFault(other, Fault::CompleteWithError);
    EXPECT_FALSE(transferOther(other));
    EXPECT_TRUE(transferOther(other)) << "reopened on handle 1";
    EXPECT_TRUE(board.isOpen(1));
    if (held == Direction::Write) {
        EXPECT_TRUE(board.isOpen(0)) << "closed under the held write";
    }

    const int readsBefore = board.reportsRead();
    board.sendInputReport(Report{});
    board.releaseHeld(held);
    holder.join();
    EXPECT_EQ(heldResult, held == Direction::Write)
        << "a held write finishes on its handle; a held read was ended by the reopen";
    EXPECT_EQ(board.reportsRead(), readsBefore) << "the old handle's read took the report";
    EXPECT_TRUE(readOne()) << "the report, through handle 1";
    EXPECT_FALSE(board.isOpen(0)) << "closed once the last transfer let go";
    EXPECT_FALSE(board.closedUnderTransfer());
}

INSTANTIATE_TEST_SUITE_P(EitherDirection, HandleInFlight,
                         ::testing::Values(Direction::Read, Direction::Write),
                         [](const auto& info) {
                             return std::string(info.param == Direction::Read ? "Read" : "Write");
                         });

// A host thread's write waits on handle 0 while the reader's read fails and the reader reopens
// on handle 1, where the board answers. The write then fails on handle 0: that is the old
// handle's failure and leaves handle 1 in use, with no search and no lost reports.
TEST_F(LinkToOneBoardTest, AFailureOnAReplacedHandleMarksNothing) {
    ASSERT_TRUE(writeQuery());  // opens handle 0
    board.holdNext(Direction::Write);
    bool written = true;
    std::thread host([&] { written = writeQuery(); });
    ASSERT_TRUE(board.waitUntilHeld(Direction::Write, kHoldWait));

    board.injectFault(Direction::Read, Fault::CompleteWithError);
    EXPECT_FALSE(readOne());
    ASSERT_TRUE(readOneSentMeanwhile()) << "reopened on handle 1";
    board.injectFault(Direction::Write, Fault::CompleteWithError);
    board.releaseHeld(Direction::Write);
    host.join();
    EXPECT_FALSE(written);

    EXPECT_TRUE(writeQuery());
    EXPECT_TRUE(readOneSentMeanwhile());
    EXPECT_EQ(board.searchCount(), 2);
    EXPECT_EQ(board.writtenReports().back().handle, 1);
    EXPECT_TRUE(board.isOpen(1));
}

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
                board.sendInputReport(Report{});
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
// replugged and stalled. Each report carries a sequence number. Reports sent while no handle is
// open, or left in a handle's buffer when it closes, are lost, as on Windows; every report that
// a read took must reach exactly one host, and each host must see its share in increasing order.
class Stress : public ::testing::TestWithParam<const BoardVariant*> {};

constexpr int kStressReports = 2000;
constexpr int kHosts = 4;

Report numberedReport(int sequence) {
    return reportWith({{1, sequence & 0xFF}, {2, sequence >> 8}, {64, 2}});
}

// Plays the board's side: reports as fast as the open handle takes them, with trouble between.
void feedWithTrouble(VirtualBoard& board, std::size_t boardInterface) {
    for (int sequence = 0; sequence < kStressReports; ++sequence) {
        board.waitUntilOpen(boardInterface, kHoldWait);
        board.waitForRoom(boardInterface, kHoldWait);
        board.sendInputReport(numberedReport(sequence));
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

TEST_P(Stress, NoPacketIsDuplicatedOrReorderedAndNoneReadIsLost) {
    const BoardVariant& variant = *GetParam();
    VirtualBoard board;
    const auto boardInterface = board.addInterface(variant.vendorId, variant.productId);
    RecordingNotifier notifier;
    std::vector<std::vector<int>> received(kHosts);
    std::atomic<int> total{0};
    std::atomic<bool> fed{false};

    runOrAbort(std::chrono::seconds(40), [&] {
        CUsbChannel channel(board, variant, notifier, NotifyTarget{1, kFirstPrivateMessage}, 2);
        // Done once the board has sent everything, no handle holds a report still to be read,
        // and every report read has been taken.
        auto finished = [&] {
            return fed && board.bufferedReports() == 0 && total == board.reportsRead();
        };
        std::vector<std::thread> hosts;
        for (int host = 0; host < kHosts; ++host) {
            hosts.emplace_back([&, host] {
                std::uint8_t buffer[64];
                std::uint8_t block[48] = {static_cast<std::uint8_t>(host)};
                for (int call = 0; !finished(); ++call) {
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
        fed = true;
        for (auto& host : hosts) host.join();
    });

    std::vector<int> all;
    for (const auto& share : received) {
        EXPECT_TRUE(std::is_sorted(share.begin(), share.end())) << "reordered";
        all.insert(all.end(), share.begin(), share.end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "a packet came twice";
    EXPECT_EQ(static_cast<int>(all.size()), board.reportsRead()) << "a report read was lost";
    EXPECT_GT(all.size(), kStressReports / 2u) << "most reports arrive";
    EXPECT_EQ(notifier.targets().size(), all.size());
    EXPECT_FALSE(board.closedUnderTransfer());
    EXPECT_EQ(board.mostWritesInFlight(), 1);
    std::printf(
        "%zu of %d reports reached the hosts; the rest were sent while no handle was open"
        " or discarded with a closed handle's buffer\n",
        all.size(), kStressReports);
}

INSTANTIATE_TEST_SUITE_P(Models, Stress, ::testing::Values(&kHbv7, &kHbv5),
                         [](const auto& info) { return std::string(info.param->name); });

}  // namespace
