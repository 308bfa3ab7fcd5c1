// The link to the board: finds and opens it by vendor and product id, reopens it after a failed
// transfer, and reads or writes one report at a time in each direction.
#pragma once

#include "hid_backend.h"
#include "report.h"
#include "stop_signal.h"
#include "timing.h"
#include "variant.h"

#include <atomic>
#include <condition_variable>
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
    // Makes the runtime's objects of the link's locks now, so that no later use of them, Done's
    // included, can fail; throws std::system_error when one cannot be made.
    void makeReady();

    // Reads one input report; on success data holds its 64 bytes after the report id. Called
    // by one thread at a time: the reader.
    bool ReadReport(ReportData& data);
    // Writes one output report framed around the payload.
    bool WriteReport(const Payload& payload);
    // Ends the transfers in flight at once and fails every later one without a search: for
    // Done, which must not wait for a board that does not answer.
    void StopTransfers();

  private:
    // One opened device, shared by the link and the transfers in flight on it, so the handle
    // closes only when all of them have let go: a reopen never closes it under the other
    // direction's transfer. Its reads can be ended for good. Windows gives every open handle
    // its own copy of each input report, so a read still pending on the old handle when the
    // new one opens could hand the host a report that the next read on the new handle hands it
    // again: a reopen ends the old handle's read, and waits for it, before it searches.
    class LinkedDevice {
      public:
        // Throws std::system_error when the runtime cannot make its locks' objects: a device
        // that could not be ended later is not taken.
        LinkedDevice(std::unique_ptr<HidDevice> device, std::uint64_t generation);
        TransferResult read(Report& report, unsigned timeoutMs);
        TransferResult write(const Report& report, unsigned timeoutMs, StopSignal& stop) {
            return device->write(report, timeoutMs, stop);
        }
        // Returns once the read in flight, if any, has ended; later reads are refused.
        void endReads();

        const std::unique_ptr<HidDevice> device;
        // Which of the link's devices this is: the link's count of device changes when it
        // opened. A failure marks the link only while this is still the link's device.
        const std::uint64_t generation;

      private:
        static constexpr unsigned kReading = 1;  // a read is in flight
        static constexpr unsigned kEnded = 2;    // reads are refused from now on
        void readHasEnded();

        StopSignal readsEnded;  // the read's own stop wake-up ends it: CancelIo needs its thread
        // Two flags in one word, so a read costs the reader two atomic steps and no lock; the
        // lock and the condition serve only endReads, which waits for the read in flight.
        std::atomic<unsigned> readState{0};
        std::mutex endLock;
        std::condition_variable readDone;
    };

    std::shared_ptr<LinkedDevice> reopenCheck();
    void dropMarkedDevice();
    bool FindDevice();
    bool isTarget(const HidInterface& candidate) const;
    bool reopenNeeded(std::uint64_t generation) const;
    bool transferSucceeded(TransferResult result, std::uint64_t generation);
    LinkedDevice* deviceForRead();

    HidBackend& backend;
    const unsigned ioTimeoutMs;

    // Guards the reopen check: closing a marked device and the search.
    std::mutex deviceLock;
    std::shared_ptr<LinkedDevice> device;     // guarded by deviceLock
    std::uint16_t vendorId = kBoardVendorId;  // guarded by deviceLock
    std::uint16_t productId = 0;              // guarded by deviceLock
    // Counts the changes of device, so a thread can tell that the device it holds is still the
    // link's without taking deviceLock. Changed under deviceLock.
    std::atomic<std::uint64_t> deviceGeneration{0};
    // The newest generation a transfer failed on, set without the lock. The link is marked for
    // reopening while that is its current device: a failure on a device that a reopen already
    // replaced marks nothing, and a new device starts unmarked.
    std::atomic<std::uint64_t> failedGeneration{0};
    StopSignal stopRequest;

    // The reader keeps the device of its last successful read. While no transfer has failed
    // and the device is still the link's, a reopen check would change nothing, so the next
    // read goes ahead without one: the input path then costs no lock of the link per report.
    // The reader's alone.
    std::shared_ptr<LinkedDevice> readerDevice;
};
