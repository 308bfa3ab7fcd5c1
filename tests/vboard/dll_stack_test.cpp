// The real DLLs in a host with a message loop, against the virtual board that Wine's own HID
// stack serves: the search among the system's devices, the stream, the commands and their
// answers, an unplug and a replug, a board that takes no writes, Done, and a second host process
// reading the same board through a handle of its own.
#include "board_exports.h"
#include "stack_test_support.h"
#include "tool_run.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr UINT kPacketMessage = WM_APP + 3;

struct Packet {
    std::vector<std::uint8_t> bytes;
    double taken;  // seconds of the performance counter
};

// A host as the trainer's simulator is: a window whose procedure takes one packet per message.
class MessageLoopHost {
  public:
    explicit MessageLoopHost(const std::string& model) {
        module = LoadLibraryA((kSystemDlls + model + ".dll").c_str());
        if (module) resolveBoardExports(module, model, dll);
        window =
            CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        staticProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
    }
    ~MessageLoopHost() {
        if (dll.Done) dll.Done();
        DestroyWindow(window);
        if (module) FreeLibrary(module);
    }

    bool loaded() const { return dll.Init != nullptr; }
    bool init() { return dll.Init(window, kPacketMessage) != nullptr; }

    // Runs the message loop for the time, or until done says the packets are enough.
    template <typename Done>
    void pump(milliseconds limit, Done done) {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end && !done()) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
    void pump(milliseconds time) {
        pump(time, [] { return false; });
    }

    // The simulated board's pattern reports (byte 0 is 0x01) and, apart, its answers.
    std::vector<Packet> reports() const { return select(true); }
    std::vector<Packet> answers() const { return select(false); }
    // Waits for an answer that starts with this command code.
    bool answered(std::uint8_t command, std::vector<std::uint8_t>& answer) {
        const auto has = [&] {
            for (const Packet& packet : packets) {
                if (packet.bytes[0] == command) {
                    answer = packet.bytes;
                    return true;
                }
            }
            return false;
        };
        pump(milliseconds(5000), has);
        return has();
    }
    void forget() { packets.clear(); }

    BoardExports dll;
    std::vector<Packet> packets;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* host = reinterpret_cast<MessageLoopHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message != kPacketMessage)
            return CallWindowProcA(host->staticProcedure, window, message, wParam, lParam);
        std::array<std::uint8_t, 64> buffer{};
        const int count = host->dll.GetPacket(buffer.data());
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        if (count > 0) {
            host->packets.push_back({{buffer.begin(), buffer.begin() + count},
                                     performanceCounterSeconds(now.QuadPart)});
        }
        return 0;
    }
    std::vector<Packet> select(bool pattern) const {
        std::vector<Packet> chosen;
        for (const Packet& packet : packets) {
            if ((packet.bytes[0] == 0x01 && packet.bytes.size() >= 5) == pattern)
                chosen.push_back(packet);
        }
        return chosen;
    }

    HMODULE module = nullptr;
    HWND window = nullptr;
    WNDPROC staticProcedure = nullptr;
};

std::uint32_t counterOf(const Packet& report) {
    return report.bytes[1] | report.bytes[2] << 8 | report.bytes[3] << 16 |
           std::uint32_t(report.bytes[4]) << 24;
}

std::vector<TakenReport> takenReports(const std::vector<Packet>& reports) {
    std::vector<TakenReport> taken;
    for (const Packet& report : reports)
        taken.push_back({counterOf(report), handedOverSeconds(report.bytes), report.taken});
    return taken;
}
using ::takenReports;  // hbvtool's

class DllStack : public NoBoardAtStart {};

TEST_F(DllStack, EachDllFindsItsOwnModelAmongWinesDevices) {
    BoardProgram hbv5(kVboard, {"--model", "HBV5", "--seconds", "60"}, "HBV5");
    ASSERT_TRUE(hbv5.plugged()) << hbv5.printed();
    BoardProgram hbv7(kVboard, {"--model", "HBV7", "--seconds", "60"});
    ASSERT_TRUE(hbv7.plugged()) << hbv7.printed();
    MessageLoopHost host7("HBV7"), host5("HBV5");
    ASSERT_TRUE(host7.loaded() && host5.loaded());
    ASSERT_TRUE(host7.init() && host5.init());
    // Each board's EEPROM is its own: a byte written through one DLL is read back through it.
    const std::uint8_t mark7[] = {0x77}, mark5[] = {0x55};
    ASSERT_EQ(host7.dll.WriteEEPROM(mark7, 0x40, 1), 1);
    ASSERT_EQ(host5.dll.WriteEEPROM(mark5, 0x40, 1), 1);
    for (MessageLoopHost* host : {&host7, &host5}) {
        std::vector<std::uint8_t> written;
        EXPECT_TRUE(host->answered(0x05, written));
        host->forget();
        ASSERT_EQ(host->dll.ReadEEPROM(0x40, 1), 1);
    }
    std::vector<std::uint8_t> read7, read5;
    ASSERT_TRUE(host7.answered(0x06, read7));
    ASSERT_TRUE(host5.answered(0x06, read5));
    EXPECT_EQ(read7, (std::vector<std::uint8_t>{0x06, 0x40, 0x01, 0x77}));
    EXPECT_EQ(read5, (std::vector<std::uint8_t>{0x06, 0x40, 0x01, 0x55}));
}

// Ten seconds of the board's stream, through hidclass's buffer for the handle, the DLL's queue
// and one message per packet: none lost, none twice, in order.
TEST_F(DllStack, TheStreamArrivesWholeThroughAMessageLoop) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60", "--stamp"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    MessageLoopHost host("HBV7");
    ASSERT_TRUE(host.init());
    host.pump(milliseconds(1000));  // the search and the first reports
    host.forget();
    host.pump(milliseconds(10000));
    const std::vector<Packet> reports = host.reports();
    ASSERT_GT(reports.size(), 5000u) << "at the board's 1,000 a second";
    expectWholeStream(takenReports(reports));
    std::printf("%zu reports in 10 s\n", reports.size());
}

// Every command reaches the board as sent and its answer comes back as a packet: the EEPROM's
// bytes round trip, and the board counts the Write blocks it took in its reports.
TEST_F(DllStack, CommandsArriveAsSentAndTheirAnswersComeBack) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    MessageLoopHost host("HBV7");
    ASSERT_TRUE(host.init());
    std::vector<std::uint8_t> answer;
    ASSERT_EQ(host.dll.QueryVersion(), 1);
    ASSERT_TRUE(host.answered(0x0A, answer));
    EXPECT_EQ(answer, (std::vector<std::uint8_t>{0x0A, 0x03, 0x00}));

    std::array<std::uint8_t, 60> data;
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 ^ i);
    ASSERT_EQ(host.dll.WriteEEPROM(data.data(), 0x80, 60), 1);
    ASSERT_TRUE(host.answered(0x05, answer));
    EXPECT_EQ(answer, (std::vector<std::uint8_t>{0x05, 0x80, 60}));
    host.forget();
    ASSERT_EQ(host.dll.ReadEEPROM(0x80, 60), 1);
    ASSERT_TRUE(host.answered(0x06, answer));
    std::vector<std::uint8_t> expected{0x06, 0x80, 60};
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(answer, expected);

    ASSERT_EQ(host.dll.EnterBootloader(), 1);
    ASSERT_TRUE(host.answered(0x73, answer));
    EXPECT_EQ(answer, (std::vector<std::uint8_t>{0x73}));

    host.pump(milliseconds(200));
    const std::uint8_t blocksBefore = host.reports().back().bytes[16];
    std::array<std::uint8_t, 48> block{};
    ASSERT_EQ(host.dll.Write(block.data()), 1);
    host.forget();
    host.pump(milliseconds(5000), [&] {
        const auto reports = host.reports();
        return !reports.empty() && reports.back().bytes[16] != blocksBefore;
    });
    ASSERT_FALSE(host.reports().empty());
    EXPECT_EQ(host.reports().back().bytes[16], static_cast<std::uint8_t>(blocksBefore + 1));
}

// The node goes away under a pending read and comes back: the reader searches, opens the new
// node, and the packets go on, none twice.
TEST_F(DllStack, AfterAnUnplugAndAReplugThePacketsGoOn) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60", "--simulation",
                                 "unplug-after:1500", "--stamp"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    MessageLoopHost host("HBV7");
    ASSERT_TRUE(host.init());
    host.pump(milliseconds(6500));
    const std::vector<Packet> reports = host.reports();
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(judgeStream(takenReports(reports)).outOfOrder, 0);
    std::size_t afterGap = 0;
    bool gapSeen = false;
    for (std::size_t i = 1; i < reports.size(); ++i) {
        // The board's hand-over times tell its absence, whatever a loaded machine's backlog.
        if (handedOverSeconds(reports[i].bytes) - handedOverSeconds(reports[i - 1].bytes) > 1.0)
            gapSeen = true;
        afterGap += gapSeen;
    }
    EXPECT_TRUE(gapSeen) << "no absence seen";
    EXPECT_GT(afterGap, 100u) << "too few packets after the replug";
}

// A write that the board never takes: the command gives up after its 1000 ms, and the link
// reopens, so the stream goes on.
TEST_F(DllStack, ACommandTheBoardDoesNotTakeFailsAfterItsLimit) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60", "--no-writes"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    MessageLoopHost host("HBV7");
    ASSERT_TRUE(host.init());
    host.pump(milliseconds(500));
    const auto start = Clock::now();
    EXPECT_EQ(host.dll.QueryVersion(), 0);
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GT(took, 0.9);
    EXPECT_LT(took, 10.0);
    host.forget();
    host.pump(milliseconds(2000));
    EXPECT_GT(host.reports().size(), 200u) << "the link did not reopen";
}

// Done never waits for the board: with a read pending on a board that sends nothing, it returns
// at once (the goal is 10 ms; the bound leaves room for a loaded machine, far below the 1000 ms
// a read that was waited for would take).
TEST_F(DllStack, DoneReturnsAtOnceWhileAReadWaitsOnASilentBoard) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60", "--silent"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    MessageLoopHost host("HBV7");
    ASSERT_TRUE(host.init());
    host.pump(milliseconds(500));
    const auto start = Clock::now();
    host.dll.Done();
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    std::printf("Done took %lld ms\n", static_cast<long long>(took.count()));
    EXPECT_LT(took.count(), 500);
}

// hidclass gives every open handle its own copy of each report: a second host process, hbvtool
// with the same DLL, receives every report while this one does.
TEST_F(DllStack, TwoHostProcessesEachReceiveEveryReport) {
    BoardProgram board(kVboard, {"--model", "HBV7", "--seconds", "60", "--stamp"});
    ASSERT_TRUE(board.plugged()) << board.printed();
    MessageLoopHost host("HBV7");
    ASSERT_TRUE(host.init());
    host.pump(milliseconds(500));
    host.forget();
    ToolRun other;
    std::atomic<bool> otherEnded{false};
    std::thread otherHost([&] {
        other = runTool({"watch", "--count", "3000"}, {}, kDeliveredProgram);
        otherEnded = true;
    });
    host.pump(milliseconds(60000), [&] { return otherEnded.load(); });
    otherHost.join();
    host.pump(milliseconds(1000));
    ASSERT_EQ(other.exitCode, 0u) << other.err;
    const std::vector<PrintedPacket> theirs = patternReports(printedPackets(other.out));
    const std::vector<Packet> ours = host.reports();
    ASSERT_GT(theirs.size(), 2900u);
    ASSERT_GT(ours.size(), 2900u);
    expectWholeStream(takenReports(theirs));
    expectWholeStream(takenReports(ours));
    // The same reports: hbvtool's run lies within this host's.
    EXPECT_LE(counterOf(ours.front()), counterOf(theirs.front()));
    EXPECT_GE(counterOf(ours.back()), counterOf(theirs.back()));
}

}  // namespace
