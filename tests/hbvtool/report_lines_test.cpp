// What hbvtool prints and records: the board marked in the list, time stamps, and a recording
// that gives GetPacket the same bytes when the simulated board replays it.
#include "report_lines.h"

#include "recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// What GetPacket hands out for a report's data: the count in the last byte, at most 64.
std::vector<std::uint8_t> packetOf(const ReportData& data) {
    const std::size_t count = std::min<std::size_t>(data[kReportDataSize - 1], kReportDataSize);
    return {data.begin(), data.begin() + count};
}

TEST(RecordedPacket, ReplaysAsTheSameGetPacketBytes) {
    for (std::size_t count : {1u, 10u, 62u, 63u, 64u}) {
        std::vector<std::uint8_t> packet(count);
        for (std::size_t i = 0; i < count; ++i) packet[i] = static_cast<std::uint8_t>(0xC0 + i);
        const RecordedReport recorded{1234, reportDataOfPacket(packet.data(), count)};

        std::vector<RecordedReport> replayed;
        RecordingError error;
        ASSERT_TRUE(
            readRecording(recordingHeader() + recordingLine(recorded) + "\r\n", replayed, error))
            << error.reason;
        ASSERT_EQ(replayed.size(), 1u);
        EXPECT_EQ(replayed[0].milliseconds, 1234u);
        EXPECT_EQ(packetOf(replayed[0].data), packet) << "count " << count;
    }
}

TEST(RecordedPacket, LeavesZerosBetweenTheBytesAndTheCount) {
    const std::uint8_t packet[] = {0x01, 0xFF};
    const ReportData data = reportDataOfPacket(packet, 2);
    EXPECT_EQ(data[1], 0xFF);
    EXPECT_TRUE(std::all_of(data.begin() + 2, data.end() - 1, [](auto b) { return b == 0; }));
    EXPECT_EQ(data[63], 2);
}

TEST(PacketLine, StampsSecondsWithMilliseconds) {
    const std::uint8_t bytes[] = {0x0A, 0x1B};
    EXPECT_EQ(packetLine(0, bytes, 2), "     0.000  0A1B");
    EXPECT_EQ(packetLine(61'007, bytes, 1), "    61.007  0A");
}

TEST(InterfaceLine, MarksOnlyTheTwoBoards) {
    struct Case {
        std::uint16_t vendor, product;
        const char* model;  // null: no mark
    };
    for (const Case& c : {Case{0x4973, 0x0010, "HBV7"}, Case{0x4973, 0x000F, "HBV5"},
                          Case{0x4973, 0x0011, nullptr}, Case{0x845E, 0x0010, nullptr}}) {
        const std::string line = interfaceLine(true, c.vendor, c.product, "\\\\?\\hid#x");
        EXPECT_NE(line.find("\\\\?\\hid#x"), std::string::npos) << line;
        EXPECT_EQ(line.find("HBV") != std::string::npos, c.model != nullptr) << line;
        if (c.model) {
            EXPECT_NE(line.find(c.model), std::string::npos) << line;
        }
    }
    EXPECT_EQ(interfaceLine(true, 0x845E, 0x0002, "p").rfind("0x845E:0x0002", 0), 0u);
}

TEST(InterfaceLine, ClaimsNoIdsForAnInterfaceThatDidNotOpen) {
    const std::string line = interfaceLine(false, 0x4973, 0x0010, "p");
    EXPECT_EQ(line.find("4973"), std::string::npos) << line;
    EXPECT_EQ(line.find("HBV7"), std::string::npos) << line;
}

}  // namespace
