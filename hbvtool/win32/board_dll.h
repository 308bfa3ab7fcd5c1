// A board DLL (HBV7.dll or HBV5.dll, real or simulated) loaded at run time, as a host program
// would use it: its ten exports typed as hbv.h declares them. The model follows from the names
// it exports.
#pragma once

#include "board_exports.h"
#include "variant.h"

#include <windows.h>

#include <memory>
#include <string>

class BoardDll {
  public:
    // path empty: HBV7.dll beside the program, else HBV5.dll there. Null with a reason when the
    // file does not load or lacks a model's exports.
    static std::unique_ptr<BoardDll> load(const std::string& path, std::string& error);
    ~BoardDll();  // Done when started, then the DLL is unloaded
    BoardDll(const BoardDll&) = delete;
    BoardDll& operator=(const BoardDll&) = delete;

    const BoardVariant& model() const { return *model_; }
    const std::wstring& path() const { return path_; }
    const BoardExports& exports() const { return exports_; }

    // Init with the window and message the library posts to for every packet.
    bool start(HWND window, UINT message);
    // Done, once; also left to the destructor.
    void stop();

  private:
    BoardDll(HMODULE module, std::wstring path) : module_(module), path_(std::move(path)) {}
    bool resolve(const BoardVariant& model);

    HMODULE module_;
    std::wstring path_;
    const BoardVariant* model_ = nullptr;
    BoardExports exports_;
    bool started_ = false;
};
