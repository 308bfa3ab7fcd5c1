// Out of memory never ends the host: Init, the reader's search and its reads run with every
// allocation from the k-th on refused, for each k in turn, and once memory is back the library
// works again. Run under AddressSanitizer, the same sweep shows that nothing leaks.
//
// This program replaces operator new, so it runs apart from the other tests.
#include "hid_test_support.h"
#include "usb_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

// Allocations left before they are refused; negative while memory is plentiful. Threads that
// set exempt (the test's own, while it plays the board) are never refused.
std::atomic<long> allocationsLeft{-1};
std::atomic<long> refused{0};
thread_local bool exempt = false;

bool mayAllocate() {
    if (exempt) return true;
    long left = allocationsLeft.load();
    while (left > 0 && !allocationsLeft.compare_exchange_weak(left, left - 1)) {
    }
    if (left != 0) return true;
    ++refused;
    return false;
}

void* allocate(std::size_t size, std::size_t alignment) {
    if (!mayAllocate()) throw std::bad_alloc();
    void* memory = nullptr;
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
    memory = alignment <= alignof(std::max_align_t) ? std::malloc(size ? size : 1)
                                                    : std::aligned_alloc(alignment, rounded);
    if (!memory) throw std::bad_alloc();
    return memory;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size, alignof(std::max_align_t)); }
void* operator new[](std::size_t size) { return allocate(size, alignof(std::max_align_t)); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size, alignof(std::max_align_t));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace {

// Refuses every allocation from the k-th on (counting from 0) while it lives.
class MemoryRunsOut {
  public:
    explicit MemoryRunsOut(long k) {
        refused = 0;
        allocationsLeft = k;
    }
    ~MemoryRunsOut() { allocationsLeft = -1; }
    static bool anyRefused() { return refused > 0; }
};

// Announces packets without allocating, as PostMessage does.
class CountingNotifier : public PacketNotifier {
  public:
    void packetQueued(const NotifyTarget&) override { ++announced; }
    std::atomic<int> announced{0};
};

constexpr NotifyTarget kWindow{1, kFirstPrivateMessage};
// Far beyond the allocations of any of the steps swept; reaching it means the sweep never ends.
constexpr long kMostAllocations = 200;

class OutOfMemory : public ::testing::Test {
  protected:
    VirtualBoard board;
    std::size_t boardInterface = board.addInterface(kHbv7.vendorId, kHbv7.productId);
    CountingNotifier notifier;

    void SetUp() override { exempt = true; }

    // The board's report reaches the host through the channel.
    void expectWorking(CUsbChannel& channel, int sequence) {
        ASSERT_TRUE(board.waitUntilOpen(boardInterface, kHoldWait));
        const int announcedBefore = notifier.announced;
        board.sendInputReport(reportWith({{1, sequence}, {64, 1}}));
        // The reader announces a packet only once it is queued, so wait for the announcement.
        const auto end = std::chrono::steady_clock::now() + kHoldWait;
        while (notifier.announced == announcedBefore && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const int announcedAfter = notifier.announced;
        EXPECT_GT(announcedAfter, announcedBefore);
        std::uint8_t buffer[64] = {};
        channel.GetPacket(buffer);
        EXPECT_EQ(buffer[0], sequence);
    }
};

TEST_F(OutOfMemory, InitGivesNoChannelOrAWorkingOne) {
    int refusedInits = 0;
    long k = 0;
    for (; k < kMostAllocations; ++k) {
        std::unique_ptr<CUsbChannel> channel;
        bool anyRefused = false;
        {
            exempt = false;
            MemoryRunsOut memory(k);
            channel = CUsbChannel::create(board, kHbv7, notifier, kWindow, kShortTimeoutMs);
            exempt = true;
            anyRefused = MemoryRunsOut::anyRefused();
        }
        if (!channel) {
            ++refusedInits;
            EXPECT_EQ(board.openHandleCount(), 0) << "at allocation " << k;
            channel = CUsbChannel::create(board, kHbv7, notifier, kWindow, kShortTimeoutMs);
            ASSERT_NE(channel, nullptr) << "memory is back";
        }
        expectWorking(*channel, static_cast<int>(k));
        if (HasFailure()) std::printf("allocation %ld refused\n", k);
        channel.reset();
        if (!anyRefused) break;  // the whole Init ran: every allocation was swept
    }
    EXPECT_LT(k, kMostAllocations);
    EXPECT_GT(refusedInits, 0);
    std::printf("Init swept over %ld allocations; %d gave no channel\n", k, refusedInits);
}

// A search and a read of a link, as the reader runs them; the read finds no report and times
// out when the search succeeded. Memory back, the link searches again and writes.
TEST_F(OutOfMemory, ASearchAndAReadFailAndTheLinkWorksAgain) {
    long k = 0;
    for (; k < kMostAllocations; ++k) {
        CUsbhidioc link(board, kShortTimeoutMs);  // one that has to search
        link.SetDeviceIds(kHbv7.vendorId, kHbv7.productId);
        bool anyRefused = false;
        {
            exempt = false;
            MemoryRunsOut memory(k);
            ReportData data;
            EXPECT_FALSE(link.ReadReport(data));
            exempt = true;
            anyRefused = MemoryRunsOut::anyRefused();
        }
        if (!anyRefused) break;
        EXPECT_EQ(board.openHandleCount(), 0) << "at allocation " << k;
        EXPECT_TRUE(link.WriteReport(makeQueryVersionPayload())) << "at allocation " << k;
    }
    EXPECT_LT(k, kMostAllocations);
    EXPECT_GT(k, 0);
    std::printf("a search and a read swept over %ld allocations\n", k);
}

// With no memory for a new block of the queue, the reader pauses and tries again: the reports
// that arrive meanwhile wait in the handle's buffer (or drop from it, as on Windows). Memory
// back, every report read reaches the host once and in order.
TEST_F(OutOfMemory, TheReaderPausesUntilItsQueueCanGrow) {
    auto channel = CUsbChannel::create(board, kHbv7, notifier, kWindow, kShortTimeoutMs);
    ASSERT_NE(channel, nullptr);
    expectWorking(*channel, 0x77);  // the reader reads
    const int readBefore = board.reportsRead();
    constexpr int kReports = 200;  // beyond the queue's first block
    {
        MemoryRunsOut memory(0);
        for (int i = 0; i < kReports; ++i) {
            board.waitForRoom(boardInterface, std::chrono::milliseconds(5));
            board.sendInputReport(reportWith({{1, i & 0xFF}, {2, i >> 8}, {64, 2}}));
        }
        EXPECT_TRUE(MemoryRunsOut::anyRefused());
    }
    const auto end = std::chrono::steady_clock::now() + kHoldWait;
    while ((board.bufferedReports() > 0 || notifier.announced < board.reportsRead()) &&
           std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::uint8_t buffer[64];
    int taken = 0;
    for (int previous = -1; channel->GetPacket(buffer) == 2; ++taken) {
        const int sequence = buffer[0] | buffer[1] << 8;
        ASSERT_GT(sequence, previous);
        previous = sequence;
    }
    EXPECT_EQ(taken, board.reportsRead() - readBefore);
    EXPECT_GT(taken, 64) << "the reader went on once memory was back";
}

}  // namespace
