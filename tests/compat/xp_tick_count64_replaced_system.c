/*
 * get_tick_count64.c as the i686 deliverables build it, compiled a second time with two of the
 * system's functions replaced by the test's: GetProcAddress, so that the lookup of
 * GetTickCount64 fails as on Windows XP, and GetTickCount, so that the test drives the 32-bit
 * count across its wrap. windows.h comes first, so the replacements change only the calls in
 * that file and not the system's declarations.
 */
#include <windows.h>

DWORD WINAPI replacedGetTickCount(void);
FARPROC WINAPI replacedGetProcAddress(HMODULE module, LPCSTR name);

#define GetTickCount replacedGetTickCount
#define GetProcAddress replacedGetProcAddress
#include "get_tick_count64.c"
