// The HID backend of Windows: SetupAPI lists the HID interfaces, CreateFileA opens them for
// overlapped I/O, and each transfer waits on its own event with the time limit.
#pragma once

#include "hid_backend.h"

class Win32HidBackend : public HidBackend {
  public:
    std::unique_ptr<HidInterfaceList> listPresentInterfaces() override;
};
