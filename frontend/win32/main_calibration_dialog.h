// The main calibration window: dialog template 102, its icon, and its controls bound to the
// portable logic.
#pragma once

#include "main_window.h"
#include "modal_dialog.h"
#include "win32_dialog.h"

#include <memory>

class MainCalibrationDialog : public ModalDialog {
  public:
    MainCalibrationDialog(HINSTANCE instance, CalibSession& session, ProcessPort& process);

    INT_PTR runModal();

  private:
    void onInit() override;
    void onButton(int controlId) override;
    INT_PTR onMessage(UINT message, WPARAM wParam) override;
    void openGearbox();
    bool paintIconWhenMinimised();

    HINSTANCE instance_;
    HICON icon_;
    CalibSession& session_;
    ProcessPort& process_;
    std::unique_ptr<Win32Dialog> dialog_;
    std::unique_ptr<MainWindow> logic_;
};
