// The board a DLL talks to. The DLLs for trainers get the system's HID devices; the simulated
// DLLs for host programmers get the simulated board. Each build links one definition.
#pragma once

#include "hid_backend.h"
#include "variant.h"

#include <memory>

std::unique_ptr<HidBackend> createBoardBackend(const BoardVariant& model);
