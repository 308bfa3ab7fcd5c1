// The simulated board as a host of the simulated DLLs meets it: through the whole channel.
#include "hid_test_support.h"
#include "simulated_board.h"
#include "usb_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Packet = std::vector<std::uint8_t>;

std::uint32_t counterOf(const Packet& packet) {
    return packet[1] | packet[2] << 8 | packet[3] << 16 |
           static_cast<std::uint32_t>(packet[4]) << 24;
}
bool isPattern(const Packet& packet) { return packet.size() == 17 && packet[0] == 0x01; }

// A host of the simulated board: the channel over it, and the packets as the host takes them.
class SimulatedHost {
  public:
    RecordingNotifier notifier;
    std::unique_ptr<SimulatedBoard> board;
    std::unique_ptr<CUsbChannel> channel;
    std::size_t taken = 0;

    void start(Simulation simulation, const BoardVariant& model = kHbv7) {
        board = std::make_unique<SimulatedBoard>(model, std::move(simulation));
        channel = std::make_unique<CUsbChannel>(*board, model, notifier,
                                                NotifyTarget{1, kFirstPrivateMessage});
    }

    // The next packet, as GetPacket gives it.
    Packet next() {
        EXPECT_TRUE(notifier.waitForCount(taken + 1)) << "no packet came";
        std::uint8_t buffer[64];
        const std::int32_t count = channel->GetPacket(buffer);
        ++taken;
        return Packet(buffer, buffer + count);
    }
    // The next packet that is not a pattern report, within the pattern reports of a second.
    Packet nextAnswer() {
        for (int i = 0; i < 1000; ++i) {
            Packet packet = next();
            if (!isPattern(packet)) return packet;
        }
        return {};
    }
};

class Simulated : public ::testing::Test, protected SimulatedHost {
  protected:
    void TearDown() override { channel.reset(); }
};

TEST_F(Simulated, SendsCountedPatternReportsAboutOneAMillisecond) {
    start(Simulation{});
    const Packet first = next();
    ASSERT_TRUE(isPattern(first));
    const auto start = Clock::now();
    for (std::uint32_t i = 1; i <= 200; ++i) {
        const Packet packet = next();
        ASSERT_TRUE(isPattern(packet));
        ASSERT_EQ(counterOf(packet), counterOf(first) + i);
        EXPECT_LE(packet[15], 6) << "a gear position";
    }
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(150)) << "paced, not as fast as it can";
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(Simulated, AnswersCommandsInItsOwnConvention) {
    start(Simulation{}, kHbv5);
    ASSERT_TRUE(channel->QueryVersion());
    EXPECT_EQ(nextAnswer(), (Packet{0x0A, 0x03, 0x00}));

    const std::uint8_t bytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_TRUE(channel->WriteEEPROM(bytes, 250, 10));  // wraps past address 255
    EXPECT_EQ(nextAnswer(), (Packet{0x05, 250, 10}));
    ASSERT_TRUE(channel->ReadEEPROM(254, 4));
    EXPECT_EQ(nextAnswer(), (Packet{0x06, 254, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(channel->ReadEEPROM(0, 61));
    const Packet longest = nextAnswer();
    ASSERT_EQ(longest.size(), 63u) << "60 bytes at most after the three";
    EXPECT_EQ(longest[3], 7);

    ASSERT_TRUE(channel->EnterBootloader());
    EXPECT_EQ(nextAnswer(), Packet{0x73});

    // Write blocks get no answer; the pattern reports count them.
    std::uint8_t block[24] = {};
    for (int blocks = 1; blocks <= 3; ++blocks) {
        ASSERT_TRUE(channel->Write(block));
        bool counted = false;
        for (int i = 0; i < 1000 && !counted; ++i) {
            const Packet packet = next();
            counted = isPattern(packet) && packet[16] == blocks;
        }
        EXPECT_TRUE(counted) << blocks;
    }
}

TEST_F(Simulated, KeepsItsEepromInItsFileFromOneRunToTheNext) {
    Simulation simulation;
    simulation.eepromFile = ::testing::TempDir() + "simulated_board_eeprom.bin";
    std::remove(simulation.eepromFile.c_str());
    start(simulation);
    ASSERT_TRUE(channel->ReadEEPROM(16, 3));
    EXPECT_EQ(nextAnswer(), (Packet{0x06, 16, 3, 0, 0, 0})) << "a new board's EEPROM is zeroed";
    const std::uint8_t bytes[3] = {0xA1, 0xB2, 0xC3};
    ASSERT_TRUE(channel->WriteEEPROM(bytes, 16, 3));
    EXPECT_EQ(nextAnswer(), (Packet{0x05, 16, 3}));

    channel.reset();
    SimulatedHost nextRun;
    nextRun.start(simulation);
    ASSERT_TRUE(nextRun.channel->ReadEEPROM(16, 3));
    EXPECT_EQ(nextRun.nextAnswer(), (Packet{0x06, 16, 3, 0xA1, 0xB2, 0xC3}));
    std::remove(simulation.eepromFile.c_str());
}

TEST_F(Simulated, VanishesAndComesBackWhenToldTo) {
    Simulation simulation;
    simulation.unplugAfter = std::chrono::milliseconds(200);
    start(std::move(simulation));
    Packet previous = next();
    auto previousAt = Clock::now();
    std::chrono::milliseconds longestGap{0};
    // Past the first absence and into the second presence.
    while (counterOf(previous) < 300) {
        const Packet packet = next();
        const auto at = Clock::now();
        ASSERT_EQ(counterOf(packet), counterOf(previous) + 1) << "none lost across the gap";
        longestGap = std::max(
            longestGap, std::chrono::duration_cast<std::chrono::milliseconds>(at - previousAt));
        previous = packet;
        previousAt = at;
    }
    EXPECT_GE(longestGap, std::chrono::milliseconds(100)) << "the board was away for a while";
}

TEST_F(Simulated, ReplaysARecordingWithItsTimingAndLoops) {
    Simulation simulation;
    for (std::uint32_t milliseconds : {10u, 15u, 60u}) {
        RecordedReport report;
        report.milliseconds = milliseconds;
        report.data[0] = static_cast<std::uint8_t>(milliseconds);
        report.data[63] = 2;
        simulation.recording.push_back(report);
    }
    start(std::move(simulation));
    const auto start = Clock::now();
    for (int round = 0; round < 3; ++round) {
        for (std::uint8_t first : {10, 15, 60}) {
            EXPECT_EQ(next(), (Packet{first, 0})) << "round " << round;
        }
    }
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(90)) << "two loops of 51 ms";
}

TEST(SimulationSetting, TellsPatternUnplugAndRecordingApartAndRefusesNonsense) {
    EXPECT_FALSE(simulationFromSetting("").absent);
    EXPECT_TRUE(simulationFromSetting("").recording.empty());
    EXPECT_EQ(simulationFromSetting("unplug-after:250").unplugAfter,
              std::chrono::milliseconds(250));
    for (const char* nonsense : {"unplug-after:", "unplug-after:x", "unplug-after:0",
                                 "unplug-after:-5", "no-such-file.txt"}) {
        EXPECT_TRUE(simulationFromSetting(nonsense).absent) << nonsense;
    }

    const std::string path = ::testing::TempDir() + "simulated_board_recording.txt";
    RecordedReport report;
    report.milliseconds = 7;
    std::ofstream(path) << recordingHeader() << recordingLine(report) << "\n";
    const Simulation replay = simulationFromSetting(path);
    EXPECT_FALSE(replay.absent);
    EXPECT_EQ(replay.recording.size(), 1u);
    std::ofstream(path) << "7 00\n";
    EXPECT_TRUE(simulationFromSetting(path).absent) << "a malformed recording";
    std::remove(path.c_str());
}

}  // namespace
