// The command line is the one guard between a technician's typing and the board: every bad
// input must be refused here, before a DLL is loaded or a byte sent.
#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

std::string hexBytes(std::size_t count) { return std::string(count * 2, 'A'); }

struct Refused {
    Arguments arguments;
    std::string named;  // the part of the input the reason must name
};

class RefusedCommandLine : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedCommandLine, GivesOneLineNamingTheFault) {
    const ParsedCommandLine parsed = parseCommandLine(GetParam().arguments);
    ASSERT_FALSE(parsed.error.empty());
    EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << parsed.error;
    EXPECT_NE(parsed.error.find(GetParam().named), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    Usage, RefusedCommandLine,
    ::testing::Values(
        Refused{{}, "--help"}, Refused{{"frobnicate"}, "frobnicate"},
        Refused{{"list", "extra"}, "extra"}, Refused{{"watch", "--bogus"}, "--bogus"},
        Refused{{"list", "--count", "5"}, "--count"}, Refused{{"version", "--yes"}, "--yes"},
        Refused{{"watch", "--count"}, "--count"}, Refused{{"watch", "--count", "0"}, "0"},
        Refused{{"watch", "--seconds", "1.5"}, "1.5"},
        Refused{{"watch", "--count", "4294967296"}, "4294967296"},
        Refused{{"eeprom-read", "1"}, "eeprom-read"}, Refused{{"send"}, "send"},
        Refused{{"check", "--dll", "HBV7.dll"}, "--dll"}, Refused{{"check", "--all"}, "--all"},
        Refused{{"watch", "--folder", "C:\\t"}, "--folder"},
        Refused{{"check", "--folder"}, "--folder"}, Refused{{"check", "C:\\t"}, "C:\\t"}));

INSTANTIATE_TEST_SUITE_P(Numbers, RefusedCommandLine,
                         ::testing::Values(Refused{{"eeprom-read", "256", "1"}, "256"},
                                           Refused{{"eeprom-read", "0x100", "1"}, "0x100"},
                                           Refused{{"eeprom-read", "-1", "1"}, "-1"},
                                           Refused{{"eeprom-read", "1x", "1"}, "1x"},
                                           Refused{{"eeprom-read", "0x", "1"}, "0x"},
                                           Refused{{"eeprom-read", "1", "0"}, "0"},
                                           Refused{{"eeprom-read", "1", "62"}, "62"}));

INSTANTIATE_TEST_SUITE_P(
    Bytes, RefusedCommandLine,
    ::testing::Values(Refused{{"eeprom-write", "1", "ABC", "--yes"}, "ABC"},
                      Refused{{"eeprom-write", "1", "0G", "--yes"}, "0G"},
                      Refused{{"eeprom-write", "1", "0A 0B", "--yes"}, "0A 0B"},
                      Refused{{"eeprom-write", "1", hexBytes(61), "--yes"}, "61"},
                      Refused{{"send", ""}, ""}, Refused{{"send", hexBytes(49)}, "49"}));

INSTANTIATE_TEST_SUITE_P(Confirmation, RefusedCommandLine,
                         ::testing::Values(Refused{{"eeprom-write", "1", "AA"}, "--yes"},
                                           Refused{{"bootloader"}, "--yes"}));

// The setup runs "hbvtool boards" and reads every line as a model: a typo must not pass.
INSTANTIATE_TEST_SUITE_P(Boards, RefusedCommandLine,
                         ::testing::Values(Refused{{"boards", "HBV7"}, "HBV7"},
                                           Refused{{"boards", "--count", "1"}, "--count"}));

TEST(CommandLine, HelpWinsWhereverItStands) {
    for (const Arguments& arguments :
         {Arguments{"--help"}, Arguments{"-h"}, Arguments{"watch", "--help"},
          Arguments{"eeprom-write", "999", "--help"}}) {
        const ParsedCommandLine parsed = parseCommandLine(arguments);
        EXPECT_TRUE(parsed.error.empty()) << parsed.error;
        EXPECT_EQ(parsed.command.action, Action::Help);
    }
}

TEST(CommandLine, WatchTakesItsLimitsAndRecording) {
    const ParsedCommandLine parsed = parseCommandLine(
        {"--dll", "C:\\b\\HBV5.dll", "watch", "--count", "200", "--record", "r.txt"});
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_EQ(parsed.command.action, Action::Watch);
    EXPECT_EQ(parsed.command.dllPath, "C:\\b\\HBV5.dll");
    EXPECT_EQ(parsed.command.watch.packets, 200u);
    EXPECT_FALSE(parsed.command.watch.seconds.has_value());
    EXPECT_EQ(parsed.command.watch.recordPath, "r.txt");
}

TEST(CommandLine, CheckTakesAFolderAndWatchEveryPacket) {
    ParsedCommandLine parsed = parseCommandLine({"check", "--folder", "C:\\trainer"});
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_EQ(parsed.command.action, Action::Check);
    EXPECT_EQ(parsed.command.folder, "C:\\trainer");

    parsed = parseCommandLine({"check"});
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_EQ(parsed.command.folder, "");

    parsed = parseCommandLine({"--all", "watch"});
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_TRUE(parsed.command.watch.everyPacket);
    EXPECT_FALSE(parseCommandLine({"watch"}).command.watch.everyPacket);
}

TEST(CommandLine, EepromOperandsAtTheirLimits) {
    ParsedCommandLine parsed = parseCommandLine({"eeprom-read", "0xFF", "61"});
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_EQ(parsed.command.address, 255);
    EXPECT_EQ(parsed.command.count, 61);

    parsed = parseCommandLine({"--yes", "eeprom-write", "0", "0aFf" + hexBytes(58)});
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_EQ(parsed.command.action, Action::EepromWrite);
    EXPECT_EQ(parsed.command.address, 0);
    ASSERT_EQ(parsed.command.bytes.size(), 60u);
    EXPECT_EQ(parsed.command.bytes[0], 0x0A);
    EXPECT_EQ(parsed.command.bytes[1], 0xFF);
}

TEST(CommandLine, SendTakesTheLargerModelsBlock) {
    const ParsedCommandLine parsed = parseCommandLine({"send", hexBytes(48)});
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_EQ(parsed.command.bytes.size(), 48u);
}

TEST(WriteBlock, PadsWithZerosToTheModelsBlock) {
    std::vector<std::uint8_t> block;
    std::string error;
    ASSERT_TRUE(writeBlock({0x01, 0x02}, kHbv7.name, kHbv7.writeBlockSize, block, error));
    std::vector<std::uint8_t> expected(48, 0);
    expected[0] = 0x01;
    expected[1] = 0x02;
    EXPECT_EQ(block, expected);

    ASSERT_TRUE(writeBlock(std::vector<std::uint8_t>(24, 7), kHbv5.name, kHbv5.writeBlockSize,
                           block, error));
    EXPECT_EQ(block, std::vector<std::uint8_t>(24, 7));
}

TEST(WriteBlock, RefusesMoreThanTheModelTakes) {
    std::vector<std::uint8_t> block{9};
    std::string error;
    EXPECT_FALSE(writeBlock(std::vector<std::uint8_t>(25, 1), kHbv5.name, kHbv5.writeBlockSize,
                            block, error));
    EXPECT_NE(error.find("HBV5"), std::string::npos) << error;
    EXPECT_EQ(block, std::vector<std::uint8_t>{9}) << "nothing to send";
}

}  // namespace
