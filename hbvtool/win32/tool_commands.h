// The commands once the command line has been read; each prints its report and returns the
// exit status.
#pragma once

#include "command_line.h"

ExitStatus listInterfaces();
// The model of every attached board, one a line, for programs such as the setup: no other
// text and nothing when there is none, status 0; status 1 only when the system gives no list.
ExitStatus listBoards();
// Every command that goes through the board DLL.
ExitStatus runBoardCommand(const Command& command);
