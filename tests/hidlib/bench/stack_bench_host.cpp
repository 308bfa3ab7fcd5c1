// One host of the benchmark through the system's HID stack (scripts/stack-bench.sh runs it):
// reads the virtual board's stamped 1 kHz stream for a while in one of two ways and prints what
// that cost the host process, so the two ways can be compared in one run:
// - dll: a host as the trainer's simulator is, with a window and its message loop, on the real
//   DLL: one message per packet, GetPacket in the window procedure;
// - bare: the least a host could do, one overlapped ReadFile after another on the board's
//   handle, in the host's own thread;
// - handoff: the threads and the message of the library's design with none of its code.
//
//   hid_stack_bench_host dll|bare|handoff MODEL SECONDS
//
// The board program stamps each report with QueryPerformanceCounter as it hands it over (bytes
// 17 to 24, low byte first); its pattern counts the reports in bytes 1 to 4. One clock serves
// every process of the machine, so the latency runs from the hand-over to the host holding the
// report. The first half second is left out: the search, and the backlog of the board's buffer.
#include "board_exports.h"
#include "variant.h"

#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr UINT kPacketMessage = WM_APP + 1;
constexpr int kStampedCount = 25;
constexpr double kWarmUpSeconds = 0.5;

std::int64_t counterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

std::int64_t processCpu100ns() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& time) {
        return static_cast<std::int64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

// What the host saw of the stream over the measured stretch.
class StreamFigures {
  public:
    StreamFigures() {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        nsPerTick = 1e9 / static_cast<double>(frequency.QuadPart);
        startTicks = counterNow();
    }

    // One report's 64 data bytes as the host holds them; count is how many are meaningful.
    void take(const std::uint8_t* data, int count) {
        const std::int64_t now = counterNow();
        if (count < kStampedCount || data[0] != 0x01) return;  // an answer, or not stamped
        if (!measuring) {
            if ((now - startTicks) * nsPerTick < kWarmUpSeconds * 1e9) return;
            measuring = true;
            cpuAtStart = processCpu100ns();
            ticksAtStart = now;
        }
        const std::uint32_t sequence =
            data[1] | data[2] << 8 | data[3] << 16 | static_cast<std::uint32_t>(data[4]) << 24;
        std::int64_t stamp = 0;
        std::memcpy(&stamp, data + 17, sizeof stamp);
        latenciesNs.push_back((now - stamp) * nsPerTick);
        if (reports > 0) {
            if (sequence <= lastSequence)
                ++outOfOrder;
            else
                lost += sequence - lastSequence - 1;
        }
        lastSequence = sequence;
        ++reports;
    }

    bool measuredFor(double seconds) const {
        return measuring && (counterNow() - ticksAtStart) * nsPerTick >= seconds * 1e9;
    }

    void print(const char* mode) {
        const double cpuNs = static_cast<double>(processCpu100ns() - cpuAtStart) * 100;
        std::sort(latenciesNs.begin(), latenciesNs.end());
        auto percentile = [&](double share) {
            return latenciesNs.empty() ? 0.0
                                       : latenciesNs[static_cast<std::size_t>(
                                             share * static_cast<double>(latenciesNs.size() - 1))];
        };
        std::printf(
            "mode=%s reports=%ld lost=%ld out_of_order=%ld cpu_ns_per_report=%.0f "
            "latency_p50_ns=%.0f latency_p99_ns=%.0f\n",
            mode, reports, lost, outOfOrder, reports ? cpuNs / reports : 0.0, percentile(0.5),
            percentile(0.99));
    }

  private:
    double nsPerTick;
    std::int64_t startTicks;
    bool measuring = false;
    std::int64_t cpuAtStart = 0;
    std::int64_t ticksAtStart = 0;
    long reports = 0;
    long lost = 0;
    long outOfOrder = 0;
    std::uint32_t lastSequence = 0;
    std::vector<double> latenciesNs;
};

// A host window whose procedure takes one packet per message; take does the taking.
class HostWindow {
  public:
    explicit HostWindow(std::function<void()> take) : take(std::move(take)) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "stack_bench_host";
        RegisterClassA(&windowClass);
        window = CreateWindowA("stack_bench_host", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               windowClass.hInstance, nullptr);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        // A timer wakes the loop now and then, so a silent board still ends the run.
        SetTimer(window, 1, 100, nullptr);
    }
    ~HostWindow() { DestroyWindow(window); }

    // The message loop, until the figures cover the time (or far longer has passed).
    void pump(const StreamFigures& figures, double seconds) {
        const DWORD limit = GetTickCount() + static_cast<DWORD>((seconds + 10) * 1000);
        MSG message;
        while (!figures.measuredFor(seconds) && static_cast<LONG>(GetTickCount() - limit) < 0 &&
               GetMessageA(&message, nullptr, 0, 0) > 0) {
            DispatchMessageA(&message);
        }
    }

    HWND window;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != kPacketMessage) return DefWindowProcA(window, message, wParam, lParam);
        reinterpret_cast<HostWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA))->take();
        return 0;
    }
    std::function<void()> take;
};

int runDll(const std::string& model, double seconds) {
    HMODULE module = LoadLibraryA((model + ".dll").c_str());
    BoardExports dll;
    if (!module || !resolveBoardExports(module, model, dll)) {
        std::fprintf(stderr, "%s.dll not loaded\n", model.c_str());
        return 1;
    }
    StreamFigures figures;
    {
        HostWindow host([&] {
            std::uint8_t buffer[64];
            const int count = dll.GetPacket(buffer);
            if (count > 0) figures.take(buffer, count);
        });
        dll.Init(host.window, kPacketMessage);
        host.pump(figures, seconds);
        dll.Done();
    }
    figures.print("dll");
    FreeLibrary(module);
    return 0;
}

// The board's interface, found as any program finds a HID device.
HANDLE openBoard(std::uint16_t productId) {
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    HDEVINFO devices =
        SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    HANDLE board = INVALID_HANDLE_VALUE;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD index = 0;
         board == INVALID_HANDLE_VALUE &&
         SetupDiEnumDeviceInterfaces(devices, nullptr, &hidGuid, index, &interfaceData);
         ++index) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailA(devices, &interfaceData, nullptr, 0, &size, nullptr);
        std::vector<DWORD> storage(size / sizeof(DWORD) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        detail->cbSize = sizeof *detail;
        if (!SetupDiGetDeviceInterfaceDetailA(devices, &interfaceData, detail, size, nullptr,
                                              nullptr))
            continue;
        HANDLE handle = CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE) continue;
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        if (HidD_GetAttributes(handle, &attributes) && attributes.VendorID == kBoardVendorId &&
            attributes.ProductID == productId) {
            board = handle;
        } else {
            CloseHandle(handle);
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
    if (board == INVALID_HANDLE_VALUE)
        std::fprintf(stderr, "no board with product id 0x%04X\n", productId);
    return board;
}

// One overlapped read of a report, waited for: the bytes read, or -1 when the read failed.
long readReport(HANDLE board, OVERLAPPED& overlapped, std::uint8_t* report) {
    DWORD read = 0;
    if (!ReadFile(board, report, 65, nullptr, &overlapped) && GetLastError() != ERROR_IO_PENDING)
        return -1;
    if (!GetOverlappedResult(board, &overlapped, &read, TRUE)) return -1;
    return static_cast<long>(read);
}

int runBare(std::uint16_t productId, double seconds) {
    HANDLE board = openBoard(productId);
    if (board == INVALID_HANDLE_VALUE) return 1;
    StreamFigures figures;
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::uint8_t report[65];
    const DWORD limit = GetTickCount() + static_cast<DWORD>((seconds + 10) * 1000);
    while (!figures.measuredFor(seconds) && static_cast<LONG>(GetTickCount() - limit) < 0) {
        const long read = readReport(board, overlapped, report);
        if (read < 0) break;
        if (read == sizeof report) figures.take(report + 1, report[64]);
    }
    figures.print("bare");
    CloseHandle(overlapped.hEvent);
    CloseHandle(board);
    return 0;
}

// The threads and the message of the library's design with none of its code: a reader thread
// runs the bare loop and posts one message per report to the host's window, whose procedure
// takes the report from a ring. What the DLL costs beyond this is the library's own.
int runHandoff(std::uint16_t productId, double seconds) {
    HANDLE board = openBoard(productId);
    if (board == INVALID_HANDLE_VALUE) return 1;
    StreamFigures figures;
    static std::uint8_t ring[4096][65];
    std::atomic<std::uint64_t> written{0};
    std::uint64_t taken = 0;
    std::atomic<bool> stop{false};
    HostWindow host([&] {
        if (taken == written.load(std::memory_order_acquire)) return;
        const std::uint8_t* report = ring[taken++ % 4096];
        figures.take(report + 1, report[64]);
    });
    std::thread reader([&] {
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        while (!stop) {
            std::uint8_t* report = ring[written.load(std::memory_order_relaxed) % 4096];
            const long read = readReport(board, overlapped, report);
            if (read < 0) break;
            if (read != 65) continue;
            written.fetch_add(1, std::memory_order_release);
            PostMessageA(host.window, kPacketMessage, 1, 0);
        }
        CloseHandle(overlapped.hEvent);
    });
    host.pump(figures, seconds);
    stop = true;
    CancelIoEx(board, nullptr);
    reader.join();
    figures.print("handoff");
    CloseHandle(board);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const std::string modelName = argc > 2 ? argv[2] : "";
    const BoardVariant* model = modelName == kHbv7.name   ? &kHbv7
                                : modelName == kHbv5.name ? &kHbv5
                                                          : nullptr;
    const double seconds = argc > 3 ? std::atof(argv[3]) : 0;
    if ((mode != "dll" && mode != "bare" && mode != "handoff") || !model || seconds <= 0) {
        std::fprintf(stderr, "usage: hid_stack_bench_host dll|bare|handoff HBV7|HBV5 SECONDS\n");
        return 2;
    }
    if (mode == "dll") return runDll(model->name, seconds);
    if (mode == "handoff") return runHandoff(model->productId, seconds);
    return runBare(model->productId, seconds);
}
