// The input side of the channel: the reader thread, the packet queue, the notification, and
// when each model's workers send the pending output.
#include "hid_test_support.h"
#include "usb_channel.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

constexpr NotifyTarget kHostWindow{0x1234, kFirstPrivateMessage + 7};

// A report whose data starts with the sequence number's two bytes and whose last byte is count.
Report inputReport(int sequence, int count) {
    return reportWith({{1, sequence & 0xFF}, {2, sequence >> 8}, {64, count}});
}

int sequenceOf(const std::uint8_t* data) { return data[0] | data[1] << 8; }

// The link's time limit where no transfer is meant to time out: a read that timed out would
// reopen the link, and reports sent meanwhile reach no handle, as on Windows.
constexpr unsigned kBoardTimeLimitMs = 15'000;

class Reader : public ::testing::Test {
  protected:
    VirtualBoard board;
    std::size_t boardInterface = 0;
    RecordingNotifier notifier;
    std::unique_ptr<CUsbChannel> channel;

    // Plugs in the model's board and starts the channel, as Init does; returns once the reader
    // has the board open, since reports sent before that reach no handle and are lost.
    void start(const BoardVariant& variant = kHbv7, NotifyTarget target = kHostWindow) {
        boardInterface = board.addInterface(variant.vendorId, variant.productId);
        channel =
            std::make_unique<CUsbChannel>(board, variant, notifier, target, kBoardTimeLimitMs);
        ASSERT_TRUE(board.waitUntilOpen(boardInterface, kHoldWait));
    }
    // More reports than a handle's buffer holds, each sent once the buffer has room.
    void sendWithoutLoss(int reports, int count) {
        for (int i = 0; i < reports; ++i) {
            ASSERT_TRUE(board.waitForRoom(boardInterface, kHoldWait));
            board.sendInputReport(inputReport(i, count));
        }
    }
};

TEST_F(Reader, AnnouncesEveryPacketAndHandsThemOutInOrder) {
    start();
    for (int i = 0; i < 5; ++i) board.sendInputReport(inputReport(i, 2 + i));
    ASSERT_TRUE(notifier.waitForCount(5));

    for (const NotifyTarget& target : notifier.targets()) {
        EXPECT_EQ(target.window, kHostWindow.window);
        EXPECT_EQ(target.message, kHostWindow.message);
    }
    for (int i = 0; i < 5; ++i) {
        std::array<std::uint8_t, 64> buffer{};
        ASSERT_EQ(channel->GetPacket(buffer.data()), 2 + i);
        EXPECT_EQ(sequenceOf(buffer.data()), i);
    }
    std::array<std::uint8_t, 64> untouched;
    untouched.fill(0xEE);
    EXPECT_EQ(channel->GetPacket(untouched.data()), 0) << "the queue is empty";
    EXPECT_EQ(untouched[0], 0xEE);
}

TEST_F(Reader, ANullBufferGetsNothingAndThePacketStaysQueued) {
    start();
    board.sendInputReport(inputReport(9, 2));
    ASSERT_TRUE(notifier.waitForCount(1));

    EXPECT_EQ(channel->GetPacket(nullptr), 0);
    std::uint8_t buffer[64];
    ASSERT_EQ(channel->GetPacket(buffer), 2);
    EXPECT_EQ(sequenceOf(buffer), 9);
}

TEST_F(Reader, KeepsEveryPacketWhileTheHostTakesNone) {
    start();
    constexpr int kReports = 3000;  // many blocks of the queue's storage
    sendWithoutLoss(kReports, 2);
    ASSERT_TRUE(notifier.waitForCount(kReports));

    std::uint8_t buffer[64];
    for (int i = 0; i < kReports; ++i) {
        ASSERT_EQ(channel->GetPacket(buffer), 2);
        ASSERT_EQ(sequenceOf(buffer), i);
    }
    EXPECT_EQ(channel->GetPacket(buffer), 0);
}

TEST_F(Reader, APacketCountingZeroBytesGivesZeroAndIsRemoved) {
    start();
    board.sendInputReport(inputReport(1, 0));
    board.sendInputReport(inputReport(2, 3));
    ASSERT_TRUE(notifier.waitForCount(2));

    std::array<std::uint8_t, 64> buffer;
    buffer.fill(0xEE);
    EXPECT_EQ(channel->GetPacket(buffer.data()), 0);
    EXPECT_EQ(buffer[0], 0xEE) << "nothing copied";
    EXPECT_EQ(channel->GetPacket(buffer.data()), 3) << "the next packet, not the empty one again";
    EXPECT_EQ(sequenceOf(buffer.data()), 2);
}

TEST_F(Reader, ACountAboveSixtyFourGivesTheWholeSixtyFourBytesAndNoMore) {
    start();
    board.sendInputReport(inputReport(1, 65));
    board.sendInputReport(inputReport(2, 255));
    ASSERT_TRUE(notifier.waitForCount(2));

    for (int expected : {1, 2}) {
        std::array<std::uint8_t, 80> buffer;
        buffer.fill(0xEE);
        ASSERT_EQ(channel->GetPacket(buffer.data()), 64);
        EXPECT_EQ(sequenceOf(buffer.data()), expected);
        EXPECT_EQ(buffer[63], expected == 1 ? 65 : 255) << "the count byte is data byte 63";
        for (std::size_t i = 64; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xEE) << i;
    }
}

TEST_F(Reader, AReadCompletingWithAnErrorGivesNoPacketAndReopensTheLink) {
    board.injectFault(Direction::Read, Fault::CompleteWithError);
    start();
    ASSERT_TRUE(board.waitForOpens(boardInterface, 2, kHoldWait));
    ASSERT_TRUE(board.waitUntilOpen(boardInterface, kHoldWait));
    board.sendInputReport(inputReport(7, 4));
    ASSERT_TRUE(notifier.waitForCount(1));

    EXPECT_EQ(board.opensOf(boardInterface), 2) << "closed and opened again after the error";
    std::uint8_t buffer[64];
    ASSERT_EQ(channel->GetPacket(buffer), 4);
    EXPECT_EQ(sequenceOf(buffer), 7);
    EXPECT_EQ(channel->GetPacket(buffer), 0) << "the failed read left no packet";
}

TEST_F(Reader, DoneReleasesThePacketsStillQueued) {
    start();
    sendWithoutLoss(100, 64);
    ASSERT_TRUE(notifier.waitForCount(100));
    channel.reset();  // the leak check of AddressSanitizer finds any packet left behind
    EXPECT_EQ(board.openHandleCount(), 0) << "the device is closed";
}

// The host's window is announced nothing unless it exists and the message is a private one;
// the packets are queued all the same.
class NoAnnouncement : public Reader, public ::testing::WithParamInterface<NotifyTarget> {};

TEST_P(NoAnnouncement, ButThePacketsAreQueued) {
    start(kHbv7, GetParam());
    board.sendInputReport(inputReport(1, 2));
    board.sendInputReport(inputReport(2, 2));
    // The third read begins only after the reader is done with the second report.
    ASSERT_TRUE(board.waitForReads(3, kHoldWait));

    std::uint8_t buffer[64];
    EXPECT_EQ(channel->GetPacket(buffer), 2);
    EXPECT_EQ(channel->GetPacket(buffer), 2);
    EXPECT_TRUE(notifier.targets().empty());
}

INSTANTIATE_TEST_SUITE_P(Reader, NoAnnouncement,
                         ::testing::Values(NotifyTarget{0, kFirstPrivateMessage},
                                           NotifyTarget{0x1234, kFirstPrivateMessage - 1}),
                         [](const auto& info) {
                             return std::string(info.param.window ? "SystemMessage" : "NoWindow");
                         });

// HBV7 has no writer thread: its reader sends the pending block once its read attempt ends.
TEST_F(Reader, Hbv7SendsThePendingBlockAfterTheReadAttempt) {
    board.holdNext(Direction::Read);
    start(kHbv7);
    ASSERT_TRUE(board.waitUntilHeld(Direction::Read, kHoldWait));
    std::uint8_t block[48] = {0x5A};
    ASSERT_TRUE(channel->Write(block));
    EXPECT_TRUE(board.writtenReports().empty()) << "the only sender is still reading";

    board.sendInputReport(inputReport(1, 2));
    board.releaseHeld(Direction::Read);
    ASSERT_TRUE(board.waitForWrites(1, kHoldWait));
    EXPECT_EQ(notifier.targets().size(), 1u) << "the report was queued before the send";
    const Report sent = board.writtenReports().front().bytes;
    EXPECT_EQ(sent[1], 0x0B);
    EXPECT_EQ(sent[2], 0x5A);
    EXPECT_EQ(sent[64], 49);
}

// HBV5's writer thread sends the block at once, while the reader is still in its read.
TEST_F(Reader, Hbv5SendsThePendingBlockAtOnce) {
    board.holdNext(Direction::Read);
    start(kHbv5);
    ASSERT_TRUE(board.waitUntilHeld(Direction::Read, kHoldWait));
    std::uint8_t block[24] = {0x5A};
    ASSERT_TRUE(channel->Write(block));

    ASSERT_TRUE(board.waitForWrites(1, kHoldWait));
    const Report sent = board.writtenReports().front().bytes;
    EXPECT_EQ(sent[1], 0x0B);
    EXPECT_EQ(sent[2], 0x5A);
    EXPECT_EQ(sent[64], 25);
    board.releaseHeld(Direction::Read);
}

// Done never waits for the board: whatever the workers are doing, it ends it at once. The
// transfers here wait for the board 15 s instead of the library's second before they time out,
// so that the bound on Done can be generous for a loaded or emulated machine and a Done that
// waited for a transfer's time limit still exceeds it.
constexpr std::chrono::seconds kDoneLimit{10};
enum class WorkerState { BoardAbsent, ReadInFlight, WriteInFlight };
struct DoneCase {
    const BoardVariant* variant;
    WorkerState state;
    const char* name;
};

class DoneAtOnce : public ::testing::TestWithParam<DoneCase> {
  protected:
    VirtualBoard board;
    RecordingNotifier notifier;
    std::unique_ptr<CUsbChannel> channel;

    void start() {
        channel = std::make_unique<CUsbChannel>(board, *GetParam().variant, notifier, kHostWindow,
                                                kBoardTimeLimitMs);
    }
    // Brings the workers into the state under test and returns once they are in it.
    void reachState() {
        const BoardVariant& variant = *GetParam().variant;
        std::uint8_t block[48] = {};
        switch (GetParam().state) {
            case WorkerState::BoardAbsent:  // searching, or in the pause after a failed read
                start();
                ASSERT_TRUE(board.waitForSearches(2, kHoldWait));
                ASSERT_TRUE(channel->Write(block)) << "no board is no reason to refuse a block";
                break;
            case WorkerState::ReadInFlight:  // attached and silent
                board.addInterface(variant.vendorId, variant.productId);
                start();
                ASSERT_TRUE(board.waitForReads(1, kHoldWait));
                break;
            case WorkerState::WriteInFlight:  // the board does not take the block
                board.addInterface(variant.vendorId, variant.productId);
                board.holdNext(Direction::Write);
                start();
                ASSERT_TRUE(channel->Write(block));
                // HBV7's reader sends only after a read attempt; this one completes at once.
                ASSERT_TRUE(board.waitUntilOpen(0, kHoldWait));
                board.sendInputReport(inputReport(1, 2));
                ASSERT_TRUE(board.waitUntilHeld(Direction::Write, kHoldWait));
                break;
        }
    }
};

TEST_P(DoneAtOnce, WhateverTheWorkersAreDoing) {
    reachState();
    if (HasFatalFailure()) return;
    const auto start = std::chrono::steady_clock::now();
    // A held write never ends: past twice the limit, the test ends rather than hangs.
    runOrAbort(2 * kDoneLimit, [&] { channel.reset(); });
    const auto took = std::chrono::steady_clock::now() - start;
    std::printf("Done took %.2f ms\n", std::chrono::duration<double, std::milli>(took).count());
    EXPECT_LT(std::chrono::duration<double>(took).count(), double(kDoneLimit.count()))
        << "seconds: Done waited for the board";
    EXPECT_EQ(board.openHandleCount(), 0) << "the device is closed";
}

INSTANTIATE_TEST_SUITE_P(
    Models, DoneAtOnce,
    ::testing::Values(DoneCase{&kHbv7, WorkerState::BoardAbsent, "Hbv7BoardAbsent"},
                      DoneCase{&kHbv5, WorkerState::BoardAbsent, "Hbv5BoardAbsent"},
                      DoneCase{&kHbv7, WorkerState::ReadInFlight, "Hbv7ReadInFlight"},
                      DoneCase{&kHbv5, WorkerState::ReadInFlight, "Hbv5ReadInFlight"},
                      DoneCase{&kHbv7, WorkerState::WriteInFlight, "Hbv7WriteInFlight"},
                      DoneCase{&kHbv5, WorkerState::WriteInFlight, "Hbv5WriteInFlight"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
