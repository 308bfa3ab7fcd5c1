// The ten exports of a board DLL loaded at run time, typed as hbv.h declares them and looked up
// by the names of one model (the suffix HBV7 or HBV5).
#pragma once

#include "hbv.h"

#include <windows.h>

#include <string>

struct BoardExports {
    decltype(&InitHBV7) Init = nullptr;
    decltype(&WriteHBV7) Write = nullptr;
    decltype(&QueryVersionHBV7) QueryVersion = nullptr;
    decltype(&WriteEEPROMHBV7) WriteEEPROM = nullptr;
    decltype(&ReadEEPROMHBV7) ReadEEPROM = nullptr;
    decltype(&EnterBootloaderHBV7) EnterBootloader = nullptr;
    decltype(&GetPacketHBV7) GetPacket = nullptr;
    decltype(&GetDllVersionHBV7) GetDllVersion = nullptr;
    decltype(&GetDrvVersionHBV7) GetDrvVersion = nullptr;
    decltype(&DoneHBV7) Done = nullptr;
};

template <typename Function>
bool resolveExport(HMODULE module, const std::string& name, Function& function) {
    function =
        reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name.c_str())));
    return function != nullptr;
}

// True when the module has all ten under that model's names.
inline bool resolveBoardExports(HMODULE module, const std::string& model, BoardExports& exports) {
    bool all = resolveExport(module, "Init" + model, exports.Init);
    all &= resolveExport(module, "Write" + model, exports.Write);
    all &= resolveExport(module, "QueryVersion" + model, exports.QueryVersion);
    all &= resolveExport(module, "WriteEEPROM" + model, exports.WriteEEPROM);
    all &= resolveExport(module, "ReadEEPROM" + model, exports.ReadEEPROM);
    all &= resolveExport(module, "EnterBootloader" + model, exports.EnterBootloader);
    all &= resolveExport(module, "GetPacket" + model, exports.GetPacket);
    all &= resolveExport(module, "GetDllVersion" + model, exports.GetDllVersion);
    all &= resolveExport(module, "GetDrvVersion" + model, exports.GetDrvVersion);
    all &= resolveExport(module, "Done" + model, exports.Done);
    return all;
}
