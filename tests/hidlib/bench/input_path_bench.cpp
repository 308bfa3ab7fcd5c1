// The input path as a host sees it: a board producing reports back to back, the reader thread
// queueing and announcing each one, and a host thread that waits for each announcement and
// calls GetPacket. Measures reports per second with zero loss, CPU time per report, and the
// time from a read completing to GetPacket returning that report.
//
//   cmake --preset native -B build/bench -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target hid_input_path_bench
//   build/bench/tests/hidlib/hid_input_path_bench --benchmark_repetitions=5
//
// BackToBack: the board has a batch of reports ready at every read; the throughput, zero loss
// and CPU figures come from here. Its latency includes the wait behind the reports queued
// ahead, since the reader outpaces the host. OneAtATime: the board readies the next report
// only after the host took the last, so its latency is the path alone (queue, message, the
// host waking, GetPacket); its CPU figures are dominated by both sides sleeping and waking.
#include "usb_channel.h"

#include <benchmark/benchmark.h>
#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr std::uint8_t kPacketCount = 16;  // sequence number and completion time

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t cpuNs(clockid_t clock) {
    timespec time{};
    clock_gettime(clock, &time);
    return std::int64_t{time.tv_sec} * 1000000000 + time.tv_nsec;
}

// Plays a board with reports always ready: a read completes at once while the host has granted
// reports, each stamped with its sequence number and the time its read completed.
class StreamingBoard : public HidBackend {
  public:
    std::unique_ptr<HidInterfaceList> listPresentInterfaces() override {
        return std::make_unique<List>(*this);
    }

    void grant(std::int64_t reports) {
        {
            std::lock_guard<std::mutex> guard(lock);
            credit.fetch_add(reports);
        }
        granted.notify_all();
    }
    // Unplugs the board for good, so the reader's waiting read ends and Done returns at once.
    void unplug() {
        {
            std::lock_guard<std::mutex> guard(lock);
            unplugged = true;
        }
        granted.notify_all();
    }
    // The CPU clock of the thread that reads, known after its first read.
    clockid_t readerClock() const { return readerCpuClock.load(); }

  private:
    class Device : public HidDevice {
      public:
        explicit Device(StreamingBoard& board) : board(board) {}
        // Stop is not watched: the benchmark unplugs the board before it ends the channel.
        TransferResult read(Report& report, unsigned timeoutMs, StopSignal&) override {
            return board.read(report, timeoutMs);
        }
        TransferResult write(const Report&, unsigned, StopSignal&) override {
            return TransferResult::Completed;
        }

      private:
        StreamingBoard& board;
    };
    class List : public HidInterfaceList {
      public:
        explicit List(StreamingBoard& board) : board(board) {}
        bool openInterface(std::size_t index, HidInterface& opened) override {
            if (index > 0 || board.isUnplugged()) return false;
            opened.device = std::make_unique<Device>(board);
            opened.vendorId = kHbv7.vendorId;
            opened.productId = kHbv7.productId;
            return true;
        }

      private:
        StreamingBoard& board;
    };

    bool isUnplugged() {
        std::lock_guard<std::mutex> guard(lock);
        return unplugged;
    }

    TransferResult read(Report& report, unsigned timeoutMs) {
        if (readerCpuClock.load() == kNoClock) noteReaderClock();
        if (!takeCredit(timeoutMs))
            return isUnplugged() ? TransferResult::Failed : TransferResult::TimedOut;
        const std::int64_t completed = nowNs();
        std::memcpy(&report[1], &sequence, sizeof sequence);
        std::memcpy(&report[9], &completed, sizeof completed);
        report[kReportSize - 1] = kPacketCount;
        ++sequence;
        return TransferResult::Completed;
    }

    // Lock-free while reports are granted; waits only when the host has granted none.
    bool takeCredit(unsigned timeoutMs) {
        if (tryTakeCredit()) return true;
        std::unique_lock<std::mutex> guard(lock);
        return granted.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
            return unplugged || tryTakeCredit();
        }) && !unplugged;
    }
    bool tryTakeCredit() {
        std::int64_t left = credit.load();
        while (left > 0) {
            if (credit.compare_exchange_weak(left, left - 1)) return true;
        }
        return false;
    }
    void noteReaderClock() {
        clockid_t clock;
        if (pthread_getcpuclockid(pthread_self(), &clock) == 0) readerCpuClock.store(clock);
    }

    static constexpr clockid_t kNoClock = -1;
    std::mutex lock;
    std::condition_variable granted;
    std::atomic<std::int64_t> credit{0};
    bool unplugged = false;      // guarded by lock
    std::uint64_t sequence = 0;  // the reader's alone
    std::atomic<clockid_t> readerCpuClock{kNoClock};
};

// Plays the host's window and message queue: the reader posts, the host thread waits for the
// next message. Like a message loop, a host that finds messages waiting takes them without
// sleeping; only an empty queue puts it to sleep, and only then does a post wake it.
class HostMessages : public PacketNotifier {
  public:
    void packetQueued(const NotifyTarget&) override {
        posted.fetch_add(1);
        if (sleeping.load()) {
            std::lock_guard<std::mutex> guard(lock);
            arrived.notify_one();
        }
    }
    // Returns the number of messages posted so far, once it exceeds taken.
    std::uint64_t waitBeyond(std::uint64_t taken) {
        for (int spin = 0; spin < 200; ++spin) {
            const std::uint64_t now = posted.load();
            if (now > taken) return now;
            relax();
        }
        std::unique_lock<std::mutex> guard(lock);
        sleeping.store(true);
        arrived.wait(guard, [&] { return posted.load() > taken; });
        sleeping.store(false);
        return posted.load();
    }

  private:
    static void relax() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    std::atomic<std::uint64_t> posted{0};
    std::atomic<bool> sleeping{false};
    std::mutex lock;
    std::condition_variable arrived;
};

// What one benchmark run measured, turned into counters at its end.
struct Tally {
    std::int64_t reports = 0;
    std::int64_t processCpuNs = 0;
    std::int64_t readerCpuNs = 0;
    std::int64_t hostCpuNs = 0;
    std::vector<std::int64_t> latencyNs;

    void report(benchmark::State& state) {
        state.SetItemsProcessed(reports);
        if (reports == 0) return;
        const double perReport = 1.0 / static_cast<double>(reports);
        state.counters["cpu_ns_per_report"] = processCpuNs * perReport;
        state.counters["reader_cpu_ns_per_report"] = readerCpuNs * perReport;
        state.counters["host_cpu_ns_per_report"] = hostCpuNs * perReport;
        state.counters["latency_p50_ns"] = percentile(0.50);
        state.counters["latency_p99_ns"] = percentile(0.99);
    }
    double percentile(double fraction) {
        auto nth =
            latencyNs.begin() + static_cast<std::ptrdiff_t>(fraction * (latencyNs.size() - 1));
        std::nth_element(latencyNs.begin(), nth, latencyNs.end());
        return static_cast<double>(*nth);
    }
};

// The host thread: takes one packet per message until it has `reports` of them, checking that
// each is the next in sequence. With oneAtATime the board gets the next report only after the
// host took the last, which shows the latency without a queue ahead of the report.
bool hostTakes(CUsbChannel& channel, StreamingBoard& board, HostMessages& messages,
               std::int64_t reports, bool oneAtATime, std::uint64_t& taken, Tally& tally) {
    const std::uint64_t end = taken + reports;
    std::uint8_t buffer[64];
    board.grant(oneAtATime ? 1 : reports);
    while (taken < end) {
        const std::uint64_t posted = messages.waitBeyond(taken);
        for (; taken < posted; ++taken) {
            if (channel.GetPacket(buffer) != kPacketCount) return false;
            const std::int64_t returned = nowNs();
            std::uint64_t sequence;
            std::int64_t completed;
            std::memcpy(&sequence, buffer, sizeof sequence);
            std::memcpy(&completed, buffer + 8, sizeof completed);
            if (sequence != taken) return false;
            tally.latencyNs.push_back(returned - completed);
            if (oneAtATime && taken + 1 < end) board.grant(1);
        }
    }
    return true;
}

void inputPath(benchmark::State& state, bool oneAtATime) {
    const std::int64_t batch = state.range(0);
    StreamingBoard board;
    HostMessages messages;
    auto channel = std::make_unique<CUsbChannel>(board, kHbv7, messages,
                                                 NotifyTarget{1, kFirstPrivateMessage});
    Tally tally;
    tally.latencyNs.reserve(1 << 22);
    std::uint64_t taken = 0;
    bool whole = hostTakes(*channel, board, messages, 1, false, taken, tally);  // reader running
    tally.latencyNs.clear();

    for (auto _ : state) {
        const std::int64_t process = cpuNs(CLOCK_PROCESS_CPUTIME_ID);
        const std::int64_t reader = cpuNs(board.readerClock());
        const std::int64_t host = cpuNs(CLOCK_THREAD_CPUTIME_ID);
        whole = whole && hostTakes(*channel, board, messages, batch, oneAtATime, taken, tally);
        tally.processCpuNs += cpuNs(CLOCK_PROCESS_CPUTIME_ID) - process;
        tally.readerCpuNs += cpuNs(board.readerClock()) - reader;
        tally.hostCpuNs += cpuNs(CLOCK_THREAD_CPUTIME_ID) - host;
        tally.reports += batch;
        if (!whole) break;
    }
    board.unplug();
    channel.reset();
    if (!whole) state.SkipWithError("a packet was lost, duplicated or reordered");
    tally.report(state);
}

void BM_InputPathBackToBack(benchmark::State& state) { inputPath(state, false); }
void BM_InputPathOneAtATime(benchmark::State& state) { inputPath(state, true); }

BENCHMARK(BM_InputPathBackToBack)
    ->Arg(100000)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InputPathOneAtATime)
    ->Arg(10000)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
