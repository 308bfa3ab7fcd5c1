// The main calibration window's logic: start-up, help and the binding of its buttons.
#pragma once

#include "calib_session.h"
#include "calibrator_runs.h"
#include "ports.h"
#include "value_files.h"
#include "wizard.h"

#include <string>

class MainWindow {
  public:
    MainWindow(CalibSession& session, DialogPort& dialog, ProcessPort& process,
               std::string dataDirectory);

    // Everything of the window's initialisation after the platform's own part and the icons.
    void startUp();
    // Runs the operation bound to a clicked control; other ids are ignored.
    void onButton(int controlId);

    void showHelp();

    CalibratorRuns& calibrators() { return calibrators_; }
    ValueFileOperations& valueFiles() { return valueFiles_; }
    Wizard& wizard() { return wizard_; }

  private:
    void resetRunState();
    void showStartState();

    CalibSession& session_;
    DialogPort& dialog_;
    CalibratorRuns calibrators_;
    ValueFileOperations valueFiles_;
    Wizard wizard_;
};
