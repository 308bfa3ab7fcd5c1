// hbvtool's command line, read into a description of what to do. Every check of the person's
// input is made here, before anything is loaded or sent.
#pragma once

#include "commands.h"
#include "variant.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The program's exit status.
enum ExitStatus : int { kSucceeded = 0, kFailed = 1, kUsageError = 2 };

enum class Action {
    Help,
    List,
    Boards,
    Watch,
    Version,
    EepromRead,
    EepromWrite,
    Send,
    Bootloader,
    Check
};

// The larger of the two models' Write blocks; the model's own limit is known only once its DLL
// is loaded (see writeBlock).
constexpr unsigned kMaxWriteBlock = std::max(kHbv7.writeBlockSize, kHbv5.writeBlockSize);

struct WatchLimits {
    std::optional<std::uint32_t> packets;  // end after this many packets
    std::optional<std::uint32_t> seconds;  // end after this many seconds
    std::string recordPath;                // empty: no recording
    bool everyPacket = false;              // --all: a line per packet also on a console
};

struct Command {
    Action action = Action::Help;
    std::string dllPath;  // empty: the DLL beside the program
    std::string folder;   // check: empty for the current folder
    WatchLimits watch;
    std::uint8_t address = 0;
    std::uint8_t count = 0;           // eeprom-read
    std::vector<std::uint8_t> bytes;  // eeprom-write, send
};

struct ParsedCommandLine {
    Command command;
    std::string error;  // empty when the command line is valid; one line otherwise
};

// arguments: without the program's name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The block that Write sends for a model taking blockSize bytes: the bytes, then zeros. False
// with a reason when the bytes do not fit.
bool writeBlock(const std::vector<std::uint8_t>& bytes, const char* modelName, unsigned blockSize,
                std::vector<std::uint8_t>& block, std::string& error);
