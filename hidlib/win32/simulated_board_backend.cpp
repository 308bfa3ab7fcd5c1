#include "board_backend.h"
#include "simulated_board.h"

#include <windows.h>

#include <cstdlib>

#include <string>

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

// The simulated DLLs read this one setting at Init, and keep the simulated EEPROM in the
// user's temporary folder so that it holds its bytes from one run of a host to the next; the
// DLLs for trainers read and write nothing.
std::unique_ptr<HidBackend> createBoardBackend(const BoardVariant& model) {
    Simulation simulation = simulationFromSetting(environment("HBV_SIMULATION"));
    // The library shows nothing; a developer sees the note in the debugger's output.
    if (!simulation.note.empty())
        OutputDebugStringA(("HBV simulation: " + simulation.note + "\n").c_str());
    const std::string temporary = environment("TEMP");
    if (!temporary.empty()) {
        simulation.eepromFile = temporary + "\\hbv-simulated-eeprom-" + model.name + ".bin";
    }
    return std::make_unique<SimulatedBoard>(model, std::move(simulation));
}
