#include "main_window.h"

#include "control_ids.h"
#include "texts.h"

MainWindow::MainWindow(CalibSession& session, DialogPort& dialog, ProcessPort& process,
                       std::string dataDirectory)
    : session_(session),
      dialog_(dialog),
      calibrators_(session, process),
      valueFiles_(session, dialog, std::move(dataDirectory)),
      wizard_(session, dialog, calibrators_) {}

void MainWindow::startUp() {
    session_.gearWriteCount = 0;
    dialog_.setText(kGearboxButton, texts::kGearboxButtonCaption);
    session_.messageCaption = texts::kMessageCaption;
    calibrators_.probeInterfaceMarkers();
    valueFiles_.discardCaptureFiles();
    resetRunState();
    valueFiles_.loadValueFiles();
    showStartState();
}

void MainWindow::resetRunState() {
    session_.storedInvalid = 0;
    session_.defaultsInvalid = 0;
    session_.currentStep = 1;
    session_.manualEntry = 0;
    session_.minText.clear();
    session_.maxText.clear();
    session_.calibratePressed = 0;
    session_.done.fill(0);
    session_.working.fill(CalibPair{});
}

void MainWindow::showStartState() {
    dialog_.setChecked(kManualEntryCheck, false);
    for (int id : {kMinEdit, kMaxEdit, kBackButton, kRememberButton}) dialog_.enable(id, false);
    dialog_.setText(kStatusLine, texts::kStartStatus);
    dialog_.enable(kCalibrateButton, true);
    dialog_.enable(kOkButton, false);
    dialog_.setText(kOkHint, texts::kOkHintText);
}

void MainWindow::onButton(int controlId) {
    switch (controlId) {
        case kOkButton: valueFiles_.writeResultFile(); break;
        case kCancelButton: valueFiles_.cancelCalibration(); break;
        case kRestoreDefaultsButton: valueFiles_.restoreDefaults(); break;
        case kBackButton: wizard_.stepBack(); break;
        case kForwardButton: wizard_.stepForward(); break;
        case kCalibrateButton: wizard_.calibrateStep(); break;
        case kManualEntryCheck: wizard_.toggleManualEntry(); break;
        case kRememberButton: wizard_.rememberParameters(); break;
        case kHelpButton: showHelp(); break;
        default: break;
    }
}

void MainWindow::showHelp() {
    std::string text;
    for (const char* piece : texts::kHelpPieces) text += piece;
    dialog_.showMessage(text, texts::kHelpCaption, MessageKind::Notice);
}
