// Shared by the HID library's tests.
#pragma once

#include "commands.h"
#include "notifier.h"
#include "report.h"
#include "usbhidioc.h"
#include "variant.h"
#include "virtual_board.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <vector>

// The link's time limit in native tests: a timed-out transfer costs this, not a second.
constexpr unsigned kShortTimeoutMs = 20;
// Bound on waiting for a held transfer to arrive; only reached when something is broken.
constexpr std::chrono::seconds kHoldWait{10};

using Direction = VirtualBoard::Direction;
using Fault = VirtualBoard::Fault;

inline Report reportWith(std::initializer_list<std::pair<int, int>> bytes) {
    Report report{};
    for (const auto& [position, value] : bytes) report[position] = static_cast<std::uint8_t>(value);
    return report;
}

inline std::vector<Report> reportBytes(const std::vector<VirtualBoard::WrittenReport>& written) {
    std::vector<Report> bytes;
    for (const auto& report : written) bytes.push_back(report.bytes);
    return bytes;
}

// Stands in for the host's window: records every announcement and lets a test wait for them.
class RecordingNotifier : public PacketNotifier {
  public:
    void packetQueued(const NotifyTarget& target) override {
        std::lock_guard<std::mutex> guard(lock);
        announced.push_back(target);
        changed.notify_all();
    }
    bool waitForCount(std::size_t count, std::chrono::milliseconds limit = kHoldWait) {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, limit, [&] { return announced.size() >= count; });
    }
    std::vector<NotifyTarget> targets() const {
        std::lock_guard<std::mutex> guard(lock);
        return announced;
    }

  private:
    mutable std::mutex lock;
    std::condition_variable changed;
    std::vector<NotifyTarget> announced;
};

// Runs work on a thread of its own; a run that does not end in time is a deadlock, and the
// test program is ended, since its threads cannot be taken back.
inline void runOrAbort(std::chrono::seconds limit, const std::function<void()>& work) {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::thread runner([&] {
        work();
        std::lock_guard<std::mutex> guard(lock);
        done = true;
        finished.notify_all();
    });
    std::unique_lock<std::mutex> guard(lock);
    if (!finished.wait_for(guard, limit, [&] { return done; })) {
        std::fprintf(stderr, "Deadlock: the threads did not finish within %lld s\n",
                     static_cast<long long>(limit.count()));
        std::abort();
    }
    guard.unlock();
    runner.join();
}

// A link to one HBV7 board with the short time limit, for tests of one transfer after another.
template <typename Param>
class LinkToOneBoard : public ::testing::TestWithParam<Param> {
  protected:
    VirtualBoard board;
    std::size_t boardInterface = board.addInterface(kHbv7.vendorId, kHbv7.productId);
    CUsbhidioc link{board, kShortTimeoutMs};

    void SetUp() override { link.SetDeviceIds(kHbv7.vendorId, kHbv7.productId); }

    bool writeQuery() { return link.WriteReport(makeQueryVersionPayload()); }
    bool readOne() {
        ReportData data;
        return link.ReadReport(data);
    }
    // Reads one report that the board sends while the read is pending, so it reaches the
    // handle the read's own reopen check chose.
    bool readOneSentMeanwhile() {
        board.holdNext(Direction::Read);
        bool read = false;
        std::thread reader([&] { read = readOne(); });
        const bool held = board.waitUntilHeld(Direction::Read, kHoldWait);
        board.sendInputReport(Report{});
        board.releaseHeld(Direction::Read);
        reader.join();
        return held && read;
    }
};

class LinkToOneBoardTest : public LinkToOneBoard<int> {};
