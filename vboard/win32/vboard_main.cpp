// vboard.exe: serves the simulated board through vboard.sys to every program of the prefix. The
// simulated board decides everything the board does (its reports, answers, absences); this
// program only carries its reports to the driver and the programs' output reports back to it,
// and plugs and unplugs the device node when the simulated board appears and vanishes.
#include "device_node.h"
#include "options.h"
#include "simulated_board.h"
#include "vboard_control.h"
#include "wide_text.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

HANDLE quitEvent;  // Ctrl+C, the console's close

BOOL WINAPI onConsoleEvent(DWORD) {
    SetEvent(quitEvent);
    return TRUE;
}

std::wstring besideProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + name;
}

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// One overlapped request on the control device that ends early when stop is signalled; false
// when it failed or was stopped, with the system's error in error.
bool control(HANDLE device, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
             HANDLE stop, DWORD& error) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD transferred = 0;
    bool done = DeviceIoControl(device, code, const_cast<void*>(in), inSize, out, outSize,
                                &transferred, &overlapped);
    error = done ? ERROR_SUCCESS : GetLastError();
    if (!done && error == ERROR_IO_PENDING) {
        HANDLE waits[] = {overlapped.hEvent, stop};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) CancelIo(device);
        done = GetOverlappedResult(device, &overlapped, &transferred, TRUE);
        error = done ? ERROR_SUCCESS : GetLastError();
    }
    CloseHandle(overlapped.hEvent);
    return done;
}

// The node is plugged but its driver's start may still be on its way.
bool waitingForTheNode(DWORD error) { return error == ERROR_DEVICE_NOT_CONNECTED; }

// One presence of the simulated board, with the node plugged: reports flow both ways until the
// simulated board goes away or the run ends.
class Session {
  public:
    Session(const VboardOptions& options, HANDLE controlDevice, std::unique_ptr<HidDevice> board)
        : options(options), controlDevice(controlDevice), board(std::move(board)) {
        stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Session() { CloseHandle(stopEvent); }

    // Until the board goes away (true) or quit or the deadline comes (false).
    bool serve(Clock::time_point deadline) {
        StopSignal::WakeUp wakeUp(stop, [this] { SetEvent(stopEvent); });
        std::thread input([this] { carryInput(); });
        std::thread output;
        if (!options.noWrites) output = std::thread([this] { carryOutput(); });
        DWORD wait = INFINITE;
        if (deadline != Clock::time_point::max()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<DWORD>(std::max<long long>(0, left.count()));
        }
        HANDLE waits[] = {quitEvent, stopEvent};
        const bool boardLeft = WaitForMultipleObjects(2, waits, FALSE, wait) == WAIT_OBJECT_0 + 1;
        stop.request();
        input.join();
        if (output.joinable()) output.join();
        return boardLeft;
    }

  private:
    // The simulated board's next report to the driver, which completes once hidclass took it.
    // A silent board keeps its reports to itself, but still goes away when the simulated one
    // does.
    void carryInput() {
        Report report{};
        bool pending = false;  // a report the node was not ready for yet
        Clock::time_point lastHandedOver{};
        while (!stop.requested()) {
            if (!pending) {
                const TransferResult result = board->read(report, 100, stop);
                if (result == TransferResult::TimedOut) continue;
                if (result != TransferResult::Completed) break;
                if (options.silent) continue;
            }
            paceLikeTheEndpoint(lastHandedOver);
            vboard_input input{};
            input.productId = options.model->productId;
            std::copy(report.begin() + 1, report.end(), input.data);
            if (options.stamp) stampHandOver(input.data);
            DWORD error = 0;
            pending = !control(controlDevice, IOCTL_VBOARD_PUT_INPUT, &input, sizeof input, nullptr,
                               0, stopEvent, error) &&
                      waitingForTheNode(error);
            if (pending) Sleep(5);
        }
        stop.request();  // the board went away, or this run ends
    }

    // The moment of the hand-over in a pattern report (byte 0 is 0x01) for the benchmark: one
    // clock serves every process of the machine.
    static void stampHandOver(unsigned char* data) {
        if (data[0] != 0x01) return;  // an answer keeps its bytes
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        for (int i = 0; i < 8; ++i) data[kStampFirstByte + i] = (now.QuadPart >> (8 * i)) & 0xFF;
        data[VBOARD_REPORT_DATA_SIZE - 1] = kStampFirstByte + 8;
    }
    static constexpr int kStampFirstByte = 17;

    // After a stall the simulated board hands over the reports it owes at once, which a USB
    // endpoint polled every millisecond never does, and hidclass's buffer of 32 for each handle
    // would overflow in a moment: so a report that follows the last one much sooner than the
    // board's interval waits for the interval. Reports at the board's own pace, a little early
    // or late, pass at once.
    static void paceLikeTheEndpoint(Clock::time_point& last) {
        const Clock::time_point now = Clock::now();
        if (now - last < SimulatedBoard::kPatternInterval / 2) {
            std::this_thread::sleep_until(last + SimulatedBoard::kPatternInterval);
        }
        last = Clock::now();
    }

    // A program's output report, taken from the driver, to the simulated board.
    void carryOutput() {
        while (!stop.requested()) {
            vboard_model model{options.model->productId};
            Report report{};
            DWORD error = 0;
            if (control(controlDevice, IOCTL_VBOARD_TAKE_OUTPUT, &model, sizeof model,
                        report.data() + 1, VBOARD_REPORT_DATA_SIZE, stopEvent, error)) {
                board->write(report, 1000, stop);
            } else if (waitingForTheNode(error)) {
                Sleep(5);
            } else if (!stop.requested()) {
                say("vboard: taking an output report failed, error " + std::to_string(error));
                Sleep(100);
            }
        }
    }

    const VboardOptions& options;
    HANDLE controlDevice;
    std::unique_ptr<HidDevice> board;
    StopSignal stop;
    HANDLE stopEvent;
};

std::unique_ptr<HidDevice> openSimulatedBoard(SimulatedBoard& simulated) {
    std::unique_ptr<HidInterfaceList> list = simulated.listPresentInterfaces();
    HidInterface opened;
    if (!list || !list->openInterface(0, opened)) return nullptr;
    return std::move(opened.device);
}

// False when the wait ended by quit or the deadline.
bool waitFor(Clock::time_point deadline, DWORD stepMs) {
    const DWORD wait = deadline == Clock::time_point::max() ||
                               deadline - Clock::now() > std::chrono::milliseconds(stepMs)
                           ? stepMs
                           : 0;
    return WaitForSingleObject(quitEvent, wait) == WAIT_TIMEOUT && Clock::now() < deadline;
}

HANDLE openControlDevice(Clock::time_point until) {
    for (;;) {
        HANDLE device = CreateFileW(VBOARD_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (device != INVALID_HANDLE_VALUE || !waitFor(until, 20)) return device;
    }
}

// Plugs the node, opens the driver's control device the first time, and waits until hidclass
// lists the board's interface; false, with the reason said, when any of it fails.
bool plugAndList(DeviceNode& node, HANDLE& controlDevice, const char* modelName) {
    std::string error;
    if (!node.plug(error)) {
        say("vboard: " + error);
        return false;
    }
    if (controlDevice == INVALID_HANDLE_VALUE) {
        controlDevice = openControlDevice(Clock::now() + std::chrono::seconds(10));
        if (controlDevice == INVALID_HANDLE_VALUE) {
            say("vboard: the driver's control device did not open, error " +
                std::to_string(GetLastError()));
            return false;
        }
    }
    const Clock::time_point listedBy = Clock::now() + std::chrono::seconds(10);
    while (!node.interfaceListed() && Clock::now() < listedBy) Sleep(10);
    if (!node.interfaceListed()) {
        say(std::string("vboard: hidclass does not list the ") + modelName);
        return false;
    }
    return true;
}

int serve(const VboardOptions& options) {
    Simulation simulation = simulationFromSetting(options.simulation);
    if (!simulation.note.empty()) say("vboard: " + simulation.note);
    if (simulation.absent) {
        say("vboard: the simulation setting \"" + options.simulation + "\" cannot be used");
        return 2;
    }
    if (const char* temporary = std::getenv("TEMP")) {
        simulation.eepromFile =
            std::string(temporary) + "\\hbv-vboard-eeprom-" + options.model->name + ".bin";
    }
    // The simulated board's clock starts once the node is first listed: its first plug, which
    // may install the driver, would otherwise eat into the first presence.
    std::optional<SimulatedBoard> simulated;
    DeviceNode node(*options.model, besideProgram(L"vboard.inf"));
    const Clock::time_point deadline =
        options.seconds > 0
            ? Clock::now() +
                  std::chrono::milliseconds(static_cast<long long>(options.seconds * 1000))
            : Clock::time_point::max();
    HANDLE controlDevice = INVALID_HANDLE_VALUE;
    int status = 0;
    for (;;) {
        std::unique_ptr<HidDevice> board;
        if (simulated) {
            board = openSimulatedBoard(*simulated);
            if (!board) {
                if (!waitFor(deadline, 5)) break;
                continue;
            }
        }
        if (!plugAndList(node, controlDevice, options.model->name)) {
            status = 1;
            break;
        }
        if (!simulated) {
            simulated.emplace(*options.model, std::move(simulation));
            board = openSimulatedBoard(*simulated);
        }
        if (!board) {
            say("vboard: the simulated board did not open");
            status = 1;
            break;
        }
        say(std::string("plugged ") + options.model->name);
        Session session(options, controlDevice, std::move(board));
        const bool boardLeft = session.serve(deadline);
        node.unplug();
        say(std::string("unplugged ") + options.model->name);
        if (!boardLeft) break;
    }
    node.unplug();
    if (controlDevice != INVALID_HANDLE_VALUE) CloseHandle(controlDevice);
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(narrow(argv[i]));
    VboardOptions options;
    std::string error;
    if (!parseVboardOptions(arguments, options, error)) {
        std::fprintf(stderr, "vboard: %s\n%s", error.c_str(), kVboardUsage);
        return 2;
    }
    if (options.action == VboardOptions::Action::Help) {
        std::fputs(kVboardUsage, stdout);
        return 0;
    }
    if (options.action == VboardOptions::Action::UnplugAll) {
        say("removed " + std::to_string(unplugAllNodes()));
        return 0;
    }
    quitEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    return serve(options);
}
