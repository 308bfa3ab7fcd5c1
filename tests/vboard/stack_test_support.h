// What the tests through Wine's HID stack share: the board program, and the removal of the nodes
// a killed run left behind, so that each test starts with no board.
#pragma once

#include "board_program.h"
#include "tool_run.h"

#include <string>

inline const std::string kVboard = windowsPathOf(VBOARD_PROGRAM);

inline ToolRun unplugAll() { return runTool({"--unplug-all"}, {}, kVboard); }
