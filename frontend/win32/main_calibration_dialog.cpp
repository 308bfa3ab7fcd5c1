#include "main_calibration_dialog.h"

#include "ckpp.h"
#include "control_ids.h"
#include "data_directory.h"

MainCalibrationDialog::MainCalibrationDialog(HINSTANCE instance, CalibSession& session,
                                             ProcessPort& process)
    : instance_(instance),
      icon_(LoadIconW(instance, MAKEINTRESOURCEW(kAppIcon))),
      session_(session),
      process_(process) {}

INT_PTR MainCalibrationDialog::runModal() {
    return ModalDialog::runModal(instance_, kMainDialogTemplate, nullptr);
}

void MainCalibrationDialog::onInit() {
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    dialog_ = std::make_unique<Win32Dialog>(window_);
    logic_ = std::make_unique<MainWindow>(session_, *dialog_, process_, kDataDirectory);
    logic_->startUp();
}

void MainCalibrationDialog::onButton(int controlId) {
    if (controlId == kGearboxButton) {
        openGearbox();
    } else {
        logic_->onButton(controlId);
    }
}

// The main window is the owner, so it takes no input while the gearbox dialog is open.
void MainCalibrationDialog::openGearbox() {
    ckpp gearbox(instance_, session_, logic_->calibrators());
    gearbox.runModal(window_);
}

INT_PTR MainCalibrationDialog::onMessage(UINT message, WPARAM) {
    switch (message) {
        case WM_PAINT: return paintIconWhenMinimised();
        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(icon_);
        default: return FALSE;
    }
}

bool MainCalibrationDialog::paintIconWhenMinimised() {
    if (!IsIconic(window_)) return false;
    PAINTSTRUCT paint;
    HDC context = BeginPaint(window_, &paint);
    SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(window_, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(context, x, y, icon_);
    EndPaint(window_, &paint);
    return true;
}
