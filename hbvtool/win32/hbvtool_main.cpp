// hbvtool: the technicians' console tool for the trainer's interface board.
#include "command_line.h"
#include "console.h"
#include "texts.h"
#include "tool_commands.h"
#include "wide_text.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

// The arguments as the person typed them, whatever the ANSI code page.
std::vector<std::string> commandLineArguments() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide && i < count; ++i) arguments.push_back(narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}

ExitStatus run(const Command& command) {
    switch (command.action) {
        case Action::Help: printLine(texts::kHelp); return kSucceeded;
        case Action::List: return listInterfaces();
        case Action::Boards: return listBoards();
        case Action::Check: return checkTrainer(command.folder);
        default: return runBoardCommand(command);
    }
}

}  // namespace

int main() {
    const ParsedCommandLine parsed = parseCommandLine(commandLineArguments());
    if (!parsed.error.empty()) {
        printErrorLine(parsed.error);
        return kUsageError;
    }
    return run(parsed.command);
}
