// The one-slot PendingOutput through which Write blocks reach the board.
#include "hid_test_support.h"
#include "manual_reset_event.h"
#include "usb_channel.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>

namespace {

using Block = std::array<std::uint8_t, 48>;

Block blockOf(std::uint8_t value) {
    Block block;
    block.fill(value);
    return block;
}

class PendingOutput : public ::testing::Test {
  protected:
    VirtualBoard board;
    std::size_t boardInterface = board.addInterface(kHbv7.vendorId, kHbv7.productId);
    CUsbChannel channel{board, kHbv7, kShortTimeoutMs};

    // The first block byte of every Write report that reached the board, in order.
    std::vector<int> blocksSent() const {
        std::vector<int> values;
        for (const auto& report : board.writtenReports()) {
            if (report.bytes[1] == 0x0B) values.push_back(report.bytes[2]);
        }
        return values;
    }
};

TEST_F(PendingOutput, TwoWritesBeforeTheSendStepDeliverOnlyTheSecond) {
    EXPECT_TRUE(channel.Write(blockOf(1).data()));
    EXPECT_TRUE(channel.Write(blockOf(2).data()));
    EXPECT_TRUE(channel.writeRequested());

    channel.sendPendingOutput();
    EXPECT_FALSE(channel.writeRequested());
    channel.sendPendingOutput();

    EXPECT_EQ(blocksSent(), std::vector<int>{2}) << "sent once, not again without a new Write";
}

TEST_F(PendingOutput, NullBlocksAreRefusedAndNothingIsSent) {
    EXPECT_FALSE(channel.Write(nullptr));
    EXPECT_FALSE(channel.writeRequested()) << "nothing stored";
    EXPECT_FALSE(channel.WriteEEPROM(nullptr, 7, 1));
    EXPECT_FALSE(channel.WriteEEPROM(nullptr, 7, 60));
    EXPECT_FALSE(channel.WriteEEPROM(nullptr, 7, 61));
    EXPECT_TRUE(channel.WriteEEPROM(nullptr, 7, 0)) << "nothing to write is written";
    channel.sendPendingOutput();
    EXPECT_TRUE(board.writtenReports().empty());
}

TEST_F(PendingOutput, AWriteDuringTheSendGoesOutWithTheNextSendStep) {
    channel.Write(blockOf(1).data());
    board.holdNext(Direction::Write);
    std::thread worker([&] { channel.sendPendingOutput(); });
    ASSERT_TRUE(board.waitUntilHeld(Direction::Write, kHoldWait));

    EXPECT_TRUE(channel.Write(blockOf(2).data())) << "does not wait for the write in flight";
    EXPECT_TRUE(channel.writeRequested());
    board.releaseHeld(Direction::Write);
    worker.join();
    EXPECT_EQ(blocksSent(), std::vector<int>{1});

    ASSERT_TRUE(channel.writeRequested());
    channel.sendPendingOutput();
    EXPECT_EQ(blocksSent(), (std::vector<int>{1, 2}));
}

TEST_F(PendingOutput, AFailedBlockIsDroppedAndTheLinkReopened) {
    board.injectFault(Direction::Write, Fault::CompleteWithError);
    channel.Write(blockOf(1).data());
    channel.sendPendingOutput();
    channel.sendPendingOutput();
    EXPECT_TRUE(blocksSent().empty()) << "not retried";

    channel.Write(blockOf(2).data());
    channel.sendPendingOutput();
    EXPECT_EQ(blocksSent(), std::vector<int>{2});
    EXPECT_EQ(board.searchCount(), 2);
}

TEST(ManualResetEvent, WaitForAnyWakesOnASignalAndPrefersTheEarlierEvent) {
    EventGroup group;
    ManualResetEvent stop(group);
    ManualResetEvent request(group);

    std::thread signaller([&] { request.set(); });
    EXPECT_EQ(ManualResetEvent::waitForAny({&stop, &request}), 1u);
    signaller.join();
    stop.set();
    EXPECT_EQ(ManualResetEvent::waitForAny({&stop, &request}), 0u) << "the earlier one wins";
    EXPECT_TRUE(request.isSet()) << "stays set until reset";
    request.reset();
    EXPECT_FALSE(request.isSet());
}

}  // namespace
