// The commands that go through the board DLL: watch, version, the EEPROM, send, bootloader.
#include "tool_commands.h"

#include "board_dll.h"
#include "console.h"
#include "hex_text.h"
#include "recording_file.h"
#include "report_lines.h"
#include "text_format.h"
#include "texts.h"
#include "watch_loop.h"
#include "wide_text.h"

#include <io.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr UINT kPacketMessage = WM_APP + 1;
constexpr wchar_t kSessionWindowClass[] = L"hbvtool.session";
// How long a command waits for the packets that answer it.
constexpr milliseconds kAnswerWait{1000};
// send shows the first packets after the block, the board's immediate reaction, and the last
// ones of the second, its state once it has surely taken the block; it counts those between.
constexpr std::size_t kFirstPacketsShown = 10;
constexpr std::size_t kLastPacketsShown = 10;

using Packet = WatchPacket;

class Stopwatch {
  public:
    std::uint32_t elapsedMs() const {
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<milliseconds>(Clock::now() - start_).count());
    }

  private:
    Clock::time_point start_ = Clock::now();
};

// A window that only receives the library's messages: never shown, owns no console focus.
class MessageWindow {
  public:
    MessageWindow() {
        static const wchar_t kClassName[] = L"hbvtool.packets";
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        RegisterClassW(&windowClass);
        handle_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    }
    ~MessageWindow() {
        if (handle_) DestroyWindow(handle_);
    }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND handle() const { return handle_; }

    // Waits until the library posts, the stop event is set or the time is up; false on stop.
    // The posted messages only wake the waiter: the packets are taken from GetPacket.
    bool waitForPackets(milliseconds timeout, HANDLE stop) const {
        const DWORD waitMs = static_cast<DWORD>(std::max<milliseconds::rep>(timeout.count(), 0));
        const DWORD handles = stop ? 1 : 0;
        const DWORD woken = MsgWaitForMultipleObjects(handles, &stop, FALSE, waitMs,
                                                      QS_POSTMESSAGE | QS_SENDMESSAGE);
        if (handles && woken == WAIT_OBJECT_0) return false;
        MSG message;
        while (PeekMessageW(&message, handle_, 0, 0, PM_REMOVE)) {
        }
        return true;
    }

  private:
    HWND handle_ = nullptr;
};

// Made once and never closed: a console handler may run on its own thread at any time, also
// after the watch has ended.
HANDLE watchStopEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

WatchStop& watchStop() {
    static WatchStop* const stop = new WatchStop([] { SetEvent(watchStopEvent()); });
    return *stop;
}

// Windows ends the process this long after the close event's handler was called.
constexpr milliseconds kCloseAllowance{5000};
constexpr milliseconds kCloseMargin{500};

// Ctrl+C and Ctrl+Break end the watch through Done, not the process. On the console's close,
// log-off or shut-down Windows ends the process once the handler returns, so the handler waits
// until the watch has called Done and closed its recording.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        watchStop().request();
    } else {
        watchStop().requestAndWaitForEnd(kCloseAllowance - kCloseMargin);
    }
    return TRUE;
}

// A program with windows hears of log-off and shut-down through its top-level windows, not
// through the console handler: this hidden one runs endNow before it lets the session end.
// Sent messages reach it whenever the watch looks at its message queue.
class SessionEndWindow {
  public:
    explicit SessionEndWindow(std::function<void()> endNow) : endNow_(std::move(endNow)) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kSessionWindowClass;
        RegisterClassW(&windowClass);
        handle_ = CreateWindowExW(0, kSessionWindowClass, L"hbvtool", WS_OVERLAPPED, 0, 0, 0, 0,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
        if (handle_) SetWindowLongPtrW(handle_, GWLP_USERDATA, LONG_PTR(&endNow_));
    }
    ~SessionEndWindow() {
        if (handle_) DestroyWindow(handle_);
    }
    SessionEndWindow(const SessionEndWindow&) = delete;
    SessionEndWindow& operator=(const SessionEndWindow&) = delete;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_QUERYENDSESSION) return TRUE;
        if (message == WM_ENDSESSION && wParam) {
            const auto* endNow =
                reinterpret_cast<std::function<void()>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            if (endNow) (*endNow)();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    std::function<void()> endNow_;
    HWND handle_ = nullptr;
};

class ConsoleEventsStopTheWatch {
  public:
    ConsoleEventsStopTheWatch() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }
    ~ConsoleEventsStopTheWatch() { SetConsoleCtrlHandler(onConsoleEvent, FALSE); }
    ConsoleEventsStopTheWatch(const ConsoleEventsStopTheWatch&) = delete;
    ConsoleEventsStopTheWatch& operator=(const ConsoleEventsStopTheWatch&) = delete;
};

bool takeQueuedPacket(const BoardDll& dll, Packet& packet) {
    const std::int32_t count = dll.exports().GetPacket(packet.bytes);
    packet.count = static_cast<std::size_t>(std::clamp<std::int32_t>(count, 0, kReportDataSize));
    return count > 0;
}

void dropQueuedPackets(const BoardDll& dll) {
    Packet packet;
    while (takeQueuedPacket(dll, packet)) {
    }
}

// Hands each packet arriving within the wait to onPacket until it returns false.
void receivePackets(const BoardDll& dll, const MessageWindow& window, milliseconds wait,
                    const std::function<bool(const Packet&)>& onPacket) {
    const Clock::time_point end = Clock::now() + wait;
    Packet packet;
    do {
        while (takeQueuedPacket(dll, packet)) {
            if (!onPacket(packet)) return;
        }
    } while (Clock::now() < end &&
             window.waitForPackets(std::chrono::duration_cast<milliseconds>(end - Clock::now()),
                                   nullptr));
}

ExitStatus boardNotFound() {
    printErrorLine(texts::kBoardNotFound);
    return kFailed;
}

ExitStatus failure(const std::string& reason) {
    printErrorLine(reason);
    return kFailed;
}

void printLibrary(const BoardDll& dll) {
    const unsigned dllVersion = dll.exports().GetDllVersion();
    std::uint16_t driverVersion = 0;
    dll.exports().GetDrvVersion(&driverVersion);
    printLine(formatText(texts::kLibrary, narrow(dll.path()).c_str(), dll.model().name,
                         dllVersion >> 8, dllVersion & 0xFF, driverVersion >> 8u,
                         driverVersion & 0xFFu));
}

// The recording's files through the wide API, since its path may hold any character.
class WindowsDisk : public RecordingDisk {
  public:
    std::FILE* open(const std::string& path, const char* mode) override {
        return _wfopen(widen(path).c_str(), widen(mode).c_str());
    }
    // _commit is FlushFileBuffers on the descriptor's handle.
    bool flushToDisk(std::FILE* file) override { return _commit(_fileno(file)) == 0; }
    // Write-through: the old recording is gone only once the new one's name is on the disk.
    bool replace(const std::string& from, const std::string& to) override {
        return MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    void remove(const std::string& path) override { DeleteFileW(widen(path).c_str()); }
};

std::size_t charactersIn(const std::string& utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

class DllWatchSource : public WatchSource {
  public:
    DllWatchSource(const BoardDll& dll, const MessageWindow& window) : dll_(dll), window_(window) {}
    bool takePacket(WatchPacket& packet) override {
        // Lets a log-off reach the session window also while packets keep the watch busy.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        return takeQueuedPacket(dll_, packet);
    }
    void waitForPackets(milliseconds most) override {
        window_.waitForPackets(most, watchStopEvent());
    }

  private:
    const BoardDll& dll_;
    const MessageWindow& window_;
};

// Every packet to the recording; on the console a view updated in place, otherwise (or with
// --all) a line per packet and the rate every second.
class WatchConsole : public WatchOutput {
  public:
    WatchConsole(bool everyPacket, RecordingFile& recording)
        : everyPacket_(everyPacket), recording_(recording) {}

    void packet(std::uint32_t milliseconds, const WatchPacket& packet) override {
        recording_.add(milliseconds, packet);
        if (everyPacket_) printLine(packetLine(milliseconds, packet.bytes, packet.count));
    }
    void tick(const WatchStatus& status) override {
        if (status.secondEnded) recording_.flush();
        if (!everyPacket_) {
            view_.show(statusLines(status));
        } else if (status.secondEnded) {
            printLine(formatText(texts::kRate, status.lastSecond, status.total));
        }
    }

  private:
    static std::vector<std::string> statusLines(const WatchStatus& status) {
        constexpr std::size_t kBytesPerLine = kReportDataSize / 2;
        const WatchPacket& latest = status.latest;
        const std::size_t firstPart = std::min(latest.count, kBytesPerLine);
        std::vector<std::string> lines = {
            texts::kLatestPacket + toHex(latest.bytes, firstPart),
            std::string(charactersIn(texts::kLatestPacket), ' ') +
                toHex(latest.bytes + firstPart, latest.count - firstPart),
        };
        if (!status.sinceLastMs) {
            lines.push_back(formatText(texts::kNoPacketYet, status.elapsedMs / 1000));
        } else {
            lines.push_back(formatText(texts::kWatchStatus, status.lastSecond, status.total,
                                       *status.sinceLastMs / 1000, *status.sinceLastMs % 1000));
        }
        return lines;
    }

    const bool everyPacket_;
    RecordingFile& recording_;
    ConsoleStatusView view_;
};

ExitStatus watch(BoardDll& dll, const MessageWindow& window, const WatchLimits& limits) {
    WindowsDisk disk;
    RecordingFile recording(disk);
    if (!limits.recordPath.empty() && !recording.begin(limits.recordPath)) {
        return failure(texts::kRecordNotOpened + limits.recordPath);
    }
    const WatchClock::time_point start = WatchClock::now();  // the recording's time: before Init
    if (!dll.start(window.handle(), kPacketMessage)) return failure(texts::kInitFailed);
    if (!dll.exports().QueryVersion()) return boardNotFound();
    const bool everyPacket = limits.everyPacket || !outputIsConsole();
    printLine(everyPacket ? texts::kWatching : texts::kWatchingLive);
    const ConsoleEventsStopTheWatch consoleEvents;
    const SessionEndWindow sessionEnd([&dll, &recording] {
        watchStop().request();
        dll.stop();
        recording.close();
    });
    DllWatchSource source(dll, window);
    WatchConsole console(everyPacket, recording);
    const WatchTotals totals = runWatch(source, console, limits, watchStop(), start);
    dll.stop();
    // Also when the session's end has closed it already: its result is the one kept then.
    const RecordingFile::Result recorded = recording.close();
    watchStop().ended();
    printLine(formatText(texts::kWatchEnded, totals.packets, totals.elapsedMs / 1000,
                         totals.elapsedMs % 1000));
    if (limits.recordPath.empty()) return kSucceeded;
    switch (recorded) {
        case RecordingFile::Result::Failed:
            return failure(texts::kRecordNotWritten + limits.recordPath);
        case RecordingFile::Result::NothingRecorded:
            printLine(formatText(texts::kNothingRecorded, limits.recordPath.c_str()));
            break;
        case RecordingFile::Result::Written:
            printLine(formatText(texts::kRecorded, limits.recordPath.c_str()));
            break;
    }
    return kSucceeded;
}

// Shows the packet that answers a command (its first byte is the command's code) and counts
// the board's other packets meanwhile.
void showAnswer(const BoardDll& dll, const MessageWindow& window, std::uint8_t answerCode) {
    bool answered = false;
    unsigned others = 0;
    receivePackets(dll, window, kAnswerWait, [&](const Packet& packet) {
        answered = packet.bytes[0] == answerCode;
        if (answered) printLine(texts::kAnswer + toHex(packet.bytes, packet.count));
        others += answered ? 0 : 1;
        return !answered;
    });
    if (!answered) printLine(formatText(texts::kNoAnswer, unsigned(kAnswerWait.count())));
    if (others > 0) printLine(formatText(texts::kOtherPackets, others));
}

// A command with a code the board answers with: taken or not, then its answer.
ExitStatus sendCommand(const BoardDll& dll, const MessageWindow& window, const Command& command) {
    const BoardExports& board = dll.exports();
    dropQueuedPackets(dll);
    std::uint8_t taken = 0;
    std::uint8_t code = 0;
    switch (command.action) {
        case Action::Version:
            printLibrary(dll);
            taken = board.QueryVersion();
            code = CmdQueryVersion;
            break;
        case Action::EepromRead:
            taken = board.ReadEEPROM(command.address, command.count);
            code = CmdEepromRead;
            break;
        case Action::EepromWrite:
            taken = board.WriteEEPROM(command.bytes.data(), command.address,
                                      static_cast<std::uint8_t>(command.bytes.size()));
            code = CmdEepromWrite;
            break;
        default:
            taken = board.EnterBootloader();
            code = CmdEnterBootloader;
            break;
    }
    // The library does not say why a report was not taken; a second probe tells an absent
    // board from one that refused.
    if (!taken) return board.QueryVersion() ? failure(texts::kNotTaken) : boardNotFound();
    printLine(texts::kTaken);
    showAnswer(dll, window, code);
    return kSucceeded;
}

// Write only stores the block, board or not: the version query first tells whether a board is
// there at all.
ExitStatus sendBlock(const BoardDll& dll, const MessageWindow& window,
                     const std::vector<std::uint8_t>& block) {
    if (!dll.exports().QueryVersion()) return boardNotFound();
    dropQueuedPackets(dll);
    if (!dll.exports().Write(block.data())) return failure(texts::kNotTaken);
    printLine(formatText(texts::kStored, toHex(block.data(), block.size()).c_str()));
    const Stopwatch sinceWrite;
    std::size_t received = 0;
    std::deque<std::string> lastLines;  // of the packets after the first ones
    receivePackets(dll, window, kAnswerWait, [&](const Packet& packet) {
        std::string line = packetLine(sinceWrite.elapsedMs(), packet.bytes, packet.count);
        if (++received <= kFirstPacketsShown) {
            printLine(line);
        } else {
            lastLines.push_back(std::move(line));
            if (lastLines.size() > kLastPacketsShown) lastLines.pop_front();
        }
        return true;
    });
    const std::size_t between =
        received - std::min(received, kFirstPacketsShown) - lastLines.size();
    if (between > 0) printLine(formatText(texts::kMorePackets, unsigned(between)));
    for (const std::string& line : lastLines) printLine(line);
    return kSucceeded;
}

}  // namespace

ExitStatus runBoardCommand(const Command& command) {
    // Made first so that it outlives the library's use of it: the DLL's Done comes first.
    const MessageWindow window;
    if (!window.handle()) return failure(texts::kWindowFailed);
    std::string error;
    const std::unique_ptr<BoardDll> dll = BoardDll::load(command.dllPath, error);
    if (!dll) return failure(error);
    std::vector<std::uint8_t> block;
    if (command.action == Action::Send &&
        !writeBlock(command.bytes, dll->model().name, dll->model().writeBlockSize, block, error)) {
        printErrorLine(error);
        return kUsageError;
    }
    if (command.action == Action::Watch) return watch(*dll, window, command.watch);
    if (!dll->start(window.handle(), kPacketMessage)) return failure(texts::kInitFailed);
    if (command.action == Action::Send) return sendBlock(*dll, window, block);
    return sendCommand(*dll, window, command);
}

VersionAnswer queryBoardVersion(const std::string& dllPath) {
    const MessageWindow window;  // outlives the library's use of it
    VersionAnswer answer;
    std::string error;
    const std::unique_ptr<BoardDll> dll = BoardDll::load(dllPath, error);
    if (!window.handle() || !dll || !dll->start(window.handle(), kPacketMessage)) return answer;
    dropQueuedPackets(*dll);
    answer.taken = dll->exports().QueryVersion() != 0;
    if (!answer.taken) return answer;
    receivePackets(*dll, window, kAnswerWait, [&answer](const Packet& packet) {
        if (packet.bytes[0] != CmdQueryVersion) return true;
        answer.bytes = toHex(packet.bytes, packet.count);
        return false;
    });
    return answer;
}
