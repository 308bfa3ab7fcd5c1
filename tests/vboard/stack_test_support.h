// What the tests through Wine's HID stack share: the board program, the removal of the nodes a
// killed run left behind, so that each test starts with no board, and the judgement of a stream.
#pragma once

#include "board_program.h"
#include "tool_run.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

inline const std::string kVboard = windowsPathOf(VBOARD_PROGRAM);

inline ToolRun unplugAll() { return runTool({"--unplug-all"}, {}, kVboard); }

// A test that plugs the boards it needs, and no other: a node a killed run left behind is
// removed first.
class NoBoardAtStart : public ::testing::Test {
  protected:
    void SetUp() override {
        const ToolRun removed = unplugAll();
        ASSERT_EQ(removed.exitCode, 0u) << removed.out << removed.err;
    }
};

// A pattern report as a host took it, from a board run with --stamp: the board's counter, and
// the moments vboard handed it to the driver and the host took it, in seconds.
struct TakenReport {
    std::uint32_t counter;
    double handedOver;
    double taken;
};

inline double performanceCounterSeconds(std::uint64_t ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

// vboard's --stamp puts its performance counter at bytes 17 to 24 of a pattern report.
inline double handedOverSeconds(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t ticks = 0;
    for (int i = 7; i >= 0; --i) ticks = ticks << 8 | bytes.at(17 + i);
    return performanceCounterSeconds(ticks);
}

// hbvtool watch's reports, taken when it printed them.
inline std::vector<TakenReport> takenReports(const std::vector<PrintedPacket>& reports) {
    std::vector<TakenReport> taken;
    for (const PrintedPacket& report : reports) {
        taken.push_back(
            {counterOf(report), handedOverSeconds(report.bytes), report.milliseconds / 1000.0});
    }
    return taken;
}

struct StreamJudgement {
    long outOfOrder = 0;    // a report twice or before an earlier one
    long lost = 0;          // none of which the handle's buffer overrunning explains
    long overrun = 0;       // lost while the host was kept from reading for longer than the buffer
    double medianWait = 0;  // seconds, above the quickest report's
    std::string gaps;       // where reports were lost, for the failure message
};

// hidclass keeps 512 reports for the DLL's handle and drops reports when they are all unread,
// which a machine that keeps the reader from running for half a second forces at the board's
// 1,000 a second, whatever the reader does. So a gap counts against the host only if no report
// in reach of the buffer waited that long; the waits are measured from the quickest hand-over,
// so the two clocks need no common zero.
inline StreamJudgement judgeStream(const std::vector<TakenReport>& reports) {
    constexpr double kOverrunWaitSeconds = 0.4;
    constexpr std::size_t kBufferReach = 600;
    StreamJudgement judgement;
    if (reports.empty()) return judgement;
    double quickest = reports.front().taken - reports.front().handedOver;
    for (const TakenReport& report : reports)
        quickest = std::min(quickest, report.taken - report.handedOver);
    std::vector<double> waits;
    for (const TakenReport& report : reports)
        waits.push_back(report.taken - report.handedOver - quickest);
    for (std::size_t i = 1; i < reports.size(); ++i) {
        if (reports[i].counter <= reports[i - 1].counter) {
            ++judgement.outOfOrder;
            continue;
        }
        const long missing = static_cast<long>(reports[i].counter - reports[i - 1].counter - 1);
        if (missing == 0) continue;
        const std::size_t reachStart = i > kBufferReach ? i - kBufferReach : 0;
        const double longestWait =
            *std::max_element(waits.begin() + reachStart, waits.begin() + i + 1);
        (longestWait >= kOverrunWaitSeconds ? judgement.overrun : judgement.lost) += missing;
        judgement.gaps += " " + std::to_string(missing) + " after " +
                          std::to_string(reports[i - 1].counter) + " (longest wait " +
                          std::to_string(static_cast<int>(longestWait * 1000)) + " ms);";
    }
    std::nth_element(waits.begin(), waits.begin() + waits.size() / 2, waits.end());
    judgement.medianWait = waits[waits.size() / 2];
    return judgement;
}

// The stream whole and in order, but for what overruns explain; and the host keeping up with
// the board. A stalled machine makes every host wait now and then, and then they catch up: most
// reports still wait far less than the buffer lasts. A reader slower than the board falls ever
// further behind, until most reports wait as long as the buffer holds them.
inline void expectWholeStream(const std::vector<TakenReport>& reports) {
    constexpr double kKeepingUpWaitSeconds = 0.2;
    const StreamJudgement judged = judgeStream(reports);
    EXPECT_EQ(judged.outOfOrder, 0);
    EXPECT_EQ(judged.lost, 0) << judged.gaps;
    EXPECT_LT(judged.medianWait, kKeepingUpWaitSeconds)
        << "the host fell behind the board; lost to overruns:" << judged.gaps;
    if (judged.overrun > 0) {
        std::printf(
            "%ld of %zu reports lost while the machine kept the reader waiting "
            "(median wait %d ms)\n",
            judged.overrun, reports.size(), static_cast<int>(judged.medianWait * 1000));
    }
}
