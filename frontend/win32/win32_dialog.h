// A dialog port over a real dialog window: controls are found by id, texts go through the
// wide API, and message boxes are owned by the dialog.
#pragma once

#include "ports.h"

#include <windows.h>

class Win32Dialog : public DialogPort {
  public:
    explicit Win32Dialog(HWND dialog) : dialog_(dialog) {}

    void setTitle(const std::string& utf8Text) override;
    void setText(int controlId, const std::string& utf8Text) override;
    std::string getText(int controlId, int maxChars) override;
    void enable(int controlId, bool enabled) override;
    bool isChecked(int controlId) override;
    void setChecked(int controlId, bool checked) override;
    void showMessage(const std::string& utf8Text, const std::string& utf8Caption,
                     MessageKind kind) override;
    void close(DialogResult result) override;
    void discardQueuedInput() override;

  private:
    HWND control(int controlId) const { return GetDlgItem(dialog_, controlId); }

    HWND dialog_;
};
