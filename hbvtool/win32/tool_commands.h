// The commands once the command line has been read; each prints its report and returns the
// exit status.
#pragma once

#include "command_line.h"

#include <string>

ExitStatus listInterfaces();
// The model of every attached board, one a line, for programs such as the setup: no other
// text and nothing when there is none, status 0; status 1 only when the system gives no list.
ExitStatus listBoards();
// Every command that goes through the board DLL.
ExitStatus runBoardCommand(const Command& command);

// check: the whole trainer, from the working folder (empty: the current one) to the board.
ExitStatus checkTrainer(const std::string& folder);

// The board's answer to the version query through a DLL: whether the library took the query,
// and the answering packet in hex (empty when none came within the answer's wait).
struct VersionAnswer {
    bool taken = false;
    std::string bytes;
};
VersionAnswer queryBoardVersion(const std::string& dllPath);
