// Shows the real trimdesk.exe in every state the operator's guide pictures: the five steps in
// capture mode, manual entry, the gearbox dialog and every message box an operator can meet.
// For each picture it writes "NAME X Y WIDTH HEIGHT" (the window's place on the screen) to its
// output and waits for a line on its input, the sign that the picture was taken.
// scripts/screenshots.sh takes the pictures.
//
//   screenshot_poser.exe           every picture of the guide
//   screenshot_poser.exe NAME      the main window alone, as NAME (a display-scale check)
#include "trimdesk_driver.h"

#include "control_ids.h"
#include "texts.h"

#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

using e2e::DataDirectory;
using e2e::DialogWindow;
using e2e::MessageBoxInfo;
using e2e::TrimdeskProcess;
using e2e::WorkFolder;

// The defaults a trainer is delivered with, and the values of an earlier calibration, so that
// the main window shows default lines and the wizard old values.
const char* const kDefaults = "900\r\n100\r\n800\r\n50\r\n700\r\n60\r\n600\r\n70\r\n500\r\n80\r\n";
const char* const kEarlierResult =
    "880\r\n120\r\n790\r\n60\r\n690\r\n70\r\n610\r\n80\r\n490\r\n90\r\n";

// X and Y of each capture of the gear lever, in the order the gears are captured: neutral (its Y
// above gear 1's, which the first layout rule refuses), gears 1 to 5, reverse, then neutral again
// where it belongs.
const char* const kGearCaptures =
    "6 210 400\n6 300 300\n6 200 300\n6 200 100\n6 100 300\n6 100 100\n6 300 100\n6 210 200\n";

constexpr int kGearCount = 7;

// Paint messages come only once a program's queue is empty, after the driver's idle marker, so
// the window is painted here before its picture is taken; the display then needs a moment. While
// a calibrator runs the program cannot paint, and asking it to would wait for the run's end.
enum class Paint { Now, Blocked };

void pose(const std::string& name, HWND window, Paint paint = Paint::Now) {
    if (paint == Paint::Now) {
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    Sleep(500);
    RECT place{};
    GetWindowRect(window, &place);
    std::printf("%s %ld %ld %ld %ld\n", name.c_str(), place.left, place.top,
                place.right - place.left, place.bottom - place.top);
    std::fflush(stdout);
    std::string pictureTaken;
    std::getline(std::cin, pictureTaken);
}

// Pictures the message box the program shows now, then presses its OK.
void poseMessageBox(TrimdeskProcess& program, const std::string& name) {
    const MessageBoxInfo box = program.waitForMessageBox();
    pose(name, box.window);
    program.closeMessageBox(box);
}

struct CalibratorNotStarted : std::runtime_error {
    CalibratorNotStarted() : std::runtime_error("the stand-in calibrator did not start") {}
};

// The held stand-in looks for its hold file all the time, and a file open elsewhere cannot be
// removed: try again until it lets go.
void releaseCalibrator(const WorkFolder& work) {
    for (int attempt = 0;; ++attempt) {
        try {
            work.remove("standin_hold.txt");
            return;
        } catch (const std::filesystem::filesystem_error&) {
            if (attempt == 100) throw;
            Sleep(10);
        }
    }
}

// Clicks a button that runs a calibrator and pictures the dialog while the run goes on.
void poseWhileCalibrating(TrimdeskProcess& program, const WorkFolder& work,
                          const DialogWindow& dialog, int button, const std::string& name) {
    const std::size_t runsBefore = work.calibratorRuns().size();
    work.writeFile("standin_hold.txt", "");
    // Wine shows a window's drawing on the display now and then, not after every change; with
    // the last showing well past, the program's changes at the click reach the display before
    // the run blocks it.
    RedrawWindow(dialog.handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);
    dialog.postClick(button);
    if (!e2e::waitForCalibratorRuns(work, program, runsBefore + 1)) throw CalibratorNotStarted{};
    pose(name, dialog.handle(), Paint::Blocked);
    releaseCalibrator(work);
    program.waitIdle();
}

// One run of the program in a fresh working folder; C:\sys_kvel\ holds the defaults, and the
// earlier result when asked for.
void withProgram(const std::vector<std::string>& markers, bool earlierResult,
                 const std::function<void(TrimdeskProcess&, const WorkFolder&)>& scene) {
    const DataDirectory data;
    data.clear();
    data.writeFile("calib_us.out", kDefaults);
    if (earlierResult) data.writeFile("calib5us.out", kEarlierResult);
    const WorkFolder work;
    for (const std::string& marker : markers) work.addMarker(marker);
    work.addCalibrators();
    TrimdeskProcess program(work);
    scene(program, work);
}

void captureSteps(TrimdeskProcess& program, const WorkFolder& work) {
    pose("start", program.mainDialog().handle());
    for (int step = 1; step <= 5; ++step) {
        if (step > 1) program.click(kForwardButton);
        poseWhileCalibrating(program, work, program.mainDialog(), kCalibrateButton,
                             "step" + std::to_string(step));
        if (step == 1) pose("step1-done", program.mainDialog().handle());
    }
    poseMessageBox(program, "all-done");
    pose("ok-available", program.mainDialog().handle());
    program.click(kOkButton);
    poseMessageBox(program, "file-written");
}

void manualEntry(TrimdeskProcess& program, const WorkFolder&) {
    program.click(kHelpButton);
    poseMessageBox(program, "help");
    program.click(kRestoreDefaultsButton);
    poseMessageBox(program, "defaults-restored");
    program.clickButton(program.mainDialog(), kManualEntryCheck);
    program.click(kCalibrateButton);
    pose("manual", program.mainDialog().handle());
    // The minimum above the maximum: OK refuses the pair.
    program.mainDialog().setText(kMinEdit, "900");
    program.mainDialog().setText(kMaxEdit, "100");
    program.click(kRememberButton);
    program.click(kOkButton);
    poseMessageBox(program, "invalid-values");
    program.click(kCancelButton);
}

void pressCalibrateAndPoseMessage(TrimdeskProcess& program, const std::string& name) {
    program.click(kCalibrateButton);
    poseMessageBox(program, name);
}

void gearbox(TrimdeskProcess& program, const WorkFolder& work) {
    program.click(kGearboxButton);
    const DialogWindow dialog = program.waitForDialog(texts::kGearboxTitle);
    pose("gearbox", dialog.handle());
    program.click(dialog, kCaptureGearButton);
    poseMessageBox(program, "select-gear-first");

    work.writeFile("standin_values.txt", kGearCaptures);
    for (int gear = 0; gear < kGearCount; ++gear) {
        program.clickButton(dialog, kFirstGearRadio + gear);
        if (gear == 0) {
            poseWhileCalibrating(program, work, dialog, kCaptureGearButton, "gear-capturing");
        } else {
            program.click(dialog, kCaptureGearButton);
        }
    }
    poseMessageBox(program, "all-gears-captured");
    pose("gearbox-complete", dialog.handle());
    program.click(dialog, kGearWriteButton);
    poseMessageBox(program, "gear-layout-error");

    program.clickButton(dialog, kFirstGearRadio);  // neutral once more, in its place
    program.click(dialog, kCaptureGearButton);
    program.closeMessageBox(program.waitForMessageBox());
    program.click(dialog, kGearWriteButton);
    poseMessageBox(program, "gearbox-written");
    poseMessageBox(program, "support-report");
    program.click(kCancelButton);
}

void guidePictures() {
    withProgram({"HBV5.dll"}, true, captureSteps);
    withProgram({"HBV5.dll"}, true, manualEntry);
    withProgram({"HBV5.dll"}, true, gearbox);
    withProgram({"fourpot.dll", "hostbus.dll"}, false, [](TrimdeskProcess& program, auto&) {
        pressCalibrateAndPoseMessage(program, "two-similar-dlls");
    });
    withProgram({"simulator.exe", "HBV5.dll"}, false, [](TrimdeskProcess& program, auto&) {
        pressCalibrateAndPoseMessage(program, "incompatible-interfaces");
    });
    // The marker names a calibrator that is not in the folder.
    withProgram({"rsport.dll"}, false, [](TrimdeskProcess& program, const WorkFolder& work) {
        work.remove("capte.exe");
        pressCalibrateAndPoseMessage(program, "capture-not-found");
    });
    // No marker: no calibrator runs, and the empty capture file left there is read.
    withProgram({}, false, [](TrimdeskProcess& program, const WorkFolder& work) {
        work.writeFile("calib_w.tmp", "");
        pressCalibrateAndPoseMessage(program, "capture-unreadable");
    });
    {
        const DataDirectory data;
        data.clear();
        const WorkFolder work;
        TrimdeskProcess program(work);
        pose("no-defaults", program.mainDialog().handle());
        program.click(kCancelButton);
    }
    // A folder in the result file's place: the file cannot be written.
    withProgram({"HBV5.dll"}, false, [](TrimdeskProcess& program, auto&) {
        std::filesystem::create_directory(DataDirectory::fileOf("calib5us.out"));
        program.click(kRestoreDefaultsButton);
        program.closeMessageBox(program.waitForMessageBox());
        program.click(kOkButton);
        poseMessageBox(program, "write-failed");
        program.click(kCancelButton);
    });
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc > 1) {
            withProgram({"HBV5.dll"}, false, [&](TrimdeskProcess& program, auto&) {
                pose(argv[1], program.mainDialog().handle());
            });
        } else {
            guidePictures();
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "screenshot_poser: %s\n", error.what());
        return 1;
    }
}
