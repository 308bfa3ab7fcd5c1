// The five-step wizard of the main window: each control's pair is captured by the interface's
// calibrator or typed in, and OK is unlocked once all five are done.
#pragma once

#include "calib_session.h"
#include "calibrator_runs.h"
#include "ports.h"

class Wizard {
  public:
    Wizard(CalibSession& session, DialogPort& dialog, CalibratorRuns& calibrators)
        : session_(session), dialog_(dialog), calibrators_(calibrators) {}

    void stepBack();
    void stepForward();
    void calibrateStep();
    void toggleManualEntry();
    void rememberParameters();
    void completeIfAllDone(bool announce);

  private:
    void clearStepDisplay();
    void showValuesOfStep(int step);
    bool captureStep(int step);
    void setRunControlsEnabled(bool enabled);
    void enableControlsAfterRun(int step);
    int16_t readEditBox(int controlId, std::string& text);
    void showNumber(int controlId, int16_t value);

    CalibSession& session_;
    DialogPort& dialog_;
    CalibratorRuns& calibrators_;
};
