// The DLLs' own C runtime allocations, refused one at a time, as a host under memory pressure
// meets them: the host points the DLL's imports of malloc, calloc, realloc and _aligned_malloc at
// a counter, and refuses allocation 1, 2, 3, ... of each phase of its use in turn (Init; the
// reader's search and read; GetPacket and a command; Done). Each step is followed by a normal
// Init, packets and Done. The host must live through every step, get no packet of wrong bytes,
// and keep no thread and no handle of the library afterwards.
//
// These allocations are the ones a replaced operator new never sees: the thread runtime makes
// its mutexes' and condition variables' objects with malloc, at their first use.
#include "board_exports.h"
#include "process_resources.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Whose allocations a phase counts: the host thread's calls, the library's worker threads, or
// every thread (Done, which ends the workers).
enum class Threads { Host, Workers, Any };

class AllocationCounter {
  public:
    // Counts the allocations of those threads from now on and refuses the one with this number
    // (from 1; 0 refuses none).
    void arm(Threads whose, long refuseAt) {
        seen = 0;
        refused = false;
        hostThread = GetCurrentThreadId();
        this->whose = whose;
        this->refuseAt = refuseAt;
        armed = true;
    }
    // Returns the number of allocations counted.
    long disarm() {
        armed = false;
        return seen;
    }
    bool refusedOne() const { return refused; }

    bool mayAllocate() {
        if (!armed) return true;
        const bool host = GetCurrentThreadId() == hostThread;
        if ((whose == Threads::Host && !host) || (whose == Threads::Workers && host)) return true;
        if (++seen != refuseAt) return true;
        refused = true;
        return false;
    }

  private:
    std::atomic<bool> armed{false};
    std::atomic<long> seen{0};
    std::atomic<bool> refused{false};
    std::atomic<DWORD> hostThread{0};
    std::atomic<Threads> whose{Threads::Any};
    std::atomic<long> refuseAt{0};
};

AllocationCounter counter;

// The DLL's own runtime functions, as its import table held them.
void*(__cdecl* dllMalloc)(size_t);
void*(__cdecl* dllCalloc)(size_t, size_t);
void*(__cdecl* dllRealloc)(void*, size_t);
void*(__cdecl* dllAlignedMalloc)(size_t, size_t);

void* __cdecl countedMalloc(size_t size) {
    return counter.mayAllocate() ? dllMalloc(size) : nullptr;
}
void* __cdecl countedCalloc(size_t count, size_t size) {
    return counter.mayAllocate() ? dllCalloc(count, size) : nullptr;
}
// A refused realloc leaves the block as it was, as the runtime's does.
void* __cdecl countedRealloc(void* block, size_t size) {
    return counter.mayAllocate() ? dllRealloc(block, size) : nullptr;
}
void* __cdecl countedAlignedMalloc(size_t size, size_t alignment) {
    return counter.mayAllocate() ? dllAlignedMalloc(size, alignment) : nullptr;
}

struct CountedImport {
    const char* name;
    void** original;
    void* counted;
};
const CountedImport kCountedImports[] = {
    {"malloc", reinterpret_cast<void**>(&dllMalloc), reinterpret_cast<void*>(&countedMalloc)},
    {"calloc", reinterpret_cast<void**>(&dllCalloc), reinterpret_cast<void*>(&countedCalloc)},
    {"realloc", reinterpret_cast<void**>(&dllRealloc), reinterpret_cast<void*>(&countedRealloc)},
    {"_aligned_malloc", reinterpret_cast<void**>(&dllAlignedMalloc),
     reinterpret_cast<void*>(&countedAlignedMalloc)},
};

// Points the module's import slots of the counted functions at the counter; returns how many
// slots it changed.
int countAllocationsOf(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int patched = 0;
    for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name; ++library) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const CountedImport& counted : kCountedImports) {
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), counted.name) != 0)
                    continue;
                *counted.original = reinterpret_cast<void*>(slots->u1.Function);
                DWORD protection = 0;
                VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE,
                               &protection);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(counted.counted);
                VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), protection,
                               &protection);
                ++patched;
            }
        }
    }
    return patched;
}

struct Dll {
    const char* path;  // from the folder of the DLLs for trainers
    const char* model;
    bool boardThere;  // the simulated board; the DLLs for trainers find none here
};

constexpr UINT kPacketMessage = WM_APP + 7;
// Far beyond the allocations of any phase; reaching it means the sweep never ends.
constexpr long kMostAllocations = 400;
constexpr milliseconds kPacketWait{5000};
// With no board, the reader's searches of this long, about three of them.
constexpr milliseconds kSearchesWithoutBoard{300};
constexpr long kHandleSlack = 4;

class CrtAllocationSweep : public ::testing::TestWithParam<Dll> {
  protected:
    HMODULE module = nullptr;
    BoardExports dll;
    HWND window = nullptr;
    Resources before;

    void SetUp() override {
        module = LoadLibraryA(GetParam().path);
        ASSERT_NE(module, nullptr) << GetParam().path << ", error " << GetLastError();
        ASSERT_TRUE(resolveBoardExports(module, GetParam().model, dll));
        ASSERT_EQ(countAllocationsOf(module), 4) << "malloc, calloc, realloc, _aligned_malloc";
        window =
            CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        expectWorking();  // once, so the figures below hold what a first use makes for good
        before = measure();
    }

    void TearDown() override {
        if (window) DestroyWindow(window);
        if (module) FreeLibrary(module);
    }

    // Takes one packet within the time, pumping the window's messages meanwhile; its count, or
    // 0 when none came.
    int takePacket(std::array<std::uint8_t, 64>& buffer, milliseconds limit) {
        const auto end = Clock::now() + limit;
        do {
            MSG message;
            while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            if (const int count = dll.GetPacket(buffer.data())) return count;
            Sleep(1);
        } while (Clock::now() < end);
        return 0;
    }

    // A packet of the simulated board: a pattern report, or an answer that starts with the
    // command's code. Anything else has wrong bytes.
    static bool wellFormed(const std::array<std::uint8_t, 64>& buffer, int count) {
        if (buffer[0] == 0x01) return count == 17;
        if (buffer[0] == 0x0A) return count == 3 && buffer[1] == 0x03 && buffer[2] == 0x00;
        return false;
    }

    void expectPacketsFlow() {
        if (!GetParam().boardThere) return;
        std::array<std::uint8_t, 64> buffer{};
        const int count = takePacket(buffer, kPacketWait);
        EXPECT_GT(count, 0) << "no packet within " << kPacketWait.count() << " ms";
        if (count > 0) {
            EXPECT_TRUE(wellFormed(buffer, count)) << "count " << count;
        }
    }

    // A normal use: Init, packets, a command and its answer, Done; then none of the library's
    // threads is left.
    void expectWorking() {
        ASSERT_NE(dll.Init(window, kPacketMessage), nullptr);
        expectPacketsFlow();
        EXPECT_EQ(dll.QueryVersion(), GetParam().boardThere ? 1 : 0);
        dll.Done();
    }

    // With the simulated board the reader's first search and read end in a packet; with none,
    // the reader searches again every 100 ms.
    void firstPacketOrSearches() {
        if (GetParam().boardThere) {
            expectPacketsFlow();
        } else {
            Sleep(static_cast<DWORD>(kSearchesWithoutBoard.count()));
        }
    }

    // Two packets taken and two commands, one sent at once and one through the worker.
    void packetsAndCommands() {
        std::array<std::uint8_t, 64> buffer{};
        for (int packet = 0; packet < 2; ++packet) {
            const int count = dll.GetPacket(buffer.data());
            if (count > 0) {
                EXPECT_TRUE(wellFormed(buffer, count)) << "count " << count;
            }
        }
        dll.QueryVersion();  // may fail for want of memory; the host must live, nothing more
        dll.Write(buffer.data());
    }

    void expectNothingLeft(long step) {
        const Resources after = measure();
        EXPECT_LE(after.threads, before.threads) << "a thread left at step " << step;
        EXPECT_LE(after.handles, before.handles + kHandleSlack) << "handles at step " << step;
    }
};

struct Phase {
    const char* name;
    Threads whose;
    std::function<void()> before;   // not counted
    std::function<void()> counted;  // the phase itself
    std::function<void()> after;    // not counted
};

}  // namespace

TEST_P(CrtAllocationSweep, EveryAllocationOfEachPhaseMayFail) {
    void* object = nullptr;
    int initsRefused = 0;
    const auto nothing = [] {};
    const auto init = [&] {
        object = dll.Init(window, kPacketMessage);
        initsRefused += object == nullptr;
    };
    const auto initAndFirstPacket = [&] {
        ASSERT_NE(dll.Init(window, kPacketMessage), nullptr);
        firstPacketOrSearches();
    };
    const auto done = [&] { dll.Done(); };
    const Phase phases[] = {
        {"Init", Threads::Host, nothing, init,
         [&] {
             if (object) dll.Done();
         }},
        {"a search and a read", Threads::Workers, nothing, initAndFirstPacket, done},
        {"GetPacket and a command", Threads::Host, initAndFirstPacket,
         [&] { packetsAndCommands(); }, done},
        {"Done", Threads::Any, initAndFirstPacket, done, nothing},
    };
    for (const Phase& phase : phases) {
        std::printf("%s, %s: refusing its allocations one at a time\n", GetParam().path,
                    phase.name);
        std::fflush(stdout);  // should the host end, the output tells where
        long step = 1;
        long made = 0;
        for (; step < kMostAllocations; ++step) {
            phase.before();
            counter.arm(phase.whose, step);
            phase.counted();
            made = counter.disarm();
            const bool refused = counter.refusedOne();
            phase.after();
            expectWorking();
            expectNothingLeft(step);
            if (HasFailure()) {
                std::printf("%s, %s: allocation %ld refused\n", GetParam().path, phase.name, step);
                return;
            }
            if (!refused) break;  // the whole phase ran: every allocation was refused once
        }
        EXPECT_LT(step, kMostAllocations) << phase.name;
        std::printf("%s, %s: %ld allocations, each refused once\n", GetParam().path, phase.name,
                    made);
    }
    // Init reports what it could not make, rather than handing out a crippled object; and a
    // refusal there shows that the slots patched are the ones the DLL calls.
    EXPECT_GT(initsRefused, 0);
    std::printf("%s: %d of the refusals in Init gave no object\n", GetParam().path, initsRefused);
}

INSTANTIATE_TEST_SUITE_P(Dlls, CrtAllocationSweep,
                         ::testing::Values(Dll{"HBV7.dll", "HBV7", false},
                                           Dll{"HBV5.dll", "HBV5", false},
                                           Dll{"simulated\\HBV7.dll", "HBV7", true},
                                           Dll{"simulated\\HBV5.dll", "HBV5", true}),
                         [](const auto& info) {
                             return std::string(info.param.model) +
                                    (info.param.boardThere ? "Simulated" : "");
                         });
