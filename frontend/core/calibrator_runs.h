// Which interface the trainer has, which calibrator measures a step, and what it measured.
#pragma once

#include "calib_session.h"
#include "ports.h"

#include <optional>
#include <string>
#include <vector>

// Capture file of a step (1..5 the controls, 6 the gear lever), in the working folder.
const char* captureFileName(int step);

// The program that measures the gear lever, whatever the markers say.
inline constexpr const char* kGearLeverCalibrator = "capta.exe";

// An interface kind: the marker file that tells it, its flag, and its calibrator program.
struct InterfaceKind {
    const char* markerFile;
    uint8_t InterfaceMarkers::*present;
    const char* calibrator;
};

// The five kinds in the order in which their markers choose the calibrator.
inline constexpr InterfaceKind kInterfaceKinds[] = {
    {"rsport.dll", &InterfaceMarkers::rsportPresent, "capte.exe"},
    {"fourpot.dll", &InterfaceMarkers::fourpotPresent, "captd.exe"},
    {"hostbus.dll", &InterfaceMarkers::hostbusPresent, "captc.exe"},
    {"simulator.exe", &InterfaceMarkers::simulatorPresent, "captb.exe"},
    {"HBV5.dll", &InterfaceMarkers::hbv5Present, "capta.exe"},
};

// Which marker files lie in a folder ("" for the working folder, else ending with its
// separator). A file counts when it opens for reading; nothing is read from it.
InterfaceMarkers probeMarkerFiles(const std::string& folder);

// A marker set that the step-1 check refuses: the rule (1 two similar DLLs, 2 the simulator
// with another interface, 3 HBV5.dll with a board driver) and the files that break it.
struct MarkerConflict {
    int rule = 0;
    std::vector<const char*> files;
};
std::optional<MarkerConflict> findMarkerConflict(const InterfaceMarkers& markers);

// The interface kind whose marker chooses the calibrator of steps 1..5, or nullptr.
const InterfaceKind* chosenInterface(const InterfaceMarkers& markers);

class CalibratorRuns {
  public:
    CalibratorRuns(CalibSession& session, ProcessPort& process)
        : session_(session), process_(process) {}

    // Notes which marker files lie in the working folder; reports nothing.
    void probeInterfaceMarkers();
    // False when the marker set is contradictory: the message was shown and the process ended.
    bool checkInterfaceConflicts(DialogPort& owner);
    // The calibrator program for a step, or nullptr when no marker names one.
    const char* chooseCalibrator(int step) const;
    // Starts the step's calibrator and returns when it has ended.
    void runCalibrator(int step);
    // The two numbers of the step's capture file; nullopt when it could not be read: the
    // message was shown and the process ended.
    std::optional<CaptureValues> readCaptureFile(int step, DialogPort& owner);

  private:
    void endWithError(DialogPort& owner, const std::string& text);

    CalibSession& session_;
    ProcessPort& process_;
};
