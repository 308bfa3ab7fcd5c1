// The commands once the command line has been read; each prints its report and returns the
// exit status.
#pragma once

#include "command_line.h"

ExitStatus listInterfaces();
// Every command that goes through the board DLL.
ExitStatus runBoardCommand(const Command& command);
