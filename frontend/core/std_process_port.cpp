#include "ports.h"

#include <cstdlib>

void StdProcessPort::runCommand(const std::string& commandLine) {
    // The calibrator's status is of no interest: a failed run shows as a missing capture file.
    (void)std::system(commandLine.c_str());
}

void StdProcessPort::exitProcess(int status) { std::exit(status); }
