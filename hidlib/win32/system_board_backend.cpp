#include "board_backend.h"
#include "win32_hid_backend.h"

std::unique_ptr<HidBackend> createBoardBackend(const BoardVariant&) {
    return std::make_unique<Win32HidBackend>();
}
