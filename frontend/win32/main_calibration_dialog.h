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
    ~MainCalibrationDialog() override;
    MainCalibrationDialog(const MainCalibrationDialog&) = delete;
    MainCalibrationDialog& operator=(const MainCalibrationDialog&) = delete;

    INT_PTR runModal();

  private:
    void onInit() override;
    void onButton(int controlId) override;
    INT_PTR onMessage(UINT message, WPARAM wParam) override;
    void openGearbox();
    bool paintIconWhenMinimised();
    void fitVehiclePicture();

    HINSTANCE instance_;
    HICON icon_;
    HBITMAP vehiclePicture_ = nullptr;  // the car picture scaled to its frame; ours to delete
    CalibSession& session_;
    ProcessPort& process_;
    std::unique_ptr<Win32Dialog> dialog_;
    std::unique_ptr<MainWindow> logic_;
};
