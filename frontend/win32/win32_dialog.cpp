#include "win32_dialog.h"

#include "wide_text.h"

#include <utility>
#include <vector>

void Win32Dialog::setTitle(const std::string& utf8Text) {
    SetWindowTextW(dialog_, widen(utf8Text).c_str());
}

void Win32Dialog::setText(int controlId, const std::string& utf8Text) {
    SetWindowTextW(control(controlId), widen(utf8Text).c_str());
}

std::string Win32Dialog::getText(int controlId, int maxChars) {
    std::vector<wchar_t> buffer(maxChars + 1, L'\0');
    const int length = GetWindowTextW(control(controlId), buffer.data(), maxChars + 1);
    return narrow(std::wstring(buffer.data(), length));
}

void Win32Dialog::enable(int controlId, bool enabled) { EnableWindow(control(controlId), enabled); }

bool Win32Dialog::isChecked(int controlId) {
    return SendMessageW(control(controlId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Dialog::setChecked(int controlId, bool checked) {
    SendMessageW(control(controlId), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32Dialog::showMessage(const std::string& utf8Text, const std::string& utf8Caption,
                              MessageKind kind) {
    const UINT icon = kind == MessageKind::Error ? MB_ICONEXCLAMATION : MB_ICONINFORMATION;
    MessageBoxW(dialog_, widen(utf8Text).c_str(), widen(utf8Caption).c_str(),
                MB_OK | icon | MB_TOPMOST);
}

void Win32Dialog::discardQueuedInput() {
    const std::pair<UINT, UINT> inputRanges[] = {
        {WM_KEYFIRST, WM_KEYLAST},
        {WM_MOUSEFIRST, WM_MOUSELAST},
        {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
    };
    MSG message;
    for (const auto& [first, last] : inputRanges) {
        while (PeekMessageW(&message, nullptr, first, last, PM_REMOVE)) {
        }
    }
}

void Win32Dialog::close(DialogResult result) {
    EndDialog(dialog_, result == DialogResult::Ok ? IDOK : IDCANCEL);
}
