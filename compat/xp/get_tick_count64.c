/*
 * Windows XP's kernel32 has no GetTickCount64, yet the threads runtime linked statically into
 * every i686 deliverable imports it for its timed waits, and a program with an import the
 * system lacks does not start at all. This file defines the runtime's import pointer itself,
 * so the linker takes it instead of kernel32's entry: it calls the system's GetTickCount64
 * where there is one (Vista and later) and otherwise extends GetTickCount's 32-bit count.
 * The extension sees every wrap as long as the count is read at least once in 49.7 days,
 * which the runtime's waits do far more often.
 */
#include "tick_count_extension.h"

#include <windows.h>

typedef ULONGLONG(WINAPI* TickCount64Function)(void);

static ULONGLONG WINAPI extendedTickCount(void) {
    static uint64_t state;  // shared by all threads, changed only by compare-and-swap
    uint64_t seen = __atomic_load_n(&state, __ATOMIC_ACQUIRE);
    for (;;) {
        // Read after the state, so a count stored by another thread is never newer than it.
        const uint64_t next = extendTickCount(seen, GetTickCount());
        if (next == seen || __atomic_compare_exchange_n(&state, &seen, next, 0, __ATOMIC_ACQ_REL,
                                                        __ATOMIC_ACQUIRE)) {
            return next;
        }
    }
}

static ULONGLONG WINAPI tickCount64(void) {
    static TickCount64Function chosen;  // found once; every thread finds the same
    TickCount64Function function = __atomic_load_n(&chosen, __ATOMIC_ACQUIRE);
    if (!function) {
        function = (TickCount64Function)(void (*)(void))GetProcAddress(
            GetModuleHandleA("kernel32.dll"), "GetTickCount64");
        if (!function) function = extendedTickCount;
        __atomic_store_n(&chosen, function, __ATOMIC_RELEASE);
    }
    return function();
}

/* The import pointer the runtime calls through, under the name the linker gives kernel32's. */
TickCount64Function importedGetTickCount64 __asm__("__imp__GetTickCount64@0") = tickCount64;
