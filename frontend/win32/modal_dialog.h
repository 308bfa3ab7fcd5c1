// A dialog template run modally, with its clicks handed to onButton. Both of the program's
// dialogs are built on it.
#pragma once

#include <windows.h>

class ModalDialog {
  public:
    virtual ~ModalDialog() = default;

    INT_PTR runModal(HINSTANCE instance, int templateId, HWND owner);

  protected:
    virtual void onInit() = 0;
    virtual void onButton(int controlId) = 0;
    // Messages other than the start and clicks; FALSE leaves them to the default handling.
    virtual INT_PTR onMessage(UINT, WPARAM) { return FALSE; }

    HWND window_ = nullptr;

  private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(WPARAM wParam);
};
