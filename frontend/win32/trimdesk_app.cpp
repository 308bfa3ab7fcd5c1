// The calibration program: one modal main window, and the program ends when it closes.
#include "main_calibration_dialog.h"

#include <commctrl.h>
#include <windows.h>

namespace {

CalibSession calibSession;

class TrainerCalibrationApp {
  public:
    // Returns false: once the main window has closed there is nothing left to run.
    bool initInstance(HINSTANCE instance) {
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        StdProcessPort process;
        MainCalibrationDialog mainWindow(instance, calibSession, process);
        mainWindow.runModal();
        return false;
    }
};

TrainerCalibrationApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    theApp.initInstance(instance);
    return 0;
}
