#include "win32_hid_backend.h"

#include <windows.h>
#include <setupapi.h>
// MinGW's HID headers lack the C linkage block; without it every HidD_ call fails to link.
extern "C" {
#include <hidsdi.h>
}

#include <mutex>
#include <string>
#include <vector>

// Windows and Wine accept only the exact size of these records in their size fields, and the
// size differs between the architectures. The i686 build cannot run here, so check both.
#if defined(_WIN64)
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8, "detail header on x86_64");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 32, "interface record on x86_64");
static_assert(sizeof(OVERLAPPED) == 32, "overlapped record on x86_64");
#else
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "detail header on i686");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "interface record on i686");
static_assert(sizeof(OVERLAPPED) == 20, "overlapped record on i686");
#endif
static_assert(sizeof(HIDD_ATTRIBUTES) == 12, "attribute record");

namespace {

enum class Direction { Read, Write };

// One direction's completion event, overlapped record and report buffer. One transfer at a
// time uses it; the record and the buffer belong to the system until that transfer has ended.
struct TransferSlot {
    std::mutex busy;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED overlapped{};
    Report buffer{};

    TransferSlot() = default;
    TransferSlot(const TransferSlot&) = delete;
    TransferSlot& operator=(const TransferSlot&) = delete;
    ~TransferSlot() {
        if (event) CloseHandle(event);
    }
};

class Win32HidDevice : public HidDevice {
  public:
    explicit Win32HidDevice(HANDLE handle) : handle(handle) {}
    // No transfer is in flight here: each one ends before its call returns.
    ~Win32HidDevice() override { CloseHandle(handle); }

    TransferResult read(Report& report, unsigned timeoutMs) override {
        std::lock_guard<std::mutex> guard(readSlot.busy);
        TransferResult result = transfer(readSlot, Direction::Read, timeoutMs);
        if (result == TransferResult::Completed) report = readSlot.buffer;
        return result;
    }

    TransferResult write(const Report& report, unsigned timeoutMs) override {
        std::lock_guard<std::mutex> guard(writeSlot.busy);
        writeSlot.buffer = report;
        return transfer(writeSlot, Direction::Write, timeoutMs);
    }

  private:
    TransferResult transfer(TransferSlot& slot, Direction direction, unsigned timeoutMs);
    BOOL start(TransferSlot& slot, Direction direction);

    HANDLE handle;
    TransferSlot readSlot;
    TransferSlot writeSlot;
};

TransferResult Win32HidDevice::transfer(TransferSlot& slot, Direction direction,
                                        unsigned timeoutMs) {
    if (!slot.event) return TransferResult::Failed;
    ResetEvent(slot.event);
    slot.overlapped = OVERLAPPED{};
    slot.overlapped.hEvent = slot.event;
    if (!start(slot, direction) && GetLastError() != ERROR_IO_PENDING) {
        return TransferResult::Failed;  // refused at once: nothing is in flight
    }
    const bool signalled = WaitForSingleObject(slot.event, timeoutMs) == WAIT_OBJECT_0;
    // CancelIo reaches only this thread's I/O on the handle, which is the transfer started above.
    if (!signalled) CancelIo(handle);
    // Waiting here until the transfer has really ended keeps the buffer and the record ours
    // again before they are reused. A transfer that completed before the cancel took hold counts.
    DWORD transferred = 0;
    if (GetOverlappedResult(handle, &slot.overlapped, &transferred, TRUE)) {
        return TransferResult::Completed;
    }
    if (!signalled && GetLastError() == ERROR_OPERATION_ABORTED) return TransferResult::TimedOut;
    return TransferResult::Failed;
}

BOOL Win32HidDevice::start(TransferSlot& slot, Direction direction) {
    if (direction == Direction::Read) {
        return ReadFile(handle, slot.buffer.data(), kReportSize, nullptr, &slot.overlapped);
    }
    return WriteFile(handle, slot.buffer.data(), kReportSize, nullptr, &slot.overlapped);
}

class Win32InterfaceList : public HidInterfaceList {
  public:
    Win32InterfaceList() {
        HidD_GetHidGuid(&hidGuid);
        devices =
            SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    }
    Win32InterfaceList(const Win32InterfaceList&) = delete;
    Win32InterfaceList& operator=(const Win32InterfaceList&) = delete;
    ~Win32InterfaceList() override {
        if (devices != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(devices);
    }

    bool openInterface(std::size_t index, HidInterface& opened) override;

  private:
    std::string devicePath(SP_DEVICE_INTERFACE_DATA& interfaceData);

    GUID hidGuid{};
    HDEVINFO devices = INVALID_HANDLE_VALUE;
};

bool Win32InterfaceList::openInterface(std::size_t index, HidInterface& opened) {
    if (devices == INVALID_HANDLE_VALUE) return false;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(interfaceData);
    if (!SetupDiEnumDeviceInterfaces(devices, nullptr, &hidGuid, static_cast<DWORD>(index),
                                     &interfaceData)) {
        return false;  // the list is exhausted
    }
    const std::string path = devicePath(interfaceData);
    if (path.empty()) return true;
    HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return true;  // e.g. one the system keeps for itself
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!HidD_GetAttributes(handle, &attributes)) {
        CloseHandle(handle);
        return true;
    }
    opened.device.reset(new Win32HidDevice(handle));
    opened.vendorId = attributes.VendorID;
    opened.productId = attributes.ProductID;
    return true;
}

std::string Win32InterfaceList::devicePath(SP_DEVICE_INTERFACE_DATA& interfaceData) {
    DWORD requiredSize = 0;
    SetupDiGetDeviceInterfaceDetailA(devices, &interfaceData, nullptr, 0, &requiredSize, nullptr);
    if (requiredSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return {};
    // Whole DWORDs keep the record's size field aligned.
    std::vector<DWORD> storage((requiredSize + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(devices, &interfaceData, detail, requiredSize, nullptr,
                                          nullptr)) {
        return {};
    }
    return detail->DevicePath;
}

}  // namespace

std::unique_ptr<HidInterfaceList> Win32HidBackend::listPresentInterfaces() {
    return std::make_unique<Win32InterfaceList>();
}
