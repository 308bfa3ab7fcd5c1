// The real hbvtool.exe started as a technician would, with its output and exit status read
// back: against Wine's own HID devices, the real DLLs (no board here) and the simulated DLLs.
#include "hex_text.h"
#include "recording.h"
#include "texts.h"
#include "tool_run.h"
#include "wide_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- Command line and the system's HID list ----

TEST(HbvtoolUsage, RefusesBadInputWithStatus2AndOneLine) {
    const std::string hbv5 = kSimulatedDlls + "HBV5.dll";
    for (const Arguments& arguments :
         {Arguments{}, Arguments{"eeprom-read", "300", "1"}, Arguments{"send", "ABC"},
          Arguments{"eeprom-write", "1", "AA"}, Arguments{"bootloader"},
          Arguments{"--dll", hbv5, "send", std::string(50, '7')},
          Arguments{"check", "--folder", "Z:\\no\\such\\folder"}}) {
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.exitCode, 2u) << run.err;
        EXPECT_EQ(linesOf(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("hbvtool: ", 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(HbvtoolUsage, HelpListsTheCommands) {
    const ToolRun run = runTool({"--help"});
    EXPECT_EQ(run.exitCode, 0u);
    for (const char* command : {"list", "check", "watch", "version", "eeprom-read", "eeprom-write",
                                "send", "bootloader", "Команды"}) {
        EXPECT_TRUE(contains(run.out, command)) << command;
    }
}

TEST(HbvtoolList, ShowsWinesOwnInterfacesAndNoBoard) {
    const ToolRun run = runTool({"list"});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(contains(run.out, "0x845E:0x0001  \\\\?\\hid#vid_845e&pid_0001")) << run.out;
    EXPECT_TRUE(contains(run.out, "0x845E:0x0002")) << run.out;
    EXPECT_TRUE(contains(run.out, texts::kNoBoardListed)) << run.out;
    EXPECT_FALSE(contains(run.out, "← плата")) << "a board marked: " << run.out;
    EXPECT_TRUE(contains(run.err, texts::kBoardNotFound)) << run.err;
}

// The setup reads this output: Wine's own devices are no boards, and no text may surround the
// (here empty) list of models.
TEST(HbvtoolBoards, PrintsNothingAndSucceedsWithoutABoard) {
    const ToolRun run = runTool({"boards"});
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
}

// ---- The real DLLs: no board here ----

TEST(HbvtoolRealDll, WatchReportsNoBoardWithinSeconds) {
    for (const char* model : {"HBV7.dll", "HBV5.dll"}) {
        const ToolRun run = runTool({"watch", "--dll", kSystemDlls + model});
        EXPECT_EQ(run.exitCode, 1u) << model;
        EXPECT_EQ(run.err, std::string("hbvtool: ") + texts::kBoardNotFound + "\r\n") << model;
        EXPECT_LT(run.seconds, 10.0) << model;
    }
}

// A second watch of the same name that finds no board: the drive recorded earlier must stay.
TEST(HbvtoolRealDll, WatchWithoutABoardKeepsAnEarlierRecording) {
    const std::string recording = temporaryFile("hbvtool-kept-recording.txt");
    const std::filesystem::path path(widen(recording));
    const std::string earlier = "# a drive recorded earlier\n2 0A0300\n";
    std::ofstream(path, std::ios::binary) << earlier;
    const ToolRun run =
        runTool({"watch", "--record", recording, "--dll", kSystemDlls + "HBV7.dll"});
    EXPECT_EQ(run.exitCode, 1u) << run.out;
    EXPECT_TRUE(contains(run.err, texts::kBoardNotFound)) << run.err;
    std::ifstream file(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), earlier);
    file.close();
    EXPECT_FALSE(std::filesystem::exists(path.native() + L".new")) << "temporary file left";
    std::filesystem::remove(path);
}

TEST(HbvtoolRealDll, TakesTheDllBesideTheProgram) {
    const ToolRun run = runTool({"version"}, {}, kDeliveredProgram);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(contains(run.out, "HBV7.dll")) << run.out;
    EXPECT_TRUE(contains(run.err, texts::kBoardNotFound)) << run.err;
}

TEST(HbvtoolRealDll, ReportsADllThatDoesNotLoad) {
    const ToolRun run = runTool({"version", "--dll", kSystemDlls + "missing.dll"});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(contains(run.err, "missing.dll")) << run.err;
}

// ---- The simulated DLLs ----

class HbvtoolSimulated : public ::testing::TestWithParam<const char*> {
  protected:
    std::string dll() const { return kSimulatedDlls + GetParam() + ".dll"; }
};

TEST_P(HbvtoolSimulated, WatchShowsConsecutiveReportsAtTheBoardsRate) {
    const ToolRun run = runTool({"watch", "--count", "600", "--dll", dll()});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const std::vector<PrintedPacket> packets = printedPackets(run.out);
    EXPECT_EQ(packets.size(), 600u);
    const std::vector<PrintedPacket> reports = patternReports(packets);
    ASSERT_GE(reports.size(), 550u);
    for (std::size_t i = 1; i < reports.size(); ++i) {
        ASSERT_EQ(counterOf(reports[i]), counterOf(reports[i - 1]) + 1) << "report " << i;
    }
    // The rate over the second half: the times are those of taking, and the reports that the
    // reader queued while the tool was still starting (long on a slow machine) come all at once.
    const PrintedPacket& first = reports[reports.size() / 2];
    const unsigned span = reports.back().milliseconds - first.milliseconds;
    const double perSecond =
        (reports.size() - 1 - reports.size() / 2) * 1000.0 / std::max(span, 1u);
    EXPECT_GT(perSecond, 400.0);
    EXPECT_LT(perSecond, 2500.0);
}

TEST_P(HbvtoolSimulated, WatchPrintsTheRateEverySecond) {
    const ToolRun run = runTool({"watch", "--seconds", "2", "--dll", dll()});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    // The rate line's words up to its first number (msvcrt's sscanf does not match UTF-8).
    const std::string rateLine = texts::kRate;
    const std::string ratePrefix = rateLine.substr(0, rateLine.find('%'));
    std::vector<unsigned long> rates;
    for (const std::string& line : linesOf(run.out)) {
        if (line.rfind(ratePrefix, 0) == 0) {
            rates.push_back(std::stoul(line.substr(ratePrefix.size())));
        }
    }
    ASSERT_GE(rates.size(), 1u) << run.out.substr(run.out.size() - 300);
    EXPECT_GT(rates.front(), 400ul);
    EXPECT_LT(rates.front(), 2500ul);
    EXPECT_LT(run.seconds, 30.0);
}

TEST_P(HbvtoolSimulated, ReplayOfARecordingGivesTheSameBytes) {
    const std::string recording = temporaryFile("hbvtool-recording.txt");
    std::ofstream(std::filesystem::path(widen(recording))) << "# an earlier recording\n";
    const ToolRun recorded =
        runTool({"watch", "--count", "200", "--record", recording, "--dll", dll()});
    ASSERT_EQ(recorded.exitCode, 0u) << recorded.err;
    EXPECT_FALSE(std::filesystem::exists(widen(recording) + L".new")) << "temporary file left";
    std::ifstream file(std::filesystem::path(widen(recording)));
    std::vector<RecordedReport> reports;
    RecordingError error;
    ASSERT_TRUE(
        readRecording(std::string(std::istreambuf_iterator<char>(file), {}), reports, error))
        << error.line << ": " << error.reason;
    EXPECT_EQ(reports.size(), 200u);

    const ToolRun replayed = runTool({"watch", "--count", "200", "--dll", dll()}, recording);
    ASSERT_EQ(replayed.exitCode, 0u) << replayed.err;
    const std::vector<PrintedPacket> first = patternReports(printedPackets(recorded.out));
    const std::vector<PrintedPacket> again = patternReports(printedPackets(replayed.out));
    ASSERT_GE(again.size(), 150u);
    for (std::size_t i = 0; i < 150; ++i) {
        ASSERT_EQ(toHex(again[i].bytes.data(), again[i].bytes.size()),
                  toHex(first[i].bytes.data(), first[i].bytes.size()))
            << "report " << i;
    }
    DeleteFileW(widen(recording).c_str());
}

TEST_P(HbvtoolSimulated, VersionIsAnswered) {
    const ToolRun run = runTool({"version", "--dll", dll()});
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_TRUE(contains(run.out, std::string("модель ") + GetParam())) << run.out;
    EXPECT_TRUE(contains(run.out, texts::kTaken)) << run.out;
    EXPECT_TRUE(contains(run.out, std::string(texts::kAnswer) + "0A0300\r\n")) << run.out;
}

// The simulated EEPROM keeps its bytes from one run to the next, as the board's does.
TEST_P(HbvtoolSimulated, EepromWriteThenReadGivesTheBytesBack) {
    const ToolRun written = runTool({"eeprom-write", "0x10", "A1B2C3", "--yes", "--dll", dll()});
    EXPECT_EQ(written.exitCode, 0u) << written.err;
    EXPECT_TRUE(contains(written.out, std::string(texts::kAnswer) + "051003\r\n")) << written.out;

    const ToolRun read = runTool({"eeprom-read", "16", "3", "--dll", dll()});
    EXPECT_EQ(read.exitCode, 0u) << read.err;
    EXPECT_TRUE(contains(read.out, std::string(texts::kAnswer) + "061003A1B2C3\r\n")) << read.out;
}

TEST_P(HbvtoolSimulated, SentBlockReachesTheBoard) {
    const ToolRun run = runTool({"send", "0102", "--dll", dll()});
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    // Byte 16 of the simulated board's reports counts the blocks it took: the last packets of
    // the second show it, however many reports were on their way when the block was handed over.
    bool taken = false;
    for (const PrintedPacket& report : patternReports(printedPackets(run.out))) {
        taken |= report.bytes.size() > 16 && report.bytes[16] == 1;
    }
    EXPECT_TRUE(taken) << run.out;
}

INSTANTIATE_TEST_SUITE_P(BothModels, HbvtoolSimulated, ::testing::Values("HBV7", "HBV5"));

HWND sessionWindowOf(DWORD processId) {
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, L"hbvtool.session", nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

// A child's output, read all along so that the child never waits on a full pipe.
class OutputDrain {
  public:
    explicit OutputDrain(HANDLE pipe)
        : thread_([this, pipe] {
              char buffer[4096];
              while (!stop_) {
                  DWORD available = 0, got = 0;
                  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return;
                  if (available == 0) {
                      Sleep(5);
                  } else if (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) {
                      const std::lock_guard<std::mutex> guard(lock_);
                      text_.append(buffer, got);
                  }
              }
          }) {}
    ~OutputDrain() {
        stop_ = true;
        thread_.join();
    }
    OutputDrain(const OutputDrain&) = delete;
    OutputDrain& operator=(const OutputDrain&) = delete;

    std::string text() const {
        const std::lock_guard<std::mutex> guard(lock_);
        return text_;
    }

  private:
    mutable std::mutex lock_;
    std::string text_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Log-off and shut-down: Windows sends WM_ENDSESSION to the program's top-level windows and
// may end the program as soon as that returns, so by then the recording must be closed and
// whole.
TEST(HbvtoolRecording, SessionEndClosesTheRecordingBeforeItLetsGo) {
    const std::string recording = temporaryFile("hbvtool-session-end.txt");
    std::wstring commandLine = L"\"" + widen(kProgram) + L"\" watch --all --record \"" +
                               widen(recording) + L"\" --dll \"" +
                               widen(kSimulatedDlls + "HBV7.dll") + L"\"";
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead, outWrite;
    ASSERT_TRUE(CreatePipe(&outRead, &outWrite, &inherited, 0));
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = outWrite;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                               nullptr, &startup, &process));
    CloseHandle(outWrite);
    std::size_t shown = 0;
    {
        const OutputDrain output(outRead);
        HWND window = nullptr;
        // A few hundred packets shown, most of them not yet flushed by the second's flush: a
        // packet is recorded before it is shown. However slow the machine, the count decides.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while ((!window || shown < 200) && std::chrono::steady_clock::now() < deadline) {
            Sleep(20);
            if (!window) window = sessionWindowOf(process.dwProcessId);
            shown = printedPackets(output.text()).size();
        }
        EXPECT_NE(window, nullptr) << "no session window";
        EXPECT_GE(shown, 200u) << "the watch showed too few packets in 60 s";
        DWORD_PTR answer = 0;
        EXPECT_TRUE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                        SMTO_BLOCK, 5000, &answer));
        EXPECT_TRUE(SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK,
                                        5000, &answer));
        TerminateProcess(process.hProcess, 1);  // as Windows may, at once
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(outRead);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);

    std::ifstream file(std::filesystem::path(widen(recording)), std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(file), {});
    file.close();
    std::vector<RecordedReport> reports;
    RecordingError error;
    RecordingError cut;
    EXPECT_TRUE(readRecording(text, reports, error, &cut)) << error.line << ": " << error.reason;
    EXPECT_EQ(cut.line, 0u) << cut.reason;
    EXPECT_GE(reports.size(), shown) << "a packet shown before the session's end is missing";
    DeleteFileW(widen(recording).c_str());
}

// A recording cut off mid-line, as an abrupt end leaves it, still replays.
TEST(HbvtoolRecording, ReplaysARecordingCutMidLine) {
    const std::string recording = temporaryFile("hbvtool-cut-recording.txt");
    const std::string dll = kSimulatedDlls + "HBV7.dll";
    ASSERT_EQ(runTool({"watch", "--count", "20", "--record", recording, "--dll", dll}).exitCode,
              0u);
    const std::filesystem::path path(widen(recording));
    const auto size = std::filesystem::file_size(path);
    std::filesystem::resize_file(path, size - 30);  // the last line, without its line end

    // A refused recording leaves the simulated board absent: status 1, "board not found".
    const ToolRun replayed = runTool({"watch", "--count", "40", "--dll", dll}, recording);
    EXPECT_EQ(replayed.exitCode, 0u) << replayed.err;
    EXPECT_GE(patternReports(printedPackets(replayed.out)).size(), 30u) << replayed.out;
    DeleteFileW(path.c_str());
}

}  // namespace
