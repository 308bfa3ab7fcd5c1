// The main calibration window: dialog template 102 run modally, its icon, and the binding of
// its controls to the portable logic.
#pragma once

#include "main_window.h"
#include "win32_dialog.h"

#include <memory>
#include <windows.h>

class MainCalibrationDialog {
  public:
    MainCalibrationDialog(HINSTANCE instance, CalibSession& session, ProcessPort& process);

    INT_PTR runModal();

  private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam);
    void initDialog(HWND window);
    void onCommand(int controlId);
    bool paintIconWhenMinimised();

    HINSTANCE instance_;
    HICON icon_;
    CalibSession& session_;
    ProcessPort& process_;
    HWND window_ = nullptr;
    std::unique_ptr<Win32Dialog> dialog_;
    std::unique_ptr<MainWindow> logic_;
};
