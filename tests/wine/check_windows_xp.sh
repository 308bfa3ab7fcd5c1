#!/usr/bin/env bash
# Fails when an i686 deliverable would not start on Windows XP SP3: when it imports a function
# that XP's system DLLs do not export (those below came with Vista or later), or when its PE
# header asks for a newer subsystem than XP's 5.1.
#   check_windows_xp.sh OBJDUMP FILE...
set -euo pipefail
objdump=$1
shift

newer_than_xp=(
    GetTickCount64 GetCurrentProcessorNumber GetSystemTimePreciseAsFileTime
    QueryUnbiasedInterruptTime FlushProcessWriteBuffers GetThreadId GetErrorMode
    # slim reader/writer locks, condition variables, one-time initialisation
    'InitializeSRWLock' '(Acquire|Release|TryAcquire)SRWLock(Exclusive|Shared)'
    InitializeConditionVariable 'SleepConditionVariable(CS|SRW)' 'Wake(All)?ConditionVariable'
    'InitOnce[A-Za-z]*'
    # I/O cancellation, the Ex creation calls, file information by handle
    CancelIoEx CancelSynchronousIo 'Create(Event|Mutex|Semaphore|WaitableTimer)Ex[AW]?'
    InitializeCriticalSectionEx GetFileInformationByHandleEx SetFileInformationByHandle
    'GetFinalPathNameByHandle[AW]?' 'CreateSymbolicLink[AW]?' 'QueryFullProcessImageName[AW]?'
    # fiber-local storage
    'Fls[A-Za-z]+'
    # locales by name
    LocaleNameToLCID LCIDToLocaleName GetLocaleInfoEx GetUserDefaultLocaleName
    GetSystemDefaultLocaleName CompareStringEx CompareStringOrdinal LCMapStringEx
    GetNumberFormatEx GetCurrencyFormatEx GetDateFormatEx GetTimeFormatEx EnumSystemLocalesEx
    IsValidLocaleName ResolveLocaleName GetCalendarInfoEx FindNLSStringEx
    # the newer thread pool
    '[A-Za-z]*Threadpool[A-Za-z]*' CallbackMayRunLong
    # DPI awareness and task dialogs
    SetProcessDPIAware '[A-Za-z]*Dpi[A-Z][A-Za-z]*' '[A-Za-z]*ForDpi' 'TaskDialog[A-Za-z]*'
    # kernel32 exports of what older systems only had as intrinsics or in other DLLs
    InterlockedCompareExchange64 'RegGetValue[AW]?' 'AddDllDirectory' SetDefaultDllDirectories
)
pattern="^($(IFS='|'; echo "${newer_than_xp[*]}"))\$"

status=0
for file in "$@"; do
    headers=$("$objdump" -p "$file")
    # Each imported function is listed under its DLL as: address, hint, name.
    imported=$(sed -nE 's/^\s+[0-9a-f]+\s+[0-9]+\s+([A-Za-z_][A-Za-z0-9_@]*)$/\1/p' <<<"$headers")
    [ -n "$imported" ] || { echo "FAIL $file: no imported function found"; status=1; continue; }
    too_new=$(grep -E "$pattern" <<<"$imported" || true)
    [ -z "$too_new" ] || { echo "FAIL $file imports functions XP lacks:" $too_new; status=1; }

    subsystem=$(sed -nE 's/^(Major|Minor)SubsystemVersion\s+([0-9]+)$/\2/p' <<<"$headers" | xargs)
    read -r major minor <<<"$subsystem"
    if [ -z "${minor:-}" ] || [ $((major * 100 + minor)) -gt 501 ]; then
        echo "FAIL $file asks for subsystem version '$subsystem', newer than XP's 5.1"
        status=1
    fi
    echo "checked $file: $(wc -l <<<"$imported") imported functions, subsystem $major.$minor"
done
exit $status
