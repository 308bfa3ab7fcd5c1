// Any bytes as an input report of the board, through the reader thread, the queue and
// GetPacket into a host buffer of exactly 64 bytes: nothing may be written past it, and the
// host gets the report's meaningful bytes as the count byte gives them, at most 64.
#include "hid_test_support.h"
#include "usb_channel.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// A read that timed out would close the handle, and a report sent before the next one opens is
// lost, as on Windows: reads here wait for the next report instead.
constexpr unsigned kReadsNeverTimeOutMs = 3'600'000;

struct Library {
    VirtualBoard board;
    RecordingNotifier notifier;
    CUsbChannel channel;
    std::size_t reports = 0;

    Library()
        : channel((board.addInterface(kHbv7.vendorId, kHbv7.productId), board), kHbv7, notifier,
                  NotifyTarget{1, kFirstPrivateMessage}, kReadsNeverTimeOutMs) {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Library library;
    Report report{};
    std::memcpy(report.data() + 1, data, std::min(size, kReportDataSize));
    if (!library.board.waitUntilOpen(0, std::chrono::seconds(5))) std::abort();
    library.board.sendInputReport(report);
    if (!library.notifier.waitForCount(++library.reports)) std::abort();

    auto host = std::make_unique<uint8_t[]>(kReportDataSize);  // ASan guards its end
    const int32_t count = library.channel.GetPacket(host.get());
    const uint8_t announced = report[kReportSize - 1];
    if (count != std::min<int32_t>(announced, kReportDataSize)) std::abort();
    if (std::memcmp(host.get(), report.data() + 1, count) != 0) std::abort();
    return 0;
}
