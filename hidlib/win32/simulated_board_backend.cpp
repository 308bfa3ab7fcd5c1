#include "board_backend.h"
#include "simulated_board.h"

#include <cstdlib>

// The simulated DLLs read this one setting at Init; the DLLs for trainers read none.
std::unique_ptr<HidBackend> createBoardBackend(const BoardVariant& model) {
    const char* setting = std::getenv("HBV_SIMULATION");
    return std::make_unique<SimulatedBoard>(model, simulationFromSetting(setting ? setting : ""));
}
