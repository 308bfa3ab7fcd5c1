// A soak of the DLLs in a host process: Init and Done again and again, or a stream from the
// simulated board that vanishes and comes back, drained by a real window's message loop, or the
// same with the real DLLs through Wine's HID stack, where vboard.exe unplugs and replugs the
// board's device node. The process's open handles, committed private memory and threads must
// stay flat, and the board's counter must only ever rise.
//
//   hid_soak FOLDER init-done|stream SECONDS
//   hid_soak FOLDER stack CYCLES VBOARD
//
// runs both models' DLLs in FOLDER (HBV7.dll, HBV5.dll), each for SECONDS or until the board
// has been replugged CYCLES times, and prints the figures.
#include "board_exports.h"
#include "board_program.h"
#include "process_resources.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT kPacketMessage = WM_APP + 1;
constexpr const char* kUnplugSetting = "HBV_SIMULATION=unplug-after:700";
// The node's plug, hidclass's start of the collection and the DLL's next search fit in a
// presence with packets to spare, unless the machine is loaded.
constexpr long kStackUnplugMs = 700;
// A loaded machine may take most of a presence to plug the node, and the DLL's search (every
// 100 ms, itself slow under Wine) may not come round in what is left: a presence listed for less
// than this is shown but neither judged nor counted.
constexpr long kJudgedPresenceMs = 400;
// What may come and go without a leak: Wine's own handles and heap pages in passing.
constexpr long kHandleSlack = 4;
constexpr long kMemorySlackKb = 512;

void print(const char* label, const Resources& resources) {
    std::printf("  %-22s handles %5ld, threads %3ld, committed private memory %7ld KB\n", label,
                resources.handles, resources.threads, resources.privateKb);
}

// Flat: no more than the slack above the figures taken after the warm-up.
bool flat(const Resources& before, const Resources& after) {
    return after.handles <= before.handles + kHandleSlack && after.threads <= before.threads &&
           after.privateKb <= before.privateKb + kMemorySlackKb;
}

// The message loop's window; it takes one packet per message.
struct Stream {
    BoardExports* dll = nullptr;
    long packets = 0;
    std::chrono::steady_clock::time_point lastPacket{};
    long outOfOrder = 0;
    bool anyCounter = false;
    unsigned long lastCounter = 0;

    void take() {
        std::uint8_t buffer[64];
        const std::int32_t count = dll->GetPacket(buffer);
        if (count != 17 || buffer[0] != 0x01) return;  // not a pattern report
        const unsigned long counter = buffer[1] | buffer[2] << 8 | buffer[3] << 16 |
                                      static_cast<unsigned long>(buffer[4]) << 24;
        ++packets;
        lastPacket = std::chrono::steady_clock::now();
        if (anyCounter && counter <= lastCounter) ++outOfOrder;
        anyCounter = true;
        lastCounter = counter;
    }
};

LRESULT CALLBACK streamWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPacketMessage) {
        reinterpret_cast<Stream*>(GetWindowLongPtrA(window, GWLP_USERDATA))->take();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND makeWindow(Stream& stream) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = streamWindow;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "hid_soak";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("hid_soak", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&stream));
    return window;
}

// Runs the message loop until the time is up.
void pumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < milliseconds; elapsed = GetTickCount() - start) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
}

class Soak {
  public:
    Soak(const std::string& folder, const char* model, DWORD seconds)
        : model(model), milliseconds(seconds * 1000) {
        module = LoadLibraryA((folder + "\\" + model + ".dll").c_str());
        loaded = module && resolveBoardExports(module, model, dll);
    }
    ~Soak() {
        if (module) FreeLibrary(module);
    }

    bool initDone() {
        if (!loaded) return fail("cannot load the DLL");
        long cycles = 0;
        Resources warm;
        const DWORD start = GetTickCount();
        for (DWORD elapsed = 0; elapsed < milliseconds; elapsed = GetTickCount() - start) {
            if (!dll.Init(nullptr, 0)) return fail("Init returned 0");
            std::uint8_t buffer[64];
            dll.GetPacket(buffer);
            dll.QueryVersion();  // a search, with the real DLLs
            Sleep(cycles % 4);
            dll.Done();
            if (++cycles == 20) warm = measure();
        }
        const Resources end = measure();
        std::printf("%s, Init and Done: %ld cycles in %lu s\n", model, cycles, milliseconds / 1000);
        print("after 20 cycles:", warm);
        print("at the end:", end);
        return flat(warm, end) || fail("handles, threads or memory grew");
    }

    bool stream() {
        if (!loaded) return fail("cannot load the DLL");
        Stream stream;
        stream.dll = &dll;
        HWND window = makeWindow(stream);
        const Resources before = measure();
        if (!dll.Init(window, kPacketMessage)) return fail("Init returned 0");
        pumpFor(1000);
        const Resources warm = measure();
        Resources most = warm;
        for (DWORD done = 1000; done < milliseconds; done += 1000) {
            pumpFor(1000);
            const Resources now = measure();
            most =
                Resources{std::max(most.handles, now.handles), std::max(most.threads, now.threads),
                          std::max(most.privateKb, now.privateKb)};
        }
        dll.Done();
        pumpFor(50);  // messages still posted for packets that Done released
        DestroyWindow(window);
        const Resources after = measure();
        std::printf(
            "%s, stream with the board vanishing every 700 ms: %ld packets in %lu s, "
            "%ld out of order\n",
            model, stream.packets, milliseconds / 1000, stream.outOfOrder);
        print("before Init:", before);
        print("after 1 s:", warm);
        print("most, later:", most);
        print("after Done:", after);
        if (stream.outOfOrder > 0) return fail("a packet broke the counter's order");
        if (stream.packets < static_cast<long>(milliseconds) / 4) return fail("too few packets");
        // Memory freed at Done stays with the heap for later use, so after Done only handles
        // and threads must be back where they were; the Init and Done soak watches memory.
        const bool released =
            after.handles <= before.handles + kHandleSlack && after.threads <= before.threads;
        return (flat(warm, most) && released) || fail("handles, threads or memory grew");
    }

    // vboard.exe's lines say when the node was plugged and unplugged: every presence long
    // enough to judge but the last, which this run ends, must have brought packets.
    bool stack(const std::string& vboard, long cycles) {
        using Clock = std::chrono::steady_clock;
        if (!loaded) return fail("cannot load the DLL");
        const long limitSeconds = cycles * 2 * kStackUnplugMs * 3 / 1000 + 60;
        BoardProgram board(
            vboard,
            {"--model", model, "--simulation", "unplug-after:" + std::to_string(kStackUnplugMs),
             "--seconds", std::to_string(limitSeconds)},
            model);
        if (!board.plugged())
            return fail(("the board was not plugged: " + board.printed()).c_str());
        Stream stream;
        stream.dll = &dll;
        HWND window = makeWindow(stream);
        const Resources before = measure();
        if (!dll.Init(window, kPacketMessage)) return fail("Init returned 0");
        const Clock::time_point start = Clock::now();
        long plugs = 1, presencesWithout = 0, packetsAtPlug = 0, unjudged = 0;
        bool present = true;
        std::size_t readUpTo = board.printed().size();
        Clock::time_point pluggedAt = start;
        Clock::time_point lastBeforeUnplug{};
        std::vector<long> silencesMs, findsMs;  // last packet to first packet; plug to first
        bool awaitingFirst = true;
        // Taken as each presence's first packet arrives, so that every figure is of the same
        // moment: the search just over, the board open, no transfer but the read.
        Resources warm, most, last;
        std::vector<long> emptyPresencesMs;  // plugged line to unplugged line, none between
        for (;;) {
            const long packetsBefore = stream.packets;
            pumpFor(10);
            const Clock::time_point now = Clock::now();
            if (awaitingFirst && stream.packets > packetsBefore && stream.packets > packetsAtPlug) {
                awaitingFirst = false;
                findsMs.push_back(static_cast<long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(now - pluggedAt)
                        .count()));
                const Resources resources = last = measure();
                if (plugs <= 2) {
                    warm = most = resources;
                } else {
                    most = Resources{std::max(most.handles, resources.handles),
                                     std::max(most.threads, resources.threads),
                                     std::max(most.privateKb, resources.privateKb)};
                }
                if (lastBeforeUnplug != Clock::time_point{}) {
                    silencesMs.push_back(
                        static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              now - lastBeforeUnplug)
                                              .count()));
                }
            }
            const std::string& printed = board.printed();
            for (std::size_t end; (end = printed.find('\n', readUpTo)) != std::string::npos;
                 readUpTo = end + 1) {
                const std::string line = printed.substr(readUpTo, end - readUpTo);
                if (line.rfind("unplugged ", 0) == 0 && present) {
                    present = false;
                    const bool brought = stream.packets > packetsAtPlug;
                    lastBeforeUnplug = brought ? stream.lastPacket : Clock::time_point{};
                    const long listedMs = static_cast<long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(now - pluggedAt)
                            .count());
                    if (!brought) {
                        ++(listedMs < kJudgedPresenceMs ? unjudged : presencesWithout);
                        emptyPresencesMs.push_back(listedMs);
                    }
                } else if (line.rfind("plugged ", 0) == 0 && !present) {
                    present = true;
                    ++plugs;
                    pluggedAt = now;
                    packetsAtPlug = stream.packets;
                    awaitingFirst = true;
                }
            }
            if (plugs - 1 - unjudged >= cycles && present && !awaitingFirst) break;
            if (now - start > std::chrono::seconds(limitSeconds)) break;
        }
        dll.Done();
        pumpFor(50);
        DestroyWindow(window);
        const Resources after = measure();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const long replugs = plugs - 1 - unjudged;
        auto median = [](std::vector<long> values) {
            if (values.empty()) return -1L;
            std::sort(values.begin(), values.end());
            return values[values.size() / 2];
        };
        std::printf(
            "%s, stack: %ld replugs of the node (unplug-after:%ld) in %.1f s, %ld packets, %ld "
            "out of order, %ld presences without a packet, %ld too short to judge\n",
            model, replugs, kStackUnplugMs, seconds, stream.packets, stream.outOfOrder,
            presencesWithout, unjudged);
        std::printf(
            "  silence from the last packet to the first after a replug: median %ld ms, longest "
            "%ld ms; from vboard's plugged line to the first packet: median %ld ms\n",
            median(silencesMs),
            silencesMs.empty() ? -1L : *std::max_element(silencesMs.begin(), silencesMs.end()),
            median(findsMs));
        for (long ms : emptyPresencesMs) {
            std::printf("  a presence without a packet: %ld ms from plugged to unplugged\n", ms);
        }
        print("before Init:", before);
        print("after 2 replugs:", warm);
        print("most, later:", most);
        print("at the end:", last);
        print("after Done:", after);
        if (stream.outOfOrder > 0) return fail("a packet broke the counter's order");
        if (replugs < cycles) return fail("too few replugs within the time");
        if (presencesWithout > 0) return fail("packets did not flow again after a replug");
        most = Resources{std::max(most.handles, last.handles), std::max(most.threads, last.threads),
                         std::max(most.privateKb, last.privateKb)};
        const bool released =
            after.handles <= before.handles + kHandleSlack && after.threads <= before.threads;
        return (flat(warm, most) && released) || fail("handles, threads or memory grew");
    }

  private:
    bool fail(const char* why) {
        std::printf("%s: FAILED: %s\n", model, why);
        return false;
    }

    const char* model;
    const DWORD milliseconds;
    HMODULE module = nullptr;
    BoardExports dll;
    bool loaded = false;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[2] : "";
    const bool usable = mode == "stack" ? argc == 5 || argc == 6 : argc == 4;
    if (!usable) {
        std::fprintf(stderr,
                     "usage: hid_soak FOLDER init-done|stream SECONDS\n"
                     "       hid_soak FOLDER stack CYCLES VBOARD [HBV7|HBV5]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const DWORD seconds = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    if (mode == "stream") _putenv(kUnplugSetting);  // read by the simulated DLLs at Init
    std::vector<const char*> models{"HBV7", "HBV5"};
    if (argc == 6) models = {argv[5]};
    bool passed = true;
    for (const char* model : models) {
        Soak soak(folder, model, seconds);
        if (mode == "stack") {
            std::string vboard = argv[4];  // Wine shows the Linux file system as drive Z:
            if (vboard.front() == '/') {
                std::replace(vboard.begin(), vboard.end(), '/', '\\');
                vboard = "Z:" + vboard;
            }
            passed &= soak.stack(vboard, static_cast<long>(seconds));
        } else {
            passed &= mode == "stream" ? soak.stream() : soak.initDone();
        }
        std::fflush(stdout);
    }
    return passed ? 0 : 1;
}
