// The gearbox calibration dialog: template 130 run modally above the main window.
#pragma once

#include "gearbox_calibration.h"
#include "modal_dialog.h"
#include "win32_dialog.h"

#include <memory>

class ckpp : public ModalDialog {
  public:
    ckpp(HINSTANCE instance, CalibSession& session, CalibratorRuns& calibrators);

    INT_PTR runModal(HWND owner);

  private:
    void onInit() override;
    void onButton(int controlId) override;

    HINSTANCE instance_;
    CalibSession& session_;
    CalibratorRuns& calibrators_;
    std::unique_ptr<Win32Dialog> dialog_;
    std::unique_ptr<GearboxCalibration> logic_;
};
