// The virtual board through Wine's own HID stack: vboard.exe plugs a node that hidclass serves,
// and the real hbvtool.exe with the real DLL beside it finds the board, receives its stream and
// has its commands answered, as on a trainer PC.
#include "stack_test_support.h"
#include "folder_check.h"
#include "text_format.h"
#include "texts.h"
#include "tool_run.h"
#include "wide_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace {

#ifdef _WIN64
const char* const kBuildArchitecture = "x86_64";
#else
const char* const kBuildArchitecture = "i686";
#endif

class VboardStack : public NoBoardAtStart {};

TEST_F(VboardStack, HbvtoolListsTheBoardAmongWinesDevices) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    const ToolRun list = runTool({"list"}, {}, kDeliveredProgram);
    EXPECT_EQ(list.exitCode, 0u) << list.err;
    EXPECT_TRUE(contains(list.out, "0x4973:0x0010  \\\\?\\hid#vid_4973&pid_0010")) << list.out;
    EXPECT_TRUE(contains(list.out, "← плата HBV7")) << list.out;
    EXPECT_TRUE(contains(list.out, "0x845E:0x0001")) << list.out;
    const ToolRun boards = runTool({"boards"}, {}, kDeliveredProgram);
    EXPECT_EQ(boards.exitCode, 0u) << boards.err;
    EXPECT_EQ(boards.out, "HBV7\r\n");
}

// The simulated board's pattern reports carry a counter: through hidclass's reading thread, its
// buffer for the DLL's handle and the DLL's queue none may be lost, come twice or out of order.
// (How fast they come is the DLL host's test: a loaded machine slows hbvtool's printing more
// than the board.)
TEST_F(VboardStack, TheStreamArrivesWholeAndInOrder) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60", "--stamp"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    const ToolRun run = runTool({"watch", "--count", "2000"}, {}, kDeliveredProgram);
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    // Among them the answer to the version query that watch sends first.
    const std::vector<TakenReport> reports = takenReports(patternReports(printedPackets(run.out)));
    ASSERT_GE(reports.size(), 1990u);
    expectWholeStream(reports);
}

TEST_F(VboardStack, CommandsReachTheBoardAndAreAnswered) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    const ToolRun version = runTool({"version"}, {}, kDeliveredProgram);
    EXPECT_EQ(version.exitCode, 0u) << version.err;
    EXPECT_TRUE(contains(version.out, std::string(texts::kAnswer) + "0A0300\r\n")) << version.out;
    const ToolRun written =
        runTool({"eeprom-write", "0x20", "C0FFEE", "--yes"}, {}, kDeliveredProgram);
    EXPECT_EQ(written.exitCode, 0u) << written.err;
    EXPECT_TRUE(contains(written.out, std::string(texts::kAnswer) + "052003\r\n")) << written.out;
    const ToolRun read = runTool({"eeprom-read", "32", "3"}, {}, kDeliveredProgram);
    EXPECT_EQ(read.exitCode, 0u) << read.err;
    EXPECT_TRUE(contains(read.out, std::string(texts::kAnswer) + "062003C0FFEE\r\n")) << read.out;
}

// The DLL gives a write 1000 ms, then cancels it: the driver must end hidclass's write so that
// the cancellation completes and the command returns.
TEST_F(VboardStack, AWriteTheBoardDoesNotTakeEndsAfterTheLimit) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60", "--no-writes"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    const ToolRun run = runTool({"send", "01"}, {}, kDeliveredProgram);
    EXPECT_EQ(run.exitCode, 1u) << run.out;
    EXPECT_TRUE(contains(run.err, texts::kBoardNotFound)) << run.err;
    EXPECT_GT(run.seconds, 0.9);
    EXPECT_LT(run.seconds, 10.0);
}

TEST_F(VboardStack, ASilentBoardIsListedAndSendsNothing) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60", "--silent"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    const ToolRun boards = runTool({"boards"}, {}, kDeliveredProgram);
    EXPECT_EQ(boards.out, "HBV7\r\n");
    const ToolRun watch = runTool({"watch", "--seconds", "2"}, {}, kDeliveredProgram);
    EXPECT_EQ(watch.exitCode, 0u) << watch.err;
    EXPECT_TRUE(printedPackets(watch.out).empty()) << watch.out;
    EXPECT_LT(watch.seconds, 10.0);
}

TEST_F(VboardStack, BothModelsPluggedEachDllTakesItsOwn) {
    BoardProgram hbv5(kVboard, {"--model", "HBV5", "--seconds", "60"}, "HBV5");
    ASSERT_TRUE(hbv5.plugged()) << hbv5.printed();
    BoardProgram hbv7(kVboard, {"--model", "HBV7", "--seconds", "60"});
    ASSERT_TRUE(hbv7.plugged()) << hbv7.printed();
    const ToolRun boards = runTool({"boards"}, {}, kDeliveredProgram);
    EXPECT_EQ(linesOf(boards.out).size(), 2u) << boards.out;
    EXPECT_TRUE(contains(boards.out, "HBV5\r\n")) << boards.out;
    EXPECT_TRUE(contains(boards.out, "HBV7\r\n")) << boards.out;
    for (const char* model : {"HBV5", "HBV7"}) {
        const ToolRun version =
            runTool({"version", "--dll", kSystemDlls + model + ".dll"}, {}, kDeliveredProgram);
        EXPECT_EQ(version.exitCode, 0u) << model << version.err;
        EXPECT_TRUE(contains(version.out, std::string("модель ") + model)) << version.out;
        EXPECT_TRUE(contains(version.out, std::string(texts::kAnswer) + "0A0300\r\n"))
            << version.out;
    }
}

// check in a working folder holding the model's real DLL, with that board plugged: the DLL, the
// board and the board's answer to the version query, which only a board that is there gives.
TEST_F(VboardStack, CheckSeesTheBoardAnswerTheVersionQuery) {
    const struct {
        const char* model;
        unsigned productId;
        const char* dllVersion;
    } cases[] = {{"HBV7", 0x0010, "3.00"}, {"HBV5", 0x000F, "3.01"}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.model);
        const std::string dllName = std::string(test.model) + ".dll";
        const std::filesystem::path folder =
            std::filesystem::path(widen(temporaryFile("hbvtool-check-stack")));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        ASSERT_TRUE(CopyFileW(widen(kSystemDlls + dllName).c_str(),
                              (folder / widen(dllName)).c_str(), FALSE));
        BoardProgram board(kVboard, {"--model", test.model, "--seconds", "60"}, test.model);
        ASSERT_TRUE(board.plugged()) << board.printed();
        const ToolRun run =
            runTool({"check", "--folder", narrow(folder.wstring())}, {}, kDeliveredProgram);
        std::filesystem::remove_all(folder);
        const std::vector<std::string> lines = linesOf(run.out);
        const std::string expected[] = {
            findingLine({true, formatText(texts::kBoardDll, dllName.c_str(), test.model,
                                          kBuildArchitecture, test.dllVersion)}),
            findingLine({true, formatText(texts::kBoardWithDll, test.model, 0x4973u, test.productId,
                                          dllName.c_str())}),
            findingLine(
                {true, formatText(texts::kVersionAnswered, test.model, dllName.c_str(), "0A0300")}),
        };
        for (const std::string& line : expected) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end())
                << line << "\nin:\n"
                << run.out << run.err;
        }
        // Only this board is plugged, so no other board line can appear.
        const std::string otherModel = std::string(test.model) == "HBV7" ? "HBV5" : "HBV7";
        EXPECT_FALSE(contains(run.out, "плата " + otherModel)) << run.out;
        EXPECT_EQ(run.err, "");
    }
}

// unplug-after:MS unplugs the node and plugs it again: the DLL's reader searches, finds the
// board again and the packets go on.
TEST_F(VboardStack, PacketsResumeAfterAnUnplugAndAReplug) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60", "--simulation",
                                 "unplug-after:2000", "--stamp"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    const ToolRun run = runTool({"watch", "--seconds", "8"}, {}, kDeliveredProgram);
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const std::vector<TakenReport> reports = takenReports(patternReports(printedPackets(run.out)));
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(judgeStream(reports).outOfOrder, 0);
    // The stream's stretches between the board's absences, told by its hand-over times: a loaded
    // machine may print a backlog right through an absence.
    std::vector<std::size_t> stretches{1};
    for (std::size_t i = 1; i < reports.size(); ++i) {
        if (reports[i].handedOver - reports[i - 1].handedOver > 1.0) stretches.push_back(0);
        ++stretches.back();
    }
    ASSERT_GE(stretches.size(), 2u) << "no absence seen";
    EXPECT_GT(*std::max_element(stretches.begin() + 1, stretches.end()), 100u)
        << "too few packets after a replug";
    EXPECT_TRUE(contains(board.printed(), "unplugged HBV7")) << board.printed();
}

TEST_F(VboardStack, UnplugsTheBoardWhenItsTimeIsUp) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "3"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    EXPECT_EQ(runTool({"boards"}, {}, kDeliveredProgram).out, "HBV7\r\n");
    DWORD exitCode = 99;
    ASSERT_TRUE(board.finish(std::chrono::seconds(30), exitCode)) << board.printed();
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(contains(board.printed(), "unplugged HBV7")) << board.printed();
    const ToolRun boards = runTool({"boards"}, {}, kDeliveredProgram);
    EXPECT_EQ(boards.exitCode, 0u);
    EXPECT_EQ(boards.out, "");
}

}  // namespace
