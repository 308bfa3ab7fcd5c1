#include "options.h"

#include <cstdlib>

const char* const kVboardUsage =
    "usage: vboard.exe --model HBV7|HBV5 [--simulation SETTING] [--seconds S] [--silent]\n"
    "                  [--no-writes] [--stamp]\n"
    "       vboard.exe --unplug-all\n"
    "Plugs a virtual trainer board into Wine's HID stack and serves it with the simulated\n"
    "board until S seconds have passed or Ctrl+C, then unplugs it. SETTING is what\n"
    "HBV_SIMULATION takes: empty for the pattern, unplug-after:MS, or a recording's path.\n"
    "--silent sends no reports; --no-writes takes no output reports. --unplug-all removes\n"
    "every virtual board's node, also those a killed run left behind. --stamp puts the\n"
    "moment of each pattern report's hand-over (QueryPerformanceCounter, 8 bytes, low byte\n"
    "first) into its bytes 17 to 24 and counts 25 meaningful bytes.\n";

namespace {

bool readSeconds(const std::string& text, double& seconds) {
    if (text.empty()) return false;
    char* end = nullptr;
    seconds = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && seconds > 0 && seconds <= 86400 * 365;
}

}  // namespace

bool parseVboardOptions(const std::vector<std::string>& arguments, VboardOptions& options,
                        std::string& error) {
    options = VboardOptions{};
    bool unplugAll = false;
    bool simulationGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--help" || argument == "-h") {
            options.action = VboardOptions::Action::Help;
            return true;
        } else if (argument == "--unplug-all") {
            unplugAll = true;
        } else if (argument == "--silent") {
            options.silent = true;
        } else if (argument == "--no-writes") {
            options.noWrites = true;
        } else if (argument == "--stamp") {
            options.stamp = true;
        } else if (argument == "--model" && hasValue) {
            const std::string model = arguments[++i];
            if (model == kHbv7.name) {
                options.model = &kHbv7;
            } else if (model == kHbv5.name) {
                options.model = &kHbv5;
            } else {
                error = "unknown model " + model + " (HBV7 or HBV5)";
                return false;
            }
        } else if (argument == "--simulation" && hasValue) {
            options.simulation = arguments[++i];
            simulationGiven = true;
        } else if (argument == "--seconds" && hasValue) {
            if (!readSeconds(arguments[++i], options.seconds)) {
                error = "--seconds takes a positive number, not " + arguments[i];
                return false;
            }
        } else {
            const bool takesValue =
                argument == "--model" || argument == "--simulation" || argument == "--seconds";
            error = takesValue ? argument + " needs a value" : "unknown argument " + argument;
            return false;
        }
    }
    if (unplugAll) {
        if (options.model || simulationGiven || options.seconds > 0 || options.silent ||
            options.noWrites || options.stamp) {
            error = "--unplug-all takes no other option";
            return false;
        }
        options.action = VboardOptions::Action::UnplugAll;
        return true;
    }
    if (!options.model) {
        error = "--model HBV7 or --model HBV5 is needed";
        return false;
    }
    return true;
}
