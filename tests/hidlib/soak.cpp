// A soak of the DLLs in a host process: Init and Done again and again, or a stream from the
// simulated board that vanishes and comes back, drained by a real window's message loop. The
// process's open handles, committed private memory and threads must stay flat, and the
// simulated board's counter must only ever rise.
//
//   hid_soak FOLDER init-done|stream SECONDS
//
// runs both models' DLLs in FOLDER (HBV7.dll, HBV5.dll), each for SECONDS, and prints the
// figures.
#include "board_exports.h"
#include "process_resources.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr UINT kPacketMessage = WM_APP + 1;
constexpr const char* kUnplugSetting = "HBV_SIMULATION=unplug-after:700";
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
    if (argc != 4) {
        std::fprintf(stderr, "usage: hid_soak FOLDER init-done|stream SECONDS\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::string mode = argv[2];
    const DWORD seconds = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    if (mode == "stream") _putenv(kUnplugSetting);  // read by the simulated DLLs at Init
    bool passed = true;
    for (const char* model : {"HBV7", "HBV5"}) {
        Soak soak(folder, model, seconds);
        passed &= mode == "stream" ? soak.stream() : soak.initDone();
        std::fflush(stdout);
    }
    return passed ? 0 : 1;
}
