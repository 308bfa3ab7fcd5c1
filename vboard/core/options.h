// vboard.exe's command line, portable so that its checks are tested natively.
#pragma once

#include "variant.h"

#include <string>
#include <vector>

struct VboardOptions {
    enum class Action { Serve, UnplugAll, Help };
    Action action = Action::Serve;
    const BoardVariant* model = nullptr;
    std::string simulation;  // an HBV_SIMULATION setting
    double seconds = 0;      // 0: until Ctrl+C
    bool silent = false;     // plugged, but sends no reports
    bool noWrites = false;   // takes no output reports, so programs' writes wait
    // Stamps each pattern report with QueryPerformanceCounter at the hand-over, for the
    // benchmark through the stack.
    bool stamp = false;
};

// False with a one-line reason for a command line vboard.exe cannot run.
bool parseVboardOptions(const std::vector<std::string>& arguments, VboardOptions& options,
                        std::string& error);

extern const char* const kVboardUsage;
