// The bytes of every command's output report, and the EEPROM count limits.
#include "commands.h"
#include "hid_test_support.h"
#include "usb_channel.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

class CommandReports : public ::testing::Test {
  protected:
    VirtualBoard board;
    std::size_t boardInterface = board.addInterface(kHbv7.vendorId, kHbv7.productId);
    CUsbChannel channel{board, kHbv7, kShortTimeoutMs};

    std::vector<Report> sent() const { return reportBytes(board.writtenReports()); }
};

TEST_F(CommandReports, QueryVersionIsItsCodeAndALengthOfOne) {
    ASSERT_TRUE(channel.QueryVersion());
    EXPECT_EQ(sent(), std::vector<Report>{reportWith({{1, 0x0A}, {64, 0x01}})});
}

TEST_F(CommandReports, EnterBootloaderIsItsCodeAndALengthOfOne) {
    ASSERT_TRUE(channel.EnterBootloader());
    EXPECT_EQ(sent(), std::vector<Report>{reportWith({{1, 0x73}, {64, 0x01}})});
}

TEST_F(CommandReports, ReadEepromIsCodeAddressAndCount) {
    ASSERT_TRUE(channel.ReadEEPROM(0x21, 5));
    EXPECT_EQ(sent(), std::vector<Report>{reportWith({{1, 0x06}, {2, 0x21}, {3, 5}, {64, 3}})});
}

TEST_F(CommandReports, WriteEepromOfSixtyBytesFillsTheReportUpToItsLength) {
    std::uint8_t data[60];
    std::iota(std::begin(data), std::end(data), 100);
    ASSERT_TRUE(channel.WriteEEPROM(data, 0x40, 60));

    Report expected = reportWith({{1, 0x05}, {2, 0x40}, {3, 60}, {64, 63}});
    for (int i = 0; i < 60; ++i) expected[4 + i] = static_cast<std::uint8_t>(100 + i);
    EXPECT_EQ(sent(), std::vector<Report>{expected});
}

// Write takes the model's block from a longer buffer, and the worker sends it.
struct WriteCase {
    const BoardVariant* variant;
    int blockSize;
};

class WriteReports : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteReports, CarryTheModelsBlockAfterTheCode) {
    const BoardVariant& variant = *GetParam().variant;
    const int blockSize = GetParam().blockSize;
    VirtualBoard board;
    board.addInterface(variant.vendorId, variant.productId);
    CUsbChannel channel(board, variant, kShortTimeoutMs);
    std::uint8_t buffer[64];
    std::iota(std::begin(buffer), std::end(buffer), 1);

    ASSERT_TRUE(channel.Write(buffer));
    channel.sendPendingOutput();

    Report expected = reportWith({{1, 0x0B}, {64, blockSize + 1}});
    for (int i = 0; i < blockSize; ++i) expected[2 + i] = buffer[i];
    EXPECT_EQ(reportBytes(board.writtenReports()), std::vector<Report>{expected});
}

INSTANTIATE_TEST_SUITE_P(BothModels, WriteReports,
                         ::testing::Values(WriteCase{&kHbv7, 48}, WriteCase{&kHbv5, 24}),
                         [](const auto& info) { return std::string(info.param.variant->name); });

struct CountCase {
    const char* name;
    bool eepromWrite;  // else an EEPROM read
    std::uint8_t count;
    bool result;
    int reportLength;  // 0: nothing may reach the board
};

class EepromCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(EepromCounts, DecideWhatIsSent) {
    const CountCase& c = GetParam();
    VirtualBoard board;
    board.addInterface(kHbv7.vendorId, kHbv7.productId);
    CUsbChannel channel(board, kHbv7, kShortTimeoutMs);
    std::uint8_t data[255] = {};

    const bool result =
        c.eepromWrite ? channel.WriteEEPROM(data, 7, c.count) : channel.ReadEEPROM(7, c.count);

    EXPECT_EQ(result, c.result);
    const auto written = board.writtenReports();
    if (c.reportLength == 0) {
        EXPECT_TRUE(written.empty());
        EXPECT_EQ(board.searchCount(), 0) << "the board was not even looked for";
    } else {
        ASSERT_EQ(written.size(), 1u);
        EXPECT_EQ(written[0].bytes[3], c.count);
        EXPECT_EQ(written[0].bytes[64], c.reportLength);
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, EepromCounts,
                         ::testing::Values(CountCase{"WriteNone", true, 0, true, 0},
                                           CountCase{"WriteOne", true, 1, true, 4},
                                           CountCase{"WriteSixty", true, 60, true, 63},
                                           CountCase{"WriteSixtyOne", true, 61, false, 0},
                                           CountCase{"WriteMost", true, 255, false, 0},
                                           CountCase{"ReadNone", false, 0, true, 0},
                                           CountCase{"ReadSixtyOne", false, 61, true, 3},
                                           CountCase{"ReadSixtyTwo", false, 62, false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
