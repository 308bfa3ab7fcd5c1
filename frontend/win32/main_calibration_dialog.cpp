#include "main_calibration_dialog.h"

#include "control_ids.h"

namespace {

constexpr const char* kDataDirectory = "C:\\sys_kvel\\";

}  // namespace

MainCalibrationDialog::MainCalibrationDialog(HINSTANCE instance, CalibSession& session,
                                             ProcessPort& process)
    : instance_(instance),
      icon_(LoadIconW(instance, MAKEINTRESOURCEW(kAppIcon))),
      session_(session),
      process_(process) {}

INT_PTR MainCalibrationDialog::runModal() {
    return DialogBoxParamW(instance_, MAKEINTRESOURCEW(kMainDialogTemplate), nullptr, dialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK MainCalibrationDialog::dialogProc(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<MainCalibrationDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->initDialog(window);
        return TRUE;  // focus not set: it goes to the first tab stop
    }
    auto* self = reinterpret_cast<MainCalibrationDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam) : FALSE;
}

void MainCalibrationDialog::initDialog(HWND window) {
    window_ = window;
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    dialog_ = std::make_unique<Win32Dialog>(window);
    logic_ = std::make_unique<MainWindow>(session_, *dialog_, process_, kDataDirectory);
    logic_->startUp();
}

INT_PTR MainCalibrationDialog::handle(UINT message, WPARAM wParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) onCommand(LOWORD(wParam));
            return TRUE;
        case WM_PAINT: return paintIconWhenMinimised();
        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(icon_);
        default: return FALSE;
    }
}

void MainCalibrationDialog::onCommand(int controlId) {
    // Enter sends IDOK even while OK is disabled; a half-finished calibration must not be
    // written that way.
    if (controlId == kOkButton && !IsWindowEnabled(GetDlgItem(window_, kOkButton))) return;
    logic_->onButton(controlId);
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
