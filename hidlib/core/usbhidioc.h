// The link to the board: finds and opens it by vendor and product id, reopens it after a failed
// transfer, and reads or writes one report at a time in each direction.
#pragma once

#include "hid_backend.h"
#include "report.h"
#include "timing.h"
#include "variant.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class CUsbhidioc {
  public:
    // The backend must outlive the link. Tests shorten the time limit; the library never does.
    explicit CUsbhidioc(HidBackend& backend, unsigned ioTimeoutMs = kIoTimeoutMs);
    virtual ~CUsbhidioc() = default;
    CUsbhidioc(const CUsbhidioc&) = delete;
    CUsbhidioc& operator=(const CUsbhidioc&) = delete;

    void SetDeviceIds(std::uint16_t vendorId, std::uint16_t productId);

    // Reads one input report; on success data holds its 64 bytes after the report id. Called
    // by one thread at a time: the reader.
    bool ReadReport(ReportData& data);
    // Writes one output report framed around the payload.
    bool WriteReport(const Payload& payload);
    // Ends the transfers in flight at once and fails every later one without a search: for
    // Done, which must not wait for a board that does not answer.
    void StopTransfers() { stopRequest.request(); }

  private:
    struct OpenDevice {
        std::shared_ptr<HidDevice> device;
        std::uint64_t generation = 0;
    };
    OpenDevice reopenCheck();
    HidDevice* deviceForRead();
    bool FindDevice();
    bool isTarget(const HidInterface& candidate) const;
    bool transferSucceeded(TransferResult result);

    HidBackend& backend;
    const unsigned ioTimeoutMs;

    // Guards the reopen check: closing a marked device and the search.
    std::mutex deviceLock;
    // Set by a failed transfer without the lock; the next reopen check closes and searches.
    std::atomic<bool> reopenNeeded{false};
    // Shared with every transfer in flight on it, so the handle closes only when the link and
    // all of them have let go: a reopen never closes it under the other direction's transfer.
    std::shared_ptr<HidDevice> device;        // guarded by deviceLock
    std::uint16_t vendorId = kBoardVendorId;  // guarded by deviceLock
    std::uint16_t productId = 0;              // guarded by deviceLock
    // Counts the changes of device, so a thread can tell that the device it holds is still the
    // link's without taking deviceLock. Changed under deviceLock.
    std::atomic<std::uint64_t> deviceGeneration{0};
    StopSignal stopRequest;

    // The reader keeps the device of its last successful read. While no transfer has failed
    // and the device is still the link's, a reopen check would change nothing, so the next
    // read goes ahead without one: the input path then costs no lock and no shared count per
    // report. When another thread reopens the link between two reads, the old handle closes
    // at the reader's next read rather than at the reopen. The reader's alone.
    OpenDevice readerDevice;
};
