// One open HID interface on Windows: overlapped reads and writes of one report on a handle
// opened with FILE_FLAG_OVERLAPPED, each direction with its own event, record and buffer.
// Any handle that behaves like a device serves, which is how the tests drive it.
#pragma once

#include "hid_backend.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>

class Win32HidDevice : public HidDevice {
  public:
    // Takes over the handle and closes it when destroyed.
    explicit Win32HidDevice(HANDLE handle) : handle(handle) {}
    // The device over the handle, or null, with the handle closed, when the device or its
    // events cannot be made (out of memory, out of handles); throws std::system_error, with
    // the handle closed, when the runtime cannot make its locks' objects.
    static std::unique_ptr<HidDevice> open(HANDLE handle);
    // No transfer is in flight here: each one ends before its call returns.
    ~Win32HidDevice() override { CloseHandle(handle); }
    Win32HidDevice(const Win32HidDevice&) = delete;
    Win32HidDevice& operator=(const Win32HidDevice&) = delete;

    TransferResult read(Report& report, unsigned timeoutMs, StopSignal& stop) override;
    TransferResult write(const Report& report, unsigned timeoutMs, StopSignal& stop) override;

  private:
    enum class Direction { Read, Write };

    // One direction's events, overlapped record and report buffer. One transfer at a time
    // uses it; the record and the buffer belong to the system until that transfer has ended.
    struct TransferSlot {
        std::mutex busy;
        HANDLE completed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE stopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        // Set with stopRequested by the wake-up, so the event is reset only after it fired.
        std::atomic<bool> stopSignalled{false};
        OVERLAPPED overlapped{};
        Report buffer{};
        DWORD transferred = 0;  // by the last transfer that completed

        TransferSlot() = default;
        TransferSlot(const TransferSlot&) = delete;
        TransferSlot& operator=(const TransferSlot&) = delete;
        ~TransferSlot();
    };

    TransferResult transfer(TransferSlot& slot, Direction direction, unsigned timeoutMs,
                            StopSignal& stop);
    BOOL start(TransferSlot& slot, Direction direction);
    TransferResult finish(TransferSlot& slot, DWORD waited);

    HANDLE handle;
    TransferSlot readSlot;
    TransferSlot writeSlot;
};
