// vboard.exe's command line: what it serves, and every line it refuses.
#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct OptionsCase {
    std::vector<std::string> arguments;
    bool accepted;
    VboardOptions::Action action;
    const BoardVariant* model;
    double seconds;
    bool silent;
    bool noWrites;
    const char* simulation;
    const char* errorPart;  // for a refused line
};

using Action = VboardOptions::Action;

const OptionsCase kCases[] = {
    {{"--model", "HBV7"}, true, Action::Serve, &kHbv7, 0, false, false, "", ""},
    {{"--model", "HBV5", "--seconds", "2.5"},
     true,
     Action::Serve,
     &kHbv5,
     2.5,
     false,
     false,
     "",
     ""},
    {{"--silent", "--model", "HBV7", "--no-writes"},
     true,
     Action::Serve,
     &kHbv7,
     0,
     true,
     true,
     "",
     ""},
    {{"--model", "HBV7", "--simulation", "unplug-after:700"},
     true,
     Action::Serve,
     &kHbv7,
     0,
     false,
     false,
     "unplug-after:700",
     ""},
    {{"--unplug-all"}, true, Action::UnplugAll, nullptr, 0, false, false, "", ""},
    {{"--help"}, true, Action::Help, nullptr, 0, false, false, "", ""},
    {{}, false, Action::Serve, nullptr, 0, false, false, "", "--model"},
    {{"--model", "HBV6"}, false, Action::Serve, nullptr, 0, false, false, "", "HBV6"},
    {{"--model", "hbv7"}, false, Action::Serve, nullptr, 0, false, false, "", "hbv7"},
    {{"--model"}, false, Action::Serve, nullptr, 0, false, false, "", "needs a value"},
    {{"--model", "HBV7", "--seconds", "0"},
     false,
     Action::Serve,
     nullptr,
     0,
     false,
     false,
     "",
     "positive"},
    {{"--model", "HBV7", "--seconds", "5s"},
     false,
     Action::Serve,
     nullptr,
     0,
     false,
     false,
     "",
     "5s"},
    {{"--model", "HBV7", "--seconds", "-1"},
     false,
     Action::Serve,
     nullptr,
     0,
     false,
     false,
     "",
     "positive"},
    {{"--model", "HBV7", "--stamped"},
     false,
     Action::Serve,
     nullptr,
     0,
     false,
     false,
     "",
     "unknown argument --stamped"},
    {{"--unplug-all", "--model", "HBV7"},
     false,
     Action::Serve,
     nullptr,
     0,
     false,
     false,
     "",
     "no other option"},
    {{"--silent"}, false, Action::Serve, nullptr, 0, false, false, "", "--model"},
};

class VboardOptionsTest : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(VboardOptionsTest, ReadsOrRefusesTheLine) {
    const OptionsCase& test = GetParam();
    VboardOptions options;
    std::string error;
    ASSERT_EQ(parseVboardOptions(test.arguments, options, error), test.accepted) << error;
    if (!test.accepted) {
        EXPECT_NE(error.find(test.errorPart), std::string::npos) << error;
        return;
    }
    EXPECT_EQ(error, "");
    EXPECT_EQ(options.action, test.action);
    EXPECT_EQ(options.model, test.model);
    EXPECT_DOUBLE_EQ(options.seconds, test.seconds);
    EXPECT_EQ(options.silent, test.silent);
    EXPECT_EQ(options.noWrites, test.noWrites);
    EXPECT_EQ(options.simulation, test.simulation);
}

TEST(VboardOptions, StampsOnlyWhenAsked) {
    VboardOptions options;
    std::string error;
    ASSERT_TRUE(parseVboardOptions({"--model", "HBV7"}, options, error));
    EXPECT_FALSE(options.stamp);
    ASSERT_TRUE(parseVboardOptions({"--stamp", "--model", "HBV5"}, options, error));
    EXPECT_TRUE(options.stamp);
    EXPECT_FALSE(parseVboardOptions({"--unplug-all", "--stamp"}, options, error));
}

INSTANTIATE_TEST_SUITE_P(CommandLines, VboardOptionsTest, ::testing::ValuesIn(kCases));

}  // namespace
