// What a host process holds, counted as Wine lets it be: Wine answers GetProcessHandleCount and
// the private-bytes counter with 0, so handles are counted by asking about each handle value up
// to a bound, and memory by walking the address space.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

struct Resources {
    long handles = 0;
    long threads = 0;
    long privateKb = 0;
};

inline long openHandles() {
    constexpr ULONG_PTR kHighestHandle = 0x4000;  // far above any handle value seen here
    long count = 0;
    for (ULONG_PTR value = 4; value < kHighestHandle; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

inline long threadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    long count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

inline long committedPrivateKb() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* address = nullptr;
         VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return static_cast<long>(total / 1024);
}

inline Resources measure() {
    return Resources{openHandles(), threadsOfThisProcess(), committedPrivateKb()};
}
