// The real Windows backend under Wine. The board is not here, but Wine lists HID interfaces of
// its own (vendor 0x845E): a mouse (0x0001) that opens for reading and writing, never sends a
// report here and has no output report, so a read on it times out and a write fails.
#include "commands.h"
#include "usbhidioc.h"
#include "variant.h"
#include "win32_hid_backend.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

constexpr std::uint16_t kWineVendorId = 0x845E;
constexpr std::uint16_t kWineMouseId = 0x0001;
constexpr std::size_t kMostInterfaces = 256;  // bounds the walk should the list never end

using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Counts the device searches the link makes through the real backend.
class CountingBackend : public HidBackend {
  public:
    int searches = 0;
    std::unique_ptr<HidInterfaceList> listPresentInterfaces() override {
        ++searches;
        return real.listPresentInterfaces();
    }

  private:
    Win32HidBackend real;
};

std::unique_ptr<HidDevice> openWineMouse(HidBackend& backend) {
    std::unique_ptr<HidInterfaceList> interfaces = backend.listPresentInterfaces();
    if (!interfaces) return nullptr;
    for (std::size_t index = 0; index < kMostInterfaces; ++index) {
        HidInterface candidate;
        if (!interfaces->openInterface(index, candidate)) break;
        if (candidate.device && candidate.vendorId == kWineVendorId &&
            candidate.productId == kWineMouseId) {
            return std::move(candidate.device);
        }
    }
    return nullptr;
}

TEST(Win32Backend, WalksWinesInterfacesAndFindsNoBoard) {
    Win32HidBackend backend;
    std::unique_ptr<HidInterfaceList> interfaces = backend.listPresentInterfaces();
    ASSERT_TRUE(interfaces);
    int wineInterfaces = 0;
    int boards = 0;
    std::size_t index = 0;
    for (; index < kMostInterfaces; ++index) {
        HidInterface candidate;
        if (!interfaces->openInterface(index, candidate)) break;
        if (!candidate.device) continue;
        if (candidate.vendorId == kWineVendorId) ++wineInterfaces;
        if (candidate.vendorId == kBoardVendorId) ++boards;
    }
    EXPECT_LT(index, kMostInterfaces) << "the list ends";
    EXPECT_GE(wineInterfaces, 1);
    EXPECT_EQ(boards, 0);

    for (const BoardVariant* model : {&kHbv7, &kHbv5}) {
        CUsbhidioc link(backend);
        link.SetDeviceIds(model->vendorId, model->productId);
        EXPECT_FALSE(link.WriteReport(makeQueryVersionPayload())) << model->name;
    }
}

TEST(Win32Backend, OnWinesMouseAReadTimesOutAfterTheLimitAndAWriteFails) {
    Win32HidBackend backend;
    std::unique_ptr<HidDevice> mouse = openWineMouse(backend);
    ASSERT_TRUE(mouse);
    Report report{};
    StopSignal noStop;

    const auto start = Clock::now();
    EXPECT_EQ(mouse->read(report, kIoTimeoutMs, noStop), TransferResult::TimedOut);
    const long long elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 950);
    EXPECT_LT(elapsed, 3000);

    // The cancelled read has ended: its event, record and buffer serve the next read at once.
    EXPECT_EQ(mouse->read(report, 100, noStop), TransferResult::TimedOut);
    // The mouse has no output report: the write ends with an error, which is no time-out.
    EXPECT_EQ(mouse->write(frameReport(makeQueryVersionPayload()), kIoTimeoutMs, noStop),
              TransferResult::Failed);
}

TEST(Win32Backend, AWriteThatFailsIsReportedAsFailedAndMarksTheLinkForReopening) {
    CountingBackend backend;
    CUsbhidioc link(backend, 200);
    link.SetDeviceIds(kWineVendorId, kWineMouseId);

    EXPECT_FALSE(link.WriteReport(makeQueryVersionPayload()));
    EXPECT_EQ(backend.searches, 1) << "the mouse was found and opened";

    ReportData data;
    EXPECT_FALSE(link.ReadReport(data));
    EXPECT_EQ(backend.searches, 2) << "the failed write made the read search again";
}

}  // namespace
