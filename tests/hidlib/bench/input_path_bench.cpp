// The input path as a host sees it, measured against the least any hand-off of the same reports
// could cost, in the same run: these machines change speed fivefold between runs, so only the
// ratio of the two says something about the library.
//
//   cmake --preset bench && cmake --build --preset bench
//   build/bench/tests/hidlib/hid_input_path_bench
//
// Two paths carry the same reports from the same board stand-in to the same host loop:
// - Library: the channel's reader thread reads each report, queues it as a packet and
//   announces it; the host takes it with GetPacket.
// - Baseline: one producer thread reads each report straight into a slot of a preallocated
//   ring and announces it; the host copies it out. One copy and one announcement per report,
//   no locks, no allocation, no library code. Its ring holds more than a whole back-to-back
//   batch, so every report goes to memory the host has not touched for a long while.
// - ReusingBaseline: the same with a ring of 4,096 slots (260 KB), so a slot is written again
//   while the host's core still holds it from its last read, as happens to any queue that
//   reuses its memory, the library's included (it frees each block of 64 packets once taken
//   and the heap hands that block back for the next ones).
// And two loads:
// - BackToBack: the board has every report ready at once; gives throughput with zero loss and
//   CPU per report with both threads busy.
// - Paced: the board delivers 1,000 reports a second, as a full-speed USB endpoint does at most,
//   and the host sleeps until each announcement; gives CPU per report and the time from a read
//   completing to the host holding the report (median, 99th percentile).
// The repetitions of the four are interleaved, and the ratios are taken over their medians.
#include "usb_channel.h"

#include <benchmark/benchmark.h>
#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint8_t kPacketCount = 16;  // sequence number and completion time
constexpr std::int64_t kBackToBackReports = 100000;
constexpr std::int64_t kPacedReports = 1000;
constexpr auto kPacedInterval = std::chrono::milliseconds(1);

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t processCpuNs() {
    timespec time{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return std::int64_t{time.tv_sec} * 1000000000 + time.tv_nsec;
}

void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Plays a board: a read completes as soon as the host has granted a report (at its due time
// when paced), stamped with its sequence number and the time its read completed.
class StreamingBoard : public HidBackend {
  public:
    std::unique_ptr<HidInterfaceList> listPresentInterfaces() override {
        return std::make_unique<List>(*this);
    }

    // Reports from now on come one per interval, or back to back with a zero interval.
    void pace(std::chrono::nanoseconds interval) {
        std::lock_guard<std::mutex> guard(lock);
        paceInterval = interval;
        pacedFrom = std::chrono::steady_clock::now();
        pacedSequence = sequence;
    }
    void grant(std::int64_t reports) {
        {
            std::lock_guard<std::mutex> guard(lock);
            credit.fetch_add(reports);
        }
        granted.notify_all();
    }
    // Unplugs the board for good, so a waiting read ends and the path stops at once.
    void unplug() {
        {
            std::lock_guard<std::mutex> guard(lock);
            unplugged = true;
        }
        granted.notify_all();
    }

  private:
    class Device : public HidDevice {
      public:
        explicit Device(StreamingBoard& board) : board(board) {}
        // Stop is not watched: each path unplugs the board before it ends.
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
        if (!takeCredit(timeoutMs)) {
            return isUnplugged() ? TransferResult::Failed : TransferResult::TimedOut;
        }
        waitUntilDue();
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
    // The reading thread sleeps, as in a read the system holds until the report comes.
    void waitUntilDue() {
        if (paceInterval.count() == 0) return;
        std::this_thread::sleep_until(pacedFrom + paceInterval * (sequence - pacedSequence + 1));
    }

    std::mutex lock;
    std::condition_variable granted;
    std::atomic<std::int64_t> credit{0};
    bool unplugged = false;  // guarded by lock
    // The reading thread's alone, but for pace(), which runs while no read is under way.
    std::uint64_t sequence = 0;
    std::chrono::nanoseconds paceInterval{0};
    std::chrono::steady_clock::time_point pacedFrom;
    std::uint64_t pacedSequence = 0;
};

// Plays the host's window and message queue: the reading thread posts, the host thread waits
// for the next message. A busy host finds messages waiting and takes them after a short spin;
// a sleeping host (spin 0) sleeps until a post wakes it.
class HostMessages : public PacketNotifier {
  public:
    explicit HostMessages(int spinsBeforeSleep) : spinsBeforeSleep(spinsBeforeSleep) {}

    void packetQueued(const NotifyTarget&) override {
        posted.fetch_add(1);
        if (sleeping.load()) {
            std::lock_guard<std::mutex> guard(lock);
            arrived.notify_one();
        }
    }
    // Returns the number of messages posted so far, once it exceeds taken.
    std::uint64_t waitBeyond(std::uint64_t taken) {
        ++wakeUps;
        for (int spin = 0; spin < spinsBeforeSleep; ++spin) {
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

    // How often the host came back for more: once per report while it keeps pace with the
    // reader, far less often while the reader runs ahead.
    std::uint64_t wakeUps = 0;  // the host thread's

  private:
    const int spinsBeforeSleep;
    std::atomic<std::uint64_t> posted{0};
    std::atomic<bool> sleeping{false};
    std::mutex lock;
    std::condition_variable arrived;
};

// The library's path: the channel as Init builds it, with the board stand-in and the host loop.
class LibraryPath {
  public:
    LibraryPath(StreamingBoard& board, HostMessages& messages)
        : board(board),
          channel(std::make_unique<CUsbChannel>(board, kHbv7, messages,
                                                NotifyTarget{1, kFirstPrivateMessage})) {}
    ~LibraryPath() {
        board.unplug();
        channel.reset();
    }
    std::int32_t take(std::uint8_t* buffer) { return channel->GetPacket(buffer); }

  private:
    StreamingBoard& board;
    std::unique_ptr<CUsbChannel> channel;
};

// The baseline: the least a hand-off of these reports from one thread to another can do.
template <std::size_t kSlots>
class BaselinePath {
  public:
    BaselinePath(StreamingBoard& board, HostMessages& messages)
        : board(board), messages(messages), slots(kSlots) {
        std::unique_ptr<HidInterfaceList> interfaces = board.listPresentInterfaces();
        HidInterface opened;
        interfaces->openInterface(0, opened);
        device = std::move(opened.device);
        producer = std::thread([this] { produce(); });
    }
    ~BaselinePath() {
        board.unplug();
        producer.join();
    }
    std::int32_t take(std::uint8_t* buffer) {
        const std::uint64_t tail = taken.load(std::memory_order_relaxed);
        if (tail == produced.load(std::memory_order_acquire)) return 0;
        const Report& report = slots[tail % kSlots];
        const std::uint8_t count = report[kReportSize - 1];
        std::memcpy(buffer, &report[1], count);
        taken.store(tail + 1, std::memory_order_release);
        return count;
    }

  private:
    void produce() {
        StopSignal noStop;
        std::uint64_t takenSeen = 0;  // looked at again only when the ring seems full
        for (std::uint64_t head = 0;; ++head) {
            while (head - takenSeen == kSlots) {
                takenSeen = taken.load(std::memory_order_acquire);
                relax();
            }
            TransferResult result;
            while ((result = device->read(slots[head % kSlots], kIoTimeoutMs, noStop)) ==
                   TransferResult::TimedOut) {
            }
            if (result != TransferResult::Completed) return;  // unplugged
            produced.store(head + 1, std::memory_order_release);
            messages.packetQueued(NotifyTarget{1, kFirstPrivateMessage});
        }
    }

    StreamingBoard& board;
    HostMessages& messages;
    std::unique_ptr<HidDevice> device;
    std::vector<Report> slots;
    alignas(64) std::atomic<std::uint64_t> produced{0};
    alignas(64) std::atomic<std::uint64_t> taken{0};
    std::thread producer;
};

// What one benchmark run measured, turned into counters at its end.
struct Tally {
    std::int64_t reports = 0;
    std::int64_t cpuNs = 0;
    std::vector<std::int64_t> latencyNs;

    void report(benchmark::State& state) {
        state.SetItemsProcessed(reports);
        if (reports == 0) return;
        state.counters["cpu_ns_per_report"] = static_cast<double>(cpuNs) / reports;
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

// The host thread: takes one report per message until it has `reports` of them, checking that
// each is the next in sequence.
template <typename Path>
bool hostTakes(Path& path, StreamingBoard& board, HostMessages& messages, std::int64_t reports,
               std::uint64_t& taken, Tally& tally) {
    const std::uint64_t end = taken + reports;
    std::uint8_t buffer[64];
    board.grant(reports);
    while (taken < end) {
        const std::uint64_t posted = messages.waitBeyond(taken);
        for (; taken < posted; ++taken) {
            if (path.take(buffer) != kPacketCount) return false;
            const std::int64_t returned = nowNs();
            std::uint64_t sequence;
            std::int64_t completed;
            std::memcpy(&sequence, buffer, sizeof sequence);
            std::memcpy(&completed, buffer + 8, sizeof completed);
            if (sequence != taken) return false;
            tally.latencyNs.push_back(returned - completed);
        }
    }
    return true;
}

template <typename Path>
void inputPath(benchmark::State& state, bool paced) {
    const std::int64_t batch = paced ? kPacedReports : kBackToBackReports;
    StreamingBoard board;
    HostMessages messages(paced ? 0 : 200);
    Tally tally;
    tally.latencyNs.reserve(1 << 22);
    std::uint64_t taken = 0;
    bool whole = false;
    {
        Path path(board, messages);
        whole = hostTakes(path, board, messages, 1, taken, tally);  // the reader is running
        tally.latencyNs.clear();
        if (paced) board.pace(kPacedInterval);
        for (auto _ : state) {
            const std::int64_t cpu = processCpuNs();
            whole = whole && hostTakes(path, board, messages, batch, taken, tally);
            tally.cpuNs += processCpuNs() - cpu;
            tally.reports += batch;
            if (!whole) break;
        }
    }
    if (!whole) state.SkipWithError("a report was lost, duplicated or reordered");
    tally.report(state);
    state.counters["reports_per_wakeup"] = static_cast<double>(taken) / messages.wakeUps;
}

using StreamingBaseline = BaselinePath<(1 << 17)>;  // more than a whole back-to-back batch
using ReusingBaseline = BaselinePath<4096>;

void BM_BackToBack_Library(benchmark::State& state) { inputPath<LibraryPath>(state, false); }
void BM_BackToBack_Baseline(benchmark::State& state) { inputPath<StreamingBaseline>(state, false); }
void BM_BackToBack_ReusingBaseline(benchmark::State& state) {
    inputPath<ReusingBaseline>(state, false);
}
void BM_Paced_Library(benchmark::State& state) { inputPath<LibraryPath>(state, true); }
void BM_Paced_Baseline(benchmark::State& state) { inputPath<StreamingBaseline>(state, true); }

// Throughput and CPU come from busy host threads, so wall time is what they are measured in.
// Back to back, each repetition falls into one of two regimes at random, for either path: the
// host keeping pace with the reader report by report (their shared lines crossing between the
// cores for every report), or the reader running ahead and the host following in bursts, some
// five times faster. Many repetitions keep the medians from depending on that draw.
#define INPUT_PATH_BENCHMARK(function, iterations, repetitions) \
    BENCHMARK(function)                                         \
        ->Iterations(iterations)                                \
        ->Repetitions(repetitions)                              \
        ->UseRealTime()                                         \
        ->MeasureProcessCPUTime()                               \
        ->Unit(benchmark::kMillisecond)
INPUT_PATH_BENCHMARK(BM_BackToBack_Library, 5, 25);
INPUT_PATH_BENCHMARK(BM_BackToBack_Baseline, 5, 25);
INPUT_PATH_BENCHMARK(BM_BackToBack_ReusingBaseline, 5, 25);
INPUT_PATH_BENCHMARK(BM_Paced_Library, 2, 5);
INPUT_PATH_BENCHMARK(BM_Paced_Baseline, 2, 5);

// Shows every run as the console reporter does and keeps each one's figures for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            Figures& figures = measured[run.run_name.function_name];
            figures["throughput"].push_back(run.counters.at("items_per_second"));
            for (const char* name : {"cpu_ns_per_report", "latency_p50_ns", "latency_p99_ns"}) {
                figures[name].push_back(run.counters.at(name));
            }
        }
    }

    // A readable table, then one `name = value` line per ratio for scripts. The back-to-back
    // goals are judged against the baseline that reuses its ring, as any queue that runs for
    // hours must; the first baseline's ratios stay for reference.
    void printRatios() {
        std::printf("\nLibrary against the baselines, medians of the interleaved repetitions:\n");
        ratio("back_to_back_throughput", "BackToBack", "ReusingBaseline", "throughput",
              "throughput (goal: at least 0.7)");
        ratio("back_to_back_cpu_per_report", "BackToBack", "ReusingBaseline", "cpu_ns_per_report",
              "CPU per report (goal: at most 1.5)");
        ratio("paced_cpu_per_report", "Paced", "Baseline", "cpu_ns_per_report",
              "CPU per report (goal: at most 1.5)");
        ratio("paced_latency_p50", "Paced", "Baseline", "latency_p50_ns", "latency, median");
        ratio("paced_latency_p99", "Paced", "Baseline", "latency_p99_ns",
              "latency, 99th percentile");
        std::printf("For reference, against the baseline that never reuses its ring:\n");
        ratio("back_to_back_throughput_fresh_ring", "BackToBack", "Baseline", "throughput",
              "throughput");
        ratio("back_to_back_cpu_per_report_fresh_ring", "BackToBack", "Baseline",
              "cpu_ns_per_report", "CPU per report");
        std::printf("\n");
        for (const auto& [name, value] : ratios) std::printf("%s = %.3f\n", name.c_str(), value);
    }

  private:
    using Figures = std::map<std::string, std::vector<double>>;

    double median(const std::string& function, const std::string& figure) {
        std::vector<double>& values = measured["BM_" + function][figure];
        if (values.empty()) return 0;
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    }
    void ratio(const std::string& name, const std::string& load, const std::string& baselineName,
               const std::string& figure, const char* label) {
        const double library = median(load + "_Library", figure);
        const double baseline = median(load + "_" + baselineName, figure);
        if (library == 0 || baseline == 0) return;
        std::printf("  %-10s %-38s %12.4g / %12.4g = %.2f\n", load.c_str(), label, library,
                    baseline, library / baseline);
        ratios.emplace_back(name + "_ratio", library / baseline);
    }

    std::map<std::string, Figures> measured;
    std::vector<std::pair<std::string, double>> ratios;  // in the order printed
};

}  // namespace

int main(int argc, char** argv) {
    // Interleaved, so a change in the machine's speed during the run hits both paths alike.
    std::vector<char*> arguments(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave.data());
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
