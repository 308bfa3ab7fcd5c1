#include "win32_hid_backend.h"

#include "variant.h"
#include "win32_hid_device.h"

#include <windows.h>
#include <setupapi.h>
// MinGW's HID headers lack the C linkage block; without it every HidD_ call fails to link.
extern "C" {
#include <hidsdi.h>
}

#include <string>
#include <vector>

// Windows and Wine accept only the exact size of these records in their size fields, and the
// size differs between the architectures: checked for both when they are built.
#if defined(_WIN64)
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8, "detail header on x86_64");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 32, "interface record on x86_64");
#else
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "detail header on i686");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "interface record on i686");
#endif
static_assert(sizeof(HIDD_ATTRIBUTES) == 12, "attribute record");

namespace {

// The HID class driver keeps 32 reports for each open handle and drops the oldest when the
// reader falls further behind: 32 ms of the board's stream, less than a busy PC may keep the
// reader thread waiting. 512, the most Windows XP and later take, is half a second.
constexpr ULONG kInputBuffers = 512;

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
    opened.path = devicePath(interfaceData);
    if (opened.path.empty()) return true;
    HANDLE handle = CreateFileA(opened.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return true;  // e.g. one the system keeps for itself
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!HidD_GetAttributes(handle, &attributes)) {
        CloseHandle(handle);
        return true;
    }
    // A failure leaves the system's default, which the board still works with.
    if (attributes.VendorID == kBoardVendorId) HidD_SetNumInputBuffers(handle, kInputBuffers);
    opened.device = Win32HidDevice::open(handle);
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
