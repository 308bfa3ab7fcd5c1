#include "device_node.h"

#include "wide_text.h"

#include <cwctype>
#include <newdev.h>
#include <vector>

extern "C" {
#include <hidsdi.h>
}

namespace {

// The HID class of setup; the node's driver is a HID minidriver.
const GUID kHidClass = {
    0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}};
const std::wstring kHardwareIdPrefix = L"VBOARD\\";

std::wstring hardwareIdOf(const BoardVariant& model) {
    return kHardwareIdPrefix + widen(model.name);
}

std::string lastError(const char* step) {
    return std::string(step) + " failed, error " + std::to_string(GetLastError());
}

std::wstring lowered(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

}  // namespace

DeviceNode::DeviceNode(const BoardVariant& model, std::wstring infPath)
    : model(model), infPath(std::move(infPath)) {}

DeviceNode::~DeviceNode() { unplug(); }

bool DeviceNode::plug(std::string& error) {
    unplug();
    // A node that a killed run left behind holds the model in the driver, and a second one
    // would not start.
    unplugNodes(hardwareIdOf(model));
    // Puts the INF among the system's, so that the node finds its driver again at Wine's next
    // start; the same INF a second time changes nothing.
    if (!SetupCopyOEMInfW(infPath.c_str(), nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr)) {
        error = lastError("SetupCopyOEMInf");
        return false;
    }
    set = SetupDiCreateDeviceInfoList(&kHidClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        error = lastError("SetupDiCreateDeviceInfoList");
        return false;
    }
    node = SP_DEVINFO_DATA{};
    node.cbSize = sizeof node;
    const std::wstring hardwareId = hardwareIdOf(model);
    std::vector<wchar_t> ids(hardwareId.begin(), hardwareId.end());
    ids.push_back(0);
    ids.push_back(0);  // a list of one
    // hidclass names the collection after the node's device id, and programs (and people) look
    // for the ids in that name as on a real USB board's: ROOT\VID_4973&PID_0010\0000.
    wchar_t deviceName[32];
    swprintf(deviceName, 32, L"VID_%04X&PID_%04X", model.vendorId, model.productId);
    if (!SetupDiCreateDeviceInfoW(set, deviceName, &kHidClass, nullptr, nullptr, DICD_GENERATE_ID,
                                  &node) ||
        !SetupDiSetDeviceRegistryPropertyW(set, &node, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(ids.data()),
                                           static_cast<DWORD>(ids.size() * sizeof(wchar_t))) ||
        !SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &node)) {
        error = lastError("creating the device node");
        SetupDiDestroyDeviceInfoList(set);
        set = INVALID_HANDLE_VALUE;
        return false;
    }
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesW(nullptr, hardwareId.c_str(), infPath.c_str(),
                                            INSTALLFLAG_FORCE, &reboot)) {
        error = lastError("UpdateDriverForPlugAndPlayDevices");
        unplug();
        return false;
    }
    return true;
}

void DeviceNode::unplug() {
    if (set == INVALID_HANDLE_VALUE) return;
    SetupDiCallClassInstaller(DIF_REMOVE, set, &node);
    SetupDiDestroyDeviceInfoList(set);
    set = INVALID_HANDLE_VALUE;
}

bool DeviceNode::interfaceListed() const {
    GUID hid;
    HidD_GetHidGuid(&hid);
    HDEVINFO interfaces =
        SetupDiGetClassDevsW(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (interfaces == INVALID_HANDLE_VALUE) return false;
    wchar_t ids[32];
    swprintf(ids, 32, L"vid_%04x&pid_%04x", model.vendorId, model.productId);
    bool listed = false;
    SP_DEVICE_INTERFACE_DATA entry{};
    entry.cbSize = sizeof entry;
    for (DWORD i = 0; !listed && SetupDiEnumDeviceInterfaces(interfaces, nullptr, &hid, i, &entry);
         ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(interfaces, &entry, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::vector<BYTE> buffer(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(interfaces, &entry, detail, size, nullptr, nullptr)) {
            listed = lowered(detail->DevicePath).find(ids) != std::wstring::npos;
        }
    }
    SetupDiDestroyDeviceInfoList(interfaces);
    return listed;
}

// Removing a node may take it out of the set being walked, so each pass starts afresh, until one
// finds none.
int unplugNodes(const std::wstring& hardwareIdPrefix) {
    int removed = 0;
    for (bool found = true; found;) {
        found = false;
        HDEVINFO all = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
        if (all == INVALID_HANDLE_VALUE) break;
        SP_DEVINFO_DATA entry{};
        entry.cbSize = sizeof entry;
        for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(all, i, &entry); ++i) {
            wchar_t ids[256] = {};
            if (SetupDiGetDeviceRegistryPropertyW(all, &entry, SPDRP_HARDWAREID, nullptr,
                                                  reinterpret_cast<BYTE*>(ids),
                                                  sizeof ids - 2 * sizeof(wchar_t), nullptr) &&
                std::wstring(ids).rfind(hardwareIdPrefix, 0) == 0) {
                found = SetupDiCallClassInstaller(DIF_REMOVE, all, &entry);
                removed += found;
            }
        }
        SetupDiDestroyDeviceInfoList(all);
    }
    return removed;
}

int unplugAllNodes() { return unplugNodes(kHardwareIdPrefix); }
