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
    std::shared_ptr<HidDevice> openDevice = reopenCheck();
    if (!openDevice) return false;
    Report report{};
    if (!transferSucceeded(openDevice->read(report, ioTimeoutMs, stopRequest))) return false;
    std::copy(report.begin() + 1, report.end(), data.begin());
    return true;
}

bool CUsbhidioc::WriteReport(const Payload& payload) {
    if (payload.length == 0 || payload.length > kMaxPayloadLength) return false;
    std::shared_ptr<HidDevice> openDevice = reopenCheck();
    // A transfer of another thread may have failed since the check; this handle is on its way out.
    if (!openDevice || reopenNeeded) return false;
    return transferSucceeded(openDevice->write(frameReport(payload), ioTimeoutMs, stopRequest));
}

// Returns the device this transfer may use, or null when none is open or transfers are stopped.
std::shared_ptr<HidDevice> CUsbhidioc::reopenCheck() {
    std::lock_guard<std::mutex> guard(deviceLock);
    if (stopRequest.requested()) return nullptr;
    if (reopenNeeded && device) device.reset();
    if (!device) FindDevice();
    return device;
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
