#include "usbhidioc.h"

#include "runtime_objects.h"

#include <algorithm>
#include <new>

CUsbhidioc::CUsbhidioc(HidBackend& backend, unsigned ioTimeoutMs)
    : backend(backend), ioTimeoutMs(ioTimeoutMs) {}

void CUsbhidioc::SetDeviceIds(std::uint16_t targetVendorId, std::uint16_t targetProductId) {
    std::lock_guard<std::mutex> guard(deviceLock);
    vendorId = targetVendorId;
    productId = targetProductId;
}

void CUsbhidioc::makeReady() {
    ::makeReady(deviceLock);
    stopRequest.makeReady();
}

CUsbhidioc::LinkedDevice::LinkedDevice(std::unique_ptr<HidDevice> device, std::uint64_t generation)
    : device(std::move(device)), generation(generation) {
    ::makeReady(readDone, endLock);
    readsEnded.makeReady();
}

bool CUsbhidioc::ReadReport(ReportData& data) {
    // The reader's copy holds the device until the read has ended.
    LinkedDevice* openDevice = deviceForRead();
    if (!openDevice) return false;
    Report report{};
    const bool read =
        transferSucceeded(openDevice->read(report, ioTimeoutMs), openDevice->generation);
    // A device that failed, or that another thread replaced meanwhile, is not kept: its handle
    // closes as soon as the last transfer lets go of it.
    if (!read || openDevice->generation != deviceGeneration.load(std::memory_order_acquire)) {
        readerDevice.reset();
    }
    if (!read) return false;
    std::copy(report.begin() + 1, report.end(), data.begin());
    return true;
}

CUsbhidioc::LinkedDevice* CUsbhidioc::deviceForRead() {
    const bool stillTheLinks =
        readerDevice && !reopenNeeded(readerDevice->generation) && !stopRequest.requested() &&
        readerDevice->generation == deviceGeneration.load(std::memory_order_acquire);
    if (!stillTheLinks) {
        readerDevice.reset();  // let go first, so a reopen can close it before searching
        readerDevice = reopenCheck();
    }
    return readerDevice.get();
}

bool CUsbhidioc::WriteReport(const Payload& payload) {
    if (payload.length == 0 || payload.length > kMaxPayloadLength) return false;
    std::shared_ptr<LinkedDevice> openDevice = reopenCheck();
    // A transfer of another thread may have failed since the check; this handle is on its way out.
    if (!openDevice || reopenNeeded(openDevice->generation)) return false;
    return transferSucceeded(openDevice->write(frameReport(payload), ioTimeoutMs, stopRequest),
                             openDevice->generation);
}

void CUsbhidioc::StopTransfers() {
    stopRequest.request();  // ends the writes in flight and refuses every later transfer
    std::lock_guard<std::mutex> guard(deviceLock);
    if (device) device->endReads();
}

// Returns the device this transfer may use, or none when none is open or transfers are stopped.
std::shared_ptr<CUsbhidioc::LinkedDevice> CUsbhidioc::reopenCheck() {
    std::lock_guard<std::mutex> guard(deviceLock);
    if (stopRequest.requested()) return nullptr;
    if (device && reopenNeeded(device->generation)) dropMarkedDevice();
    if (!device) FindDevice();
    return device;
}

// A write in flight on the old handle goes on: it cannot bring a report twice, and its failure
// no longer marks the link.
void CUsbhidioc::dropMarkedDevice() {
    device->endReads();
    device.reset();
    ++deviceGeneration;
}

// Opens the first interface, in the system's order, that opens and carries the target ids.
// The new device's generation is newer than any failure, so it starts unmarked.
bool CUsbhidioc::FindDevice() {
    try {
        std::unique_ptr<HidInterfaceList> interfaces = backend.listPresentInterfaces();
        if (!interfaces) return false;
        for (std::size_t index = 0;; ++index) {
            HidInterface candidate;
            if (!interfaces->openInterface(index, candidate)) return false;
            if (isTarget(candidate)) {
                // Should this allocation fail, candidate still owns the device and closes it.
                device = std::make_shared<LinkedDevice>(std::move(candidate.device),
                                                        deviceGeneration.load() + 1);
                ++deviceGeneration;
                return true;
            }
            // Any other interface that opened is closed here, as candidate goes out of scope.
        }
    } catch (...) {
        // Out of memory or of system objects: no board this time; the transfer fails and the
        // caller tries again later.
        return false;
    }
}

bool CUsbhidioc::isTarget(const HidInterface& candidate) const {
    return candidate.device && candidate.vendorId == vendorId && candidate.productId == productId;
}

// True once a transfer on this device, or on a newer one, has failed.
bool CUsbhidioc::reopenNeeded(std::uint64_t generation) const {
    return failedGeneration.load(std::memory_order_acquire) >= generation;
}

bool CUsbhidioc::transferSucceeded(TransferResult result, std::uint64_t generation) {
    if (result == TransferResult::Completed) return true;
    // The board may be gone or hung: the next transfer of either direction closes and searches,
    // if the device is still the link's by then.
    std::uint64_t failed = failedGeneration.load(std::memory_order_relaxed);
    while (failed < generation &&
           !failedGeneration.compare_exchange_weak(failed, generation, std::memory_order_release)) {
    }
    return false;
}

TransferResult CUsbhidioc::LinkedDevice::read(Report& report, unsigned timeoutMs) {
    if (readState.fetch_or(kReading) & kEnded) {
        readHasEnded();
        return TransferResult::Stopped;
    }
    struct ReadEnds {
        LinkedDevice& linked;
        ~ReadEnds() { linked.readHasEnded(); }
    } readEnds{*this};
    return device->read(report, timeoutMs, readsEnded);
}

void CUsbhidioc::LinkedDevice::readHasEnded() {
    if (!(readState.fetch_and(~kReading) & kEnded)) return;
    // endReads may be waiting: taking its lock first means it either sees the flag cleared or
    // is already waiting when told.
    std::lock_guard<std::mutex> guard(endLock);
    readDone.notify_all();
}

void CUsbhidioc::LinkedDevice::endReads() {
    readState.fetch_or(kEnded);
    readsEnded.request();
    std::unique_lock<std::mutex> guard(endLock);
    readDone.wait(guard, [this] { return !(readState.load() & kReading); });
}
