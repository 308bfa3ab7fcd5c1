// GetTickCount64 of the i686 deliverables on a system without it: several threads call it
// through the runtime's import pointer, as the threads runtime does, while the system's 32-bit
// count wraps again and again.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

constexpr std::uint64_t kWrap = std::uint64_t{1} << 32;
// Far more than a millisecond a call, so that the 32-bit count wraps every 64 reads and a thread
// held up between its look at the shared state and its update finds that others have wrapped
// the count meanwhile. The reads that all threads have pending at once stay well below one wrap,
// as the extension requires; the step is odd, so no 32-bit value comes again within a wrap.
constexpr std::uint64_t kStep = kWrap / 64 + 1;
constexpr int kThreads = 4;
constexpr int kReadsPerThread = 100000;

// The system's full count, of which GetTickCount shows the low half; it starts a little below
// the first wrap and moves on at every read.
std::atomic<std::uint64_t> systemCount{kWrap - 10 * kStep};
thread_local std::uint64_t lastCountRead;  // the full count behind this thread's last read

struct Mismatch {
    int read = -1;
    std::uint64_t count = 0, expected = 0;
};

}  // namespace

extern "C" DWORD WINAPI replacedGetTickCount(void) {
    lastCountRead = systemCount.fetch_add(kStep);
    return static_cast<DWORD>(lastCountRead);
}

extern "C" FARPROC WINAPI replacedGetProcAddress(HMODULE, LPCSTR) { return nullptr; }

TEST(XpTickCount64, EveryThreadGetsTheFullCountWhileTheSystemCountWraps) {
    std::vector<Mismatch> firstMismatch(kThreads);
    std::vector<int> mismatches(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::uint64_t previous = 0;
            for (int read = 0; read < kReadsPerThread; ++read) {
                // The extension answers with the 32-bit count it read last, extended: its full
                // count, with no wrap lost or counted twice, so never back and never a wrap ahead.
                const std::uint64_t count = GetTickCount64();
                if (count != lastCountRead || count < previous) {
                    if (mismatches[t]++ == 0) firstMismatch[t] = {read, count, lastCountRead};
                }
                previous = count;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(mismatches[t], 0) << "thread " << t << ", first at read " << firstMismatch[t].read
                                    << ": " << std::hex << std::showbase << firstMismatch[t].count
                                    << " for the system's " << firstMismatch[t].expected;
    }
    // Every thread's reads went through the extension, across thousands of wraps.
    EXPECT_GE(GetTickCount64(), kThreads * kReadsPerThread * kStep);
}
