// What the device link needs from the platform: a list of the HID interfaces present, each of
// which can be opened, and timed transfers of one report on an open interface.
#pragma once

#include "report.h"
#include "stop_signal.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

enum class TransferResult {
    Completed,
    Failed,    // completed with an error, or could not be started
    TimedOut,  // did not complete within the time limit; already cancelled
    Stopped,   // stop was requested before it completed; already cancelled, or never started
};

// One open HID interface; destroying it closes the handle. A transfer has ended, buffer and all,
// by the time its call returns, even a cancelled one. A transfer waits for its completion, its
// time limit and the stop signal together, and is not started once stop has been requested.
class HidDevice {
  public:
    virtual ~HidDevice() = default;
    virtual TransferResult read(Report& report, unsigned timeoutMs, StopSignal& stop) = 0;
    virtual TransferResult write(const Report& report, unsigned timeoutMs, StopSignal& stop) = 0;
};

// One member of the list as it was opened: device is empty when the interface could not be
// opened or its attributes could not be read. path is the system's name of the interface, where
// it has one, for people to read; the library itself never looks at it.
struct HidInterface {
    std::unique_ptr<HidDevice> device;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string path;
};

// The HID interfaces present when the list was made, in the system's order.
class HidInterfaceList {
  public:
    virtual ~HidInterfaceList() = default;
    // False when the list has no member with this index.
    virtual bool openInterface(std::size_t index, HidInterface& opened) = 0;
};

class HidBackend {
  public:
    virtual ~HidBackend() = default;
    // Null when the system gives no list.
    virtual std::unique_ptr<HidInterfaceList> listPresentInterfaces() = 0;
};
