// Which interface the trainer has, which calibrator measures a step, and what it measured.
#pragma once

#include "calib_session.h"
#include "ports.h"

#include <optional>

// Capture file of a step (1..5 the controls, 6 the gear lever), in the working folder.
const char* captureFileName(int step);

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
