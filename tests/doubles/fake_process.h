// A process port that records command lines and exits instead of running and ending.
#pragma once

#include "ports.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class FakeProcess : public ProcessPort {
  public:
    std::vector<std::string> commands;
    std::optional<int> exitStatus;
    // Plays the calibrator: called with each command line, e.g. to leave a capture file.
    std::function<void(const std::string&)> onRun;

    void runCommand(const std::string& commandLine) override {
        commands.push_back(commandLine);
        if (onRun) onRun(commandLine);
    }
    void exitProcess(int status) override { exitStatus = status; }
};
