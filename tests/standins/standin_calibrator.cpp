// Plays one of the interface calibrators (capta.exe ... capte.exe) for tests and the demo: it
// notes its run, then leaves the step's capture file at once instead of measuring anything.
//
// calibrator_runs.log   one line "<program> <step>" is appended per run
// standin_values.txt    optional script, one line per capture: "<step> <first> <second>", or
//                       "<step> none" to leave no capture file; the first line for the step is
//                       used up. Without a line for the step, demo values are written.
// standin_hold.txt      optional: while it exists the run goes on (for at most ten seconds), as
//                       a real calibrator's does until the operator presses the space bar, so a
//                       test can act while the calibration program waits.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kCaptureFiles[] = {"calib_w.tmp", "calib_g.tmp", "calib_b.tmp",
                                     "calib_c.tmp", "calib_h.tmp", "calib_s.tmp"};

std::string programName(const char* argv0) {
    std::string path = argv0;
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Takes the first scripted line for the step out of the script; empty when there is none.
std::string takeScriptedCapture(int step) {
    std::ifstream in("standin_values.txt");
    std::vector<std::string> lines;
    std::string taken;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        int lineStep = 0;
        if (taken.empty() && words >> lineStep && lineStep == step) {
            std::getline(words >> std::ws, taken);
            if (taken.empty()) taken = " ";
        } else {
            lines.push_back(line);
        }
    }
    if (!taken.empty()) {
        std::ofstream out("standin_values.txt", std::ios::trunc);
        for (const std::string& line : lines) out << line << '\n';
    }
    return taken;
}

void waitWhileHeld() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::ifstream("standin_hold.txt") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string demoCapture(int step) {
    if (step == 6) return "512 512";
    return std::to_string(1000 - 40 * step) + " " + std::to_string(20 * step);
}

}  // namespace

int main(int argc, char** argv) {
    const int step = argc > 1 ? std::atoi(argv[1]) : 0;
    std::ofstream("calibrator_runs.log", std::ios::app)
        << programName(argv[0]) << ' ' << (argc > 1 ? argv[1] : "") << '\n';
    if (step < 1 || step > 6) return 1;
    waitWhileHeld();

    std::string capture = takeScriptedCapture(step);
    if (capture.empty()) capture = demoCapture(step);
    if (capture == "none") return 0;
    std::istringstream numbers(capture);
    std::string first, second;
    numbers >> first >> second;
    std::ofstream(kCaptureFiles[step - 1]) << first << '\n' << second << '\n';
    return 0;
}
