// The virtual board's root-enumerated device node: plugging it installs vboard.sys from the INF
// beside the program (the first time) and makes hidclass serve the model; unplugging removes
// the node, which every program sees as the board pulled out.
#pragma once

#include "variant.h"

#include <windows.h>

#include <setupapi.h>

#include <string>

class DeviceNode {
  public:
    DeviceNode(const BoardVariant& model, std::wstring infPath);
    ~DeviceNode();
    DeviceNode(const DeviceNode&) = delete;
    DeviceNode& operator=(const DeviceNode&) = delete;

    // False with the reason when the node could not be made or its driver installed.
    bool plug(std::string& error);
    void unplug();
    // True once hidclass lists the model's HID interface, so that programs can open it.
    bool interfaceListed() const;

  private:
    const BoardVariant& model;
    const std::wstring infPath;
    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA node{};
};

// Removes every node whose hardware id starts with the prefix, plugged or left behind; returns
// how many.
int unplugNodes(const std::wstring& hardwareIdPrefix);
// The same for every node with a VBOARD\ hardware id, of either model.
int unplugAllNodes();
