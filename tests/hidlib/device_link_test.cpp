// Finding the board, and reopening it after a transfer failed.
#include "commands.h"
#include "hid_test_support.h"
#include "usb_channel.h"
#include "usbhidioc.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint16_t kOtherVendorId = 0x845E;

struct ModelCase {
    const BoardVariant* target;
    const BoardVariant* otherModel;
};

class InterfaceSearch : public ::testing::TestWithParam<ModelCase> {};

TEST_P(InterfaceSearch, UsesTheFirstMatchingInterfaceThatOpens) {
    const BoardVariant& target = *GetParam().target;
    const BoardVariant& other = *GetParam().otherModel;
    VirtualBoard board;
    board.addInterface(kOtherVendorId, 0x0001);
    const auto otherModel = board.addInterface(other.vendorId, other.productId);
    board.addInterface(target.vendorId, target.productId, VirtualBoard::Access::CannotOpen);
    const auto unreadable = board.addInterface(target.vendorId, target.productId,
                                               VirtualBoard::Access::AttributesUnreadable);
    const auto first = board.addInterface(target.vendorId, target.productId);
    const auto second = board.addInterface(target.vendorId, target.productId);
    CUsbChannel channel(board, target, kShortTimeoutMs);

    ASSERT_TRUE(channel.QueryVersion());
    ASSERT_TRUE(channel.EnterBootloader());

    const auto written = board.writtenReports();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].interfaceIndex, first);
    EXPECT_EQ(written[1].interfaceIndex, first);
    EXPECT_EQ(board.searchCount(), 1);
    EXPECT_EQ(board.opensOf(otherModel), 1) << "looked at once";
    EXPECT_EQ(board.opensOf(unreadable), 1);
    EXPECT_EQ(board.opensOf(second), 0);
    EXPECT_EQ(board.openHandleCount(), 1) << "all but the board's handle closed again";
}

// With no board of its own model attached, every attempt of a synchronous command searches and
// fails, while Write is stored at once and its send step searches in vain.
TEST_P(InterfaceSearch, NeverUsesTheOtherModel) {
    const BoardVariant& other = *GetParam().otherModel;
    VirtualBoard board;
    board.addInterface(other.vendorId, other.productId);
    CUsbChannel channel(board, *GetParam().target, kShortTimeoutMs);
    const std::uint8_t block[48] = {};

    EXPECT_FALSE(channel.QueryVersion());
    EXPECT_FALSE(channel.ReadEEPROM(0, 1));
    EXPECT_EQ(board.searchCount(), 2);
    EXPECT_TRUE(channel.Write(block));
    EXPECT_EQ(board.searchCount(), 2) << "Write does not wait for the board";
    channel.sendPendingOutput();
    EXPECT_EQ(board.searchCount(), 3);
    EXPECT_TRUE(board.writtenReports().empty());
    EXPECT_EQ(board.openHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(BothModels, InterfaceSearch,
                         ::testing::Values(ModelCase{&kHbv7, &kHbv5}, ModelCase{&kHbv5, &kHbv7}),
                         [](const auto& info) { return std::string(info.param.target->name); });

TEST(ReadReport, DeliversTheBytesAfterTheReportId) {
    VirtualBoard board;
    board.addInterface(kHbv7.vendorId, kHbv7.productId);
    CUsbhidioc link(board, kShortTimeoutMs);
    link.SetDeviceIds(kHbv7.vendorId, kHbv7.productId);
    Report input{};
    for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<std::uint8_t>(200 + i);
    ASSERT_TRUE(link.WriteReport(makeQueryVersionPayload()));  // opens a handle to buffer it
    board.sendInputReport(input);

    ReportData data{};
    ASSERT_TRUE(link.ReadReport(data));
    for (std::size_t i = 0; i < data.size(); ++i) EXPECT_EQ(data[i], input[i + 1]) << i;
}

// The reader keeps the device of its last read; when the other direction has reopened the link
// in between (here after the board was unplugged and plugged in again), the next read goes to
// the new handle, and the old one closes.
TEST(ReadReport, FollowsAReopenMadeByTheOtherDirectionBetweenReads) {
    VirtualBoard board;
    const auto boardInterface = board.addInterface(kHbv7.vendorId, kHbv7.productId);
    CUsbhidioc link(board, kShortTimeoutMs);
    link.SetDeviceIds(kHbv7.vendorId, kHbv7.productId);
    ReportData data;
    ASSERT_TRUE(link.WriteReport(makeQueryVersionPayload()));  // opens handle 0
    board.sendInputReport(Report{});
    ASSERT_TRUE(link.ReadReport(data));

    board.unplug(boardInterface);
    board.replug(boardInterface);
    EXPECT_FALSE(link.WriteReport(makeQueryVersionPayload())) << "handle 0 is dead";
    EXPECT_TRUE(link.WriteReport(makeQueryVersionPayload())) << "reopened on handle 1";

    board.sendInputReport(Report{});
    EXPECT_TRUE(link.ReadReport(data)) << "read on the dead handle";
    EXPECT_FALSE(board.isOpen(0));
    EXPECT_EQ(board.openHandleCount(), 1);
}

// A transfer that fails marks the link; the very next transfer, of either direction, closes
// the handle and searches again, even with the board still there.
struct ReopenCase {
    const char* name;
    Direction failing;
    Fault fault;
    Direction next;
};

class ReopenAfterFailure : public LinkToOneBoard<ReopenCase> {
  protected:
    bool transfer(Direction direction) {
        return direction == Direction::Write ? writeQuery() : readOneSentMeanwhile();
    }
};

TEST_P(ReopenAfterFailure, ClosesAndSearchesOnTheNextTransfer) {
    const ReopenCase& c = GetParam();
    ASSERT_TRUE(transfer(Direction::Write));  // opens handle 0
    board.injectFault(c.failing, c.fault);

    EXPECT_FALSE(transfer(c.failing));
    EXPECT_TRUE(board.isOpen(0)) << "left to the next reopen check";
    EXPECT_EQ(board.searchCount(), 1);

    EXPECT_TRUE(transfer(c.next));
    EXPECT_EQ(board.searchCount(), 2);
    EXPECT_FALSE(board.isOpen(0));
    EXPECT_TRUE(board.isOpen(1));

    EXPECT_TRUE(transfer(Direction::Write));
    EXPECT_EQ(board.searchCount(), 2) << "a working link is not searched again";
    EXPECT_EQ(board.writtenReports().back().handle, 1);
}

INSTANTIATE_TEST_SUITE_P(
    EitherDirection, ReopenAfterFailure,
    ::testing::Values(
        ReopenCase{"ReadTimeoutThenRead", Direction::Read, Fault::Stall, Direction::Read},
        ReopenCase{"ReadTimeoutThenWrite", Direction::Read, Fault::Stall, Direction::Write},
        ReopenCase{"WriteTimeoutThenRead", Direction::Write, Fault::Stall, Direction::Read},
        ReopenCase{"WriteTimeoutThenWrite", Direction::Write, Fault::Stall, Direction::Write},
        ReopenCase{"WriteErrorThenRead", Direction::Write, Fault::CompleteWithError,
                   Direction::Read},
        ReopenCase{"WriteErrorThenWrite", Direction::Write, Fault::CompleteWithError,
                   Direction::Write},
        ReopenCase{"ReadErrorThenWrite", Direction::Read, Fault::CompleteWithError,
                   Direction::Write}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Unplug, CommandsFailWhileTheBoardIsGoneAndWorkAgainAfterReplug) {
    VirtualBoard board;
    const auto boardInterface = board.addInterface(kHbv7.vendorId, kHbv7.productId);
    CUsbChannel channel(board, kHbv7, kShortTimeoutMs);
    ASSERT_TRUE(channel.QueryVersion());

    board.unplug(boardInterface);
    EXPECT_FALSE(channel.QueryVersion()) << "the write on the dead handle fails";
    EXPECT_FALSE(channel.QueryVersion()) << "the search finds nothing";
    EXPECT_EQ(board.searchCount(), 2);
    EXPECT_EQ(board.openHandleCount(), 0);

    board.replug(boardInterface);
    EXPECT_TRUE(channel.QueryVersion());
    EXPECT_EQ(board.searchCount(), 3);
    const auto written = board.writtenReports();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[1].handle, 1);
}

}  // namespace
