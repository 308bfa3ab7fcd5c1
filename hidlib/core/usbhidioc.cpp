#include "usbhidioc.h"

#include <algorithm>

CUsbhidioc::CUsbhidioc(HidBackend& backend, unsigned ioTimeoutMs)
    : backend(backend), ioTimeoutMs(ioTimeoutMs) {}

void CUsbhidioc::SetDeviceIds(std::uint16_t targetVendorId, std::uint16_t targetProductId) {
    std::lock_guard<std::mutex> guard(deviceLock);
    vendorId = targetVendorId;
    productId = targetProductId;
}

bool CUsbhidioc::ReadReport(ReportData& data) {
    // The reader's copy holds the device until the read has ended.
    HidDevice* openDevice = deviceForRead();
    if (!openDevice) return false;
    Report report{};
    const bool read = transferSucceeded(openDevice->read(report, ioTimeoutMs, stopRequest));
    // A device that failed, or that another thread replaced meanwhile, is not kept: its handle
    // closes as soon as the last transfer lets go of it, as without the reader's copy.
    if (!read || readerDevice.generation != deviceGeneration.load(std::memory_order_acquire)) {
        readerDevice = OpenDevice{};
    }
    if (!read) return false;
    std::copy(report.begin() + 1, report.end(), data.begin());
    return true;
}

HidDevice* CUsbhidioc::deviceForRead() {
    const bool stillTheLinks =
        readerDevice.device && !reopenNeeded && !stopRequest.requested() &&
        readerDevice.generation == deviceGeneration.load(std::memory_order_acquire);
    if (!stillTheLinks) {
        readerDevice = OpenDevice{};  // let go first, so a reopen can close it before searching
        readerDevice = reopenCheck();
    }
    return readerDevice.device.get();
}

bool CUsbhidioc::WriteReport(const Payload& payload) {
    if (payload.length == 0 || payload.length > kMaxPayloadLength) return false;
    std::shared_ptr<HidDevice> openDevice = reopenCheck().device;
    // A transfer of another thread may have failed since the check; this handle is on its way out.
    if (!openDevice || reopenNeeded) return false;
    return transferSucceeded(openDevice->write(frameReport(payload), ioTimeoutMs, stopRequest));
}

// Returns the device this transfer may use, or none when none is open or transfers are stopped.
CUsbhidioc::OpenDevice CUsbhidioc::reopenCheck() {
    std::lock_guard<std::mutex> guard(deviceLock);
    if (stopRequest.requested()) return {};
    if (reopenNeeded && device) {
        device.reset();
        ++deviceGeneration;
    }
    if (!device && FindDevice()) ++deviceGeneration;
    return OpenDevice{device, deviceGeneration.load(std::memory_order_relaxed)};
}

// Opens the first interface, in the system's order, that opens and carries the target ids.
bool CUsbhidioc::FindDevice() {
    reopenNeeded = false;
    std::unique_ptr<HidInterfaceList> interfaces = backend.listPresentInterfaces();
    if (!interfaces) return false;
    for (std::size_t index = 0;; ++index) {
        HidInterface candidate;
        if (!interfaces->openInterface(index, candidate)) return false;
        if (isTarget(candidate)) {
            device = std::move(candidate.device);
            return true;
        }
        // Any other interface that opened is closed here, as candidate goes out of scope.
    }
}

bool CUsbhidioc::isTarget(const HidInterface& candidate) const {
    return candidate.device && candidate.vendorId == vendorId && candidate.productId == productId;
}

bool CUsbhidioc::transferSucceeded(TransferResult result) {
    if (result == TransferResult::Completed) return true;
    // The board may be gone or hung: the next transfer of either direction closes and searches.
    reopenNeeded = true;
    return false;
}
