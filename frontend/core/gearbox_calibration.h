// The gearbox dialog's logic: capturing the lever position of each gear with the gear-lever
// calibrator, and writing the positions once they match the shift pattern.
#pragma once

#include "calib_session.h"
#include "calibrator_runs.h"
#include "gear_layout.h"
#include "ports.h"

#include <string>

inline constexpr const char* kGearboxFileName = "calibkpp.out";
inline constexpr const char* kGearReportFileName = "PrintKPP.txt";

class GearboxCalibration {
  public:
    // dataDirectory ends with its separator: "C:\\sys_kvel\\" on the trainer.
    GearboxCalibration(CalibSession& session, DialogPort& dialog, CalibratorRuns& calibrators,
                       std::string dataDirectory);

    void startUp();
    // Runs the operation bound to a clicked control; other ids are ignored.
    void onButton(int controlId);

    void captureGearPosition();
    void cancelGearbox();
    void writeGearboxFiles();
    void setGearControlsEnabled(bool enabled);

    const GearboxCapture& capture() const { return capture_; }

  private:
    int selectedGear();
    void storeCapture(int gear, const CaptureValues& values);
    bool writeGearFile(const char* fileName, const char* openFailedText,
                       const char* writeFailedText);
    void showError(const std::string& text);
    void showNotice(const std::string& text, const std::string& caption);

    CalibSession& session_;
    DialogPort& dialog_;
    CalibratorRuns& calibrators_;
    std::string dataDirectory_;
    // Lives with the dialog: every opening starts from seven uncaptured gears.
    GearboxCapture capture_;
};
