// Shows the real trimdesk.exe in the states the README pictures: the main window with its
// defaults, then the gearbox dialog. For each it writes "NAME X Y WIDTH HEIGHT" (the window's
// place on the screen) to its output and waits for a line on its input, the sign that the
// picture was taken. scripts/screenshots.sh takes the pictures.
#include "trimdesk_driver.h"

#include "control_ids.h"
#include "texts.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

namespace {

// The defaults a trainer is delivered with, so that the main window shows its default lines.
const char* const kDefaults = "900\r\n100\r\n800\r\n50\r\n700\r\n60\r\n600\r\n70\r\n500\r\n80\r\n";

// Paint messages come only once a program's queue is empty, after the driver's idle marker, so
// the window is painted here before its picture is taken; the display then needs a moment.
void paintFully(HWND window) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(500);
}

void pose(const char* name, HWND window) {
    paintFully(window);
    RECT place{};
    GetWindowRect(window, &place);
    std::printf("%s %ld %ld %ld %ld\n", name, place.left, place.top, place.right - place.left,
                place.bottom - place.top);
    std::fflush(stdout);
    std::string pictureTaken;
    std::getline(std::cin, pictureTaken);
}

}  // namespace

int main() {
    try {
        const e2e::DataDirectory data;  // puts C:\sys_kvel\ back as it was at the end
        data.clear();
        data.writeFile("calib_us.out", kDefaults);
        const e2e::WorkFolder work;
        work.addMarker("HBV5.dll");
        work.addCalibrators();

        e2e::TrimdeskProcess program(work);
        pose("main-window", program.mainDialog().handle());
        program.click(kGearboxButton);
        pose("gearbox-dialog", program.waitForDialog(texts::kGearboxTitle).handle());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "screenshot_poser: %s\n", error.what());
        return 1;
    }
}
