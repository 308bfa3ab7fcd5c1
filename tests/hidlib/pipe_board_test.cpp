// The Windows transfer code over real Windows handles. The board is not here; its stand-in is a
// named pipe in message mode: the library gets the pipe's server end, opened for overlapped
// I/O, as the board's handle, where a read pends until the other end writes a 65-byte message,
// CancelIo ends it, and closing the other end makes transfers fail. The client end plays the
// board. Through it run the device alone, the link, and a whole channel with its reader thread,
// queue and a real window's message loop.
#include "commands.h"
#include "hid_test_support.h"
#include "usb_channel.h"
#include "win32_hid_device.h"
#include "window_notifier.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A limit no transfer in these tests should reach unless something is broken.
constexpr unsigned kLongTimeoutMs = 10000;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// Report number `sequence`: its number in data bytes 0 and 1, a pattern of it in the rest, and
// the count byte 62, so a torn or shifted report never passes for a whole one.
Report numberedReport(int sequence) {
    Report report{};
    report[1] = static_cast<std::uint8_t>(sequence);
    report[2] = static_cast<std::uint8_t>(sequence >> 8);
    for (std::size_t i = 3; i < kReportSize - 1; ++i) {
        report[i] = static_cast<std::uint8_t>(sequence * 7 + i);
    }
    report[kReportSize - 1] = 62;
    return report;
}

int sequenceOf(const std::uint8_t* data) { return data[0] | data[1] << 8; }

bool isWhole(const std::uint8_t* data, int sequence) {
    const Report expected = numberedReport(sequence);
    return std::equal(data, data + kReportDataSize, expected.begin() + 1);
}

// The board's side of one pipe. writeBuffer is how many bytes of the library's writes the pipe
// holds before a write pends until the board reads: 0 makes every write wait for the board.
class PipeBoard {
  public:
    explicit PipeBoard(DWORD writeBuffer = 4096) {
        static std::atomic<int> pipes{0};
        const std::string name = "\\\\.\\pipe\\hbv-board-" + std::to_string(GetCurrentProcessId()) +
                                 "-" + std::to_string(pipes++);
        libraryEnd = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                      writeBuffer, 4096, 0, nullptr);
        boardEnd = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    }
    ~PipeBoard() {
        unplug();
        if (libraryEnd != INVALID_HANDLE_VALUE) CloseHandle(libraryEnd);
    }
    PipeBoard(const PipeBoard&) = delete;
    PipeBoard& operator=(const PipeBoard&) = delete;

    // The board's end opens only when the library's end was made.
    bool connected() const { return boardEnd != INVALID_HANDLE_VALUE; }
    // The end the library opens as the board; the caller closes it.
    HANDLE takeLibraryEnd() { return std::exchange(libraryEnd, INVALID_HANDLE_VALUE); }

    bool send(const Report& report) { return sendBytes(report.data(), kReportSize); }
    bool sendBytes(const std::uint8_t* bytes, DWORD size) {
        DWORD written = 0;
        return WriteFile(boardEnd, bytes, size, &written, nullptr) && written == size;
    }
    // The next report the library wrote, if one arrives within the limit.
    bool receive(Report& report, milliseconds limit = milliseconds(kLongTimeoutMs)) {
        const auto end = Clock::now() + limit;
        DWORD waiting = 0;
        while (PeekNamedPipe(boardEnd, nullptr, 0, nullptr, &waiting, nullptr) && waiting == 0) {
            if (Clock::now() > end) return false;
            Sleep(1);
        }
        DWORD read = 0;
        return ReadFile(boardEnd, report.data(), kReportSize, &read, nullptr) &&
               read == kReportSize;
    }
    // The board goes away: its end of the pipe closes.
    void unplug() {
        if (boardEnd != INVALID_HANDLE_VALUE)
            CloseHandle(std::exchange(boardEnd, INVALID_HANDLE_VALUE));
    }

  private:
    HANDLE libraryEnd = INVALID_HANDLE_VALUE;
    HANDLE boardEnd = INVALID_HANDLE_VALUE;
};

// The system's HID list with the pipe board as its one interface, carrying a model's ids. Each
// search plugs in a fresh pipe, as a reopened device gets a fresh handle.
class PipeBackend : public HidBackend {
  public:
    explicit PipeBackend(const BoardVariant& model, DWORD writeBuffer = 4096)
        : model(model), writeBuffer(writeBuffer) {}

    std::unique_ptr<HidInterfaceList> listPresentInterfaces() override {
        std::lock_guard<std::mutex> guard(lock);
        ++searches;
        return std::make_unique<List>(*this);
    }

    // The board of the latest search, once there is one.
    PipeBoard* waitForBoard(milliseconds limit = milliseconds(kLongTimeoutMs)) {
        std::unique_lock<std::mutex> guard(lock);
        if (!plugged.wait_for(guard, limit, [&] { return !boards.empty(); })) return nullptr;
        return boards.back().get();
    }
    int searchCount() {
        std::lock_guard<std::mutex> guard(lock);
        return searches;
    }

  private:
    class List : public HidInterfaceList {
      public:
        explicit List(PipeBackend& backend) : backend(backend) {}
        bool openInterface(std::size_t index, HidInterface& opened) override {
            if (index > 0) return false;
            backend.plugIn(opened);
            return true;
        }

      private:
        PipeBackend& backend;
    };

    void plugIn(HidInterface& opened) {
        auto board = std::make_unique<PipeBoard>(writeBuffer);
        if (!board->connected()) return;
        opened.device = std::make_unique<Win32HidDevice>(board->takeLibraryEnd());
        opened.vendorId = model.vendorId;
        opened.productId = model.productId;
        std::lock_guard<std::mutex> guard(lock);
        boards.push_back(std::move(board));
        plugged.notify_all();
    }

    const BoardVariant& model;
    const DWORD writeBuffer;
    std::mutex lock;
    std::condition_variable plugged;
    std::vector<std::unique_ptr<PipeBoard>> boards;  // every board ever plugged in, kept to the end
    int searches = 0;
};

// ---- The device alone: reads.

class PipeDevice : public ::testing::Test {
  protected:
    PipeBoard board;
    Win32HidDevice device{board.takeLibraryEnd()};
    StopSignal noStop;
    Report report{};

    void SetUp() override { ASSERT_TRUE(board.connected()); }
};

TEST_F(PipeDevice, AReadCompletesAtOnceWithAReportAlreadySentAndPendsForTheNext) {
    ASSERT_TRUE(board.send(numberedReport(1)));
    ASSERT_EQ(device.read(report, kLongTimeoutMs, noStop), TransferResult::Completed);
    EXPECT_TRUE(isWhole(&report[1], 1));

    const auto start = Clock::now();
    std::thread later([&] {
        Sleep(100);
        board.send(numberedReport(2));
    });
    EXPECT_EQ(device.read(report, kLongTimeoutMs, noStop), TransferResult::Completed);
    later.join();
    EXPECT_GE(millisecondsSince(start), 90) << "the read waited for the report";
    EXPECT_TRUE(isWhole(&report[1], 2));
}

TEST_F(PipeDevice, ATimedOutReadIsCancelledAndTheNextReadWorksAtOnce) {
    EXPECT_EQ(device.read(report, 100, noStop), TransferResult::TimedOut);
    // The cancelled read took nothing: a report sent now goes to the next read, whole.
    ASSERT_TRUE(board.send(numberedReport(3)));
    ASSERT_EQ(device.read(report, kLongTimeoutMs, noStop), TransferResult::Completed);
    EXPECT_TRUE(isWhole(&report[1], 3));
}

// Reports arrive about as often as reads time out, so some arrive while a read is being
// cancelled. Each read either completes with a whole report or times out; every report is read
// exactly once, in order, whatever the timing.
TEST_F(PipeDevice, AReportArrivingDuringTheCancelIsReadOnceAndWhole) {
    constexpr int kReports = 300;
    std::thread sender([&] {
        for (int i = 0; i < kReports; ++i) {
            Sleep(i % 4);
            board.send(numberedReport(i));
        }
    });
    int timedOut = 0;
    int next = 0;
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (next < kReports && Clock::now() < end) {
        const TransferResult result = device.read(report, 2, noStop);
        if (result == TransferResult::TimedOut) {
            ++timedOut;
            continue;
        }
        ASSERT_EQ(result, TransferResult::Completed);
        ASSERT_EQ(sequenceOf(&report[1]), next) << "lost, repeated or reordered";
        ASSERT_TRUE(isWhole(&report[1], next)) << "report " << next << " corrupted";
        ++next;
    }
    sender.join();
    EXPECT_EQ(next, kReports);
    std::printf("%d reports read whole and in order; %d reads timed out and were cancelled\n", next,
                timedOut);
}

TEST_F(PipeDevice, AStopRequestEndsAWaitingReadAndNoTransferStartsAfterIt) {
    StopSignal stop;
    std::thread stopper([&] {
        Sleep(100);
        stop.request();
    });
    const auto start = Clock::now();
    EXPECT_EQ(device.read(report, kLongTimeoutMs, stop), TransferResult::Stopped);
    const long long took = millisecondsSince(start);
    stopper.join();
    EXPECT_LT(took, 2000) << "ended by the stop, not by the time limit";

    ASSERT_TRUE(board.send(numberedReport(4)));
    EXPECT_EQ(device.read(report, kLongTimeoutMs, stop), TransferResult::Stopped);
    EXPECT_EQ(device.write(numberedReport(5), kLongTimeoutMs, stop), TransferResult::Stopped);
    // The stopped read took nothing either.
    ASSERT_EQ(device.read(report, kLongTimeoutMs, noStop), TransferResult::Completed);
    EXPECT_TRUE(isWhole(&report[1], 4));
}

// What a read yields for what the board does while it waits. The previous report's bytes are
// still in the device's buffer: a read that brings fewer bytes must not pass them off as new.
enum class BoardSends { WholeReport, ShortReport, Nothing, GoesAway };
struct ReadCase {
    const char* name;
    BoardSends sends;
    TransferResult expected;
};

class PipeDeviceRead : public PipeDevice, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(PipeDeviceRead, YieldsAReportOnlyForAWholeOne) {
    ASSERT_TRUE(board.send(numberedReport(1)));
    ASSERT_EQ(device.read(report, kLongTimeoutMs, noStop), TransferResult::Completed);
    const Report next = numberedReport(2);
    switch (GetParam().sends) {
        case BoardSends::WholeReport: ASSERT_TRUE(board.send(next)); break;
        case BoardSends::ShortReport: ASSERT_TRUE(board.sendBytes(next.data(), 10)); break;
        case BoardSends::Nothing: break;
        case BoardSends::GoesAway: board.unplug(); break;
    }
    Report read = report;
    EXPECT_EQ(device.read(read, 200, noStop), GetParam().expected);
    if (GetParam().expected == TransferResult::Completed) {
        EXPECT_TRUE(isWhole(&read[1], 2));
    } else {
        EXPECT_EQ(read, report) << "no report, not even the previous one's bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, PipeDeviceRead,
    ::testing::Values(ReadCase{"WholeReport", BoardSends::WholeReport, TransferResult::Completed},
                      ReadCase{"ShortReport", BoardSends::ShortReport, TransferResult::Failed},
                      ReadCase{"Nothing", BoardSends::Nothing, TransferResult::TimedOut},
                      ReadCase{"BoardGone", BoardSends::GoesAway, TransferResult::Failed}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The device alone: writes.

enum class BoardTakes { AtOnce, After100Ms, Nothing, BoardGone };
struct WriteCase {
    const char* name;
    DWORD writeBuffer;
    BoardTakes board;
    TransferResult expected;
};

class PipeDeviceWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(PipeDeviceWrite, EndsAsTheBoardTakesIt) {
    const WriteCase& test = GetParam();
    PipeBoard board(test.writeBuffer);
    ASSERT_TRUE(board.connected());
    Win32HidDevice device(board.takeLibraryEnd());
    StopSignal noStop;
    if (test.board == BoardTakes::BoardGone) board.unplug();
    std::thread taker;
    if (test.board == BoardTakes::After100Ms) {
        taker = std::thread([&] {
            Sleep(100);
            Report taken;
            board.receive(taken);
        });
    }
    const Report sent = frameReport(makeQueryVersionPayload());
    const auto start = Clock::now();
    EXPECT_EQ(device.write(sent, 300, noStop), test.expected);
    const long long took = millisecondsSince(start);
    if (taker.joinable()) taker.join();

    if (test.board == BoardTakes::AtOnce) {
        Report received;
        ASSERT_TRUE(board.receive(received));
        EXPECT_EQ(received, sent);
    }
    if (test.board == BoardTakes::After100Ms) {
        EXPECT_GE(took, 90) << "the write pended";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pipe, PipeDeviceWrite,
    ::testing::Values(
        WriteCase{"CompletesAtOnce", 4096, BoardTakes::AtOnce, TransferResult::Completed},
        WriteCase{"PendsThenCompletes", 0, BoardTakes::After100Ms, TransferResult::Completed},
        WriteCase{"TimesOutWhenNotTaken", 0, BoardTakes::Nothing, TransferResult::TimedOut},
        WriteCase{"FailsWhenTheBoardIsGone", 4096, BoardTakes::BoardGone, TransferResult::Failed}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The link: a board that goes away.

TEST(PipeLink, AWriteToABoardThatIsGoneFailsAndTheNextTransferSearchesAgain) {
    PipeBackend backend(kHbv7);
    CUsbhidioc link(backend, 300);
    link.SetDeviceIds(kHbv7.vendorId, kHbv7.productId);

    ASSERT_TRUE(link.WriteReport(makeQueryVersionPayload()));
    PipeBoard* first = backend.waitForBoard();
    ASSERT_NE(first, nullptr);
    Report received;
    ASSERT_TRUE(first->receive(received));
    EXPECT_EQ(received, frameReport(makeQueryVersionPayload()));

    first->unplug();
    EXPECT_FALSE(link.WriteReport(makeQueryVersionPayload()));
    EXPECT_EQ(backend.searchCount(), 1);

    ReportData data;
    EXPECT_FALSE(link.ReadReport(data)) << "the new board sends nothing";
    EXPECT_EQ(backend.searchCount(), 2) << "the failed write marked the link for reopening";
}

// ---- A whole channel: reader thread, queue, a real window's message loop, GetPacket.

constexpr UINT kPacketMessage = WM_APP + 3;

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window, as a host program would give to Init.
class HostWindow {
  public:
    HostWindow() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = hostWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "HbvPipeHost";
        RegisterClassA(&windowClass);
        window = CreateWindowA("HbvPipeHost", "host", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               windowClass.hInstance, nullptr);
    }
    ~HostWindow() { DestroyWindow(window); }
    NotifyTarget target() const {
        return NotifyTarget{reinterpret_cast<std::uintptr_t>(window), kPacketMessage};
    }

    // Runs the message loop, calling take for each packet message, until take says it has all
    // or the limit passes. Returns the number of packet messages.
    template <typename Take>
    int loop(milliseconds limit, Take take) {
        int messages = 0;
        const auto end = Clock::now() + limit;
        for (bool more = true; more && Clock::now() < end;) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (more && PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
                if (msg.message != kPacketMessage) continue;
                EXPECT_EQ(msg.wParam, 1u);
                EXPECT_EQ(msg.lParam, 0);
                ++messages;
                more = take();
            }
        }
        return messages;
    }

    HWND window = nullptr;
};

class PipeChannel : public ::testing::TestWithParam<const BoardVariant*> {};

TEST_P(PipeChannel, CommandsReachTheBoardAndNumberedReportsReachTheWindowInOrder) {
    const BoardVariant& model = *GetParam();
    HostWindow host;
    ASSERT_NE(host.window, nullptr);
    PipeBackend backend(model);
    WindowNotifier notifier;
    CUsbChannel channel(backend, model, notifier, host.target(), kLongTimeoutMs);
    PipeBoard* board = backend.waitForBoard();
    ASSERT_NE(board, nullptr) << "the reader opened the board";

    // A command goes out in this thread while the reader's read waits on the same handle.
    Report received;
    ASSERT_TRUE(channel.QueryVersion());
    ASSERT_TRUE(board->receive(received));
    EXPECT_EQ(received, frameReport(makeQueryVersionPayload()));

    // A block goes out from a worker: HBV5's writer at once, HBV7's reader after a read.
    std::vector<std::uint8_t> block(model.writeBlockSize, 0x5A);
    ASSERT_TRUE(channel.Write(block.data()));
    constexpr int kReports = 2000;
    std::thread sender([&] {
        for (int i = 0; i < kReports; ++i) board->send(numberedReport(i));
    });
    ASSERT_TRUE(board->receive(received));
    EXPECT_EQ(received, frameReport(makeWritePayload(block.data(), block.size())));

    int next = 0;
    const int messages = host.loop(std::chrono::seconds(60), [&] {
        std::uint8_t buffer[64];
        const std::int32_t count = channel.GetPacket(buffer);
        EXPECT_EQ(count, 62);
        if (count != 62) return false;
        EXPECT_EQ(sequenceOf(buffer), next) << "lost, repeated or reordered";
        EXPECT_TRUE(std::equal(buffer, buffer + 62, numberedReport(next).begin() + 1));
        return ++next < kReports;
    });
    sender.join();
    EXPECT_EQ(next, kReports);
    EXPECT_EQ(messages, kReports) << "one message per packet";
    std::uint8_t buffer[64];
    EXPECT_EQ(channel.GetPacket(buffer), 0);
}

INSTANTIATE_TEST_SUITE_P(Models, PipeChannel, ::testing::Values(&kHbv7, &kHbv5),
                         [](const auto& info) { return std::string(info.param->name); });

// Done with a worker waiting for the board: a read of a silent board, or a write the board does
// not take. The limit is long, so a Done that waited for the board would take ten seconds.
enum class Waiting { Read, Write };
struct DoneCase {
    const BoardVariant* model;
    Waiting waiting;
    const char* name;
};

class PipeDone : public ::testing::TestWithParam<DoneCase> {};

TEST_P(PipeDone, ReturnsAtOnceWhileAWorkerWaitsForTheBoard) {
    const BoardVariant& model = *GetParam().model;
    const bool write = GetParam().waiting == Waiting::Write;
    PipeBackend backend(model, write ? 0 : 4096);
    RecordingNotifier notifier;
    auto channel = std::make_unique<CUsbChannel>(
        backend, model, notifier, NotifyTarget{1, kFirstPrivateMessage}, kLongTimeoutMs);
    PipeBoard* board = backend.waitForBoard();
    ASSERT_NE(board, nullptr);
    if (write) {
        // HBV7's reader sends only after a read attempt; this one completes at once.
        ASSERT_TRUE(board->send(numberedReport(1)));
        ASSERT_TRUE(notifier.waitForCount(1));
        std::vector<std::uint8_t> block(model.writeBlockSize, 0x5A);
        ASSERT_TRUE(channel->Write(block.data()));
    }
    Sleep(200);  // the worker is in its wait by now; Done must not depend on it either way

    const auto start = Clock::now();
    runOrAbort(std::chrono::seconds(30), [&] { channel.reset(); });
    const long long took = millisecondsSince(start);
    std::printf("Done%s with a %s in flight took %lld ms\n", model.name, write ? "write" : "read",
                took);
    EXPECT_LT(took, 500) << "generous for a loaded machine; waiting would take 10 s";
}

INSTANTIATE_TEST_SUITE_P(Models, PipeDone,
                         ::testing::Values(DoneCase{&kHbv7, Waiting::Read, "Hbv7ReadInFlight"},
                                           DoneCase{&kHbv5, Waiting::Read, "Hbv5ReadInFlight"},
                                           DoneCase{&kHbv7, Waiting::Write, "Hbv7WriteInFlight"},
                                           DoneCase{&kHbv5, Waiting::Write, "Hbv5WriteInFlight"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
