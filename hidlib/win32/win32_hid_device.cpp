#include "win32_hid_device.h"

#include "runtime_objects.h"

#include <new>

// The record's size differs between the architectures: checked for both when they are built.
#if defined(_WIN64)
static_assert(sizeof(OVERLAPPED) == 32, "overlapped record on x86_64");
#else
static_assert(sizeof(OVERLAPPED) == 20, "overlapped record on i686");
#endif

namespace {

constexpr DWORD kCompleted = WAIT_OBJECT_0;
constexpr DWORD kStopRequested = WAIT_OBJECT_0 + 1;

}  // namespace

Win32HidDevice::TransferSlot::~TransferSlot() {
    if (completed) CloseHandle(completed);
    if (stopRequested) CloseHandle(stopRequested);
}

std::unique_ptr<HidDevice> Win32HidDevice::open(HANDLE handle) {
    std::unique_ptr<Win32HidDevice> device(new (std::nothrow) Win32HidDevice(handle));
    if (!device) {
        CloseHandle(handle);
        return nullptr;
    }
    const bool eventsMade = device->readSlot.completed && device->readSlot.stopRequested &&
                            device->writeSlot.completed && device->writeSlot.stopRequested;
    if (!eventsMade) return nullptr;  // closes the handle
    // Throws, closing the handle, when the runtime cannot make the locks' objects.
    makeReady(device->readSlot.busy);
    makeReady(device->writeSlot.busy);
    return device;
}

// A read that brings fewer bytes than a report is no report: its buffer would still hold the
// previous one's bytes.
TransferResult Win32HidDevice::read(Report& report, unsigned timeoutMs, StopSignal& stop) {
    std::lock_guard<std::mutex> guard(readSlot.busy);
    TransferResult result = transfer(readSlot, Direction::Read, timeoutMs, stop);
    if (result != TransferResult::Completed) return result;
    if (readSlot.transferred != kReportSize) return TransferResult::Failed;
    report = readSlot.buffer;
    return result;
}

TransferResult Win32HidDevice::write(const Report& report, unsigned timeoutMs, StopSignal& stop) {
    std::lock_guard<std::mutex> guard(writeSlot.busy);
    writeSlot.buffer = report;
    return transfer(writeSlot, Direction::Write, timeoutMs, stop);
}

// Waits for the transfer's completion, its time limit and a stop request together. The thread
// that started the transfer is the one that cancels it: CancelIo reaches only the calling
// thread's I/O (CancelIoEx, which could reach another's, does not exist on Windows XP).
TransferResult Win32HidDevice::transfer(TransferSlot& slot, Direction direction, unsigned timeoutMs,
                                        StopSignal& stop) {
    if (!slot.completed || !slot.stopRequested) return TransferResult::Failed;
    // Every call into the system is a kernel transition (under Wine, a call to its server) on the
    // path of each report, so the transfer makes only those it needs: the stop event is reset
    // only after a wake-up set it, and the completion event not at all, since ReadFile and
    // WriteFile reset the record's event when they start.
    if (slot.stopSignalled.exchange(false)) ResetEvent(slot.stopRequested);
    StopSignal::WakeUp wakeUp(stop, [&slot] {
        slot.stopSignalled = true;
        SetEvent(slot.stopRequested);
    });
    if (stop.requested()) return TransferResult::Stopped;

    slot.overlapped = OVERLAPPED{};
    slot.overlapped.hEvent = slot.completed;
    if (start(slot, direction)) return finish(slot, kCompleted);  // done at once: no wait
    if (GetLastError() != ERROR_IO_PENDING) {
        return TransferResult::Failed;  // refused at once: nothing is in flight
    }
    const HANDLE events[] = {slot.completed, slot.stopRequested};
    return finish(slot, WaitForMultipleObjects(2, events, FALSE, timeoutMs));
}

BOOL Win32HidDevice::start(TransferSlot& slot, Direction direction) {
    if (direction == Direction::Read) {
        return ReadFile(handle, slot.buffer.data(), kReportSize, nullptr, &slot.overlapped);
    }
    return WriteFile(handle, slot.buffer.data(), kReportSize, nullptr, &slot.overlapped);
}

// Ends the transfer whatever the wait saw, and only then gives the buffer and the record back:
// a cancelled transfer is waited for until it has really ended. A transfer that completed
// before the cancel took hold counts as completed, with its bytes.
TransferResult Win32HidDevice::finish(TransferSlot& slot, DWORD waited) {
    if (waited != kCompleted) CancelIo(handle);
    slot.transferred = 0;
    if (GetOverlappedResult(handle, &slot.overlapped, &slot.transferred, TRUE)) {
        return TransferResult::Completed;
    }
    if (waited != kCompleted && GetLastError() == ERROR_OPERATION_ABORTED) {
        return waited == kStopRequested ? TransferResult::Stopped : TransferResult::TimedOut;
    }
    return TransferResult::Failed;
}
