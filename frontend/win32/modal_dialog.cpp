#include "modal_dialog.h"

INT_PTR ModalDialog::runModal(HINSTANCE instance, int templateId, HWND owner) {
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, dialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ModalDialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<ModalDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
        self->onInit();
        return TRUE;  // focus not set: it goes to the first tab stop
    }
    auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    if (message == WM_COMMAND) {
        self->onCommand(wParam);
        return TRUE;
    }
    return self->onMessage(message, wParam);
}

void ModalDialog::onCommand(WPARAM wParam) {
    if (HIWORD(wParam) != BN_CLICKED) return;
    const int controlId = LOWORD(wParam);
    // Enter sends IDOK even while the OK button is disabled; what OK does must wait until the
    // program enables it.
    if (controlId == IDOK && !IsWindowEnabled(GetDlgItem(window_, IDOK))) return;
    onButton(controlId);
}
