#include "window_notifier.h"

#include <windows.h>

void WindowNotifier::packetQueued(const NotifyTarget& target) {
    // wParam 1 and lParam 0: the message carries no packet data, the host calls GetPacket.
    PostMessageA(reinterpret_cast<HWND>(target.window), target.message, 1, 0);
}
