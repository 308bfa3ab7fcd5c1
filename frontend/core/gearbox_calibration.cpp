#include "gearbox_calibration.h"

#include "atomic_file.h"
#include "control_ids.h"
#include "texts.h"

#include <cstdio>

#ifndef TRIMDESK_SUPPORT_ADDRESS
#define TRIMDESK_SUPPORT_ADDRESS "support@trimdesk.example"
#endif

namespace {

constexpr int kNoGear = -1;

}  // namespace

GearboxCalibration::GearboxCalibration(CalibSession& session, DialogPort& dialog,
                                       CalibratorRuns& calibrators, std::string dataDirectory)
    : session_(session),
      dialog_(dialog),
      calibrators_(calibrators),
      dataDirectory_(std::move(dataDirectory)) {
    capture_.reset();
}

void GearboxCalibration::startUp() {
    dialog_.setTitle(texts::kGearboxTitle);
    for (int gear = 0; gear < kGearCount; ++gear) {
        dialog_.setText(kFirstGearRadio + gear, texts::kGearRadioCaptions[gear]);
    }
    dialog_.setText(kCaptureGearButton, texts::kCaptureGearCaption);
    dialog_.setText(kGearWriteButton, texts::kGearWriteCaption);
    dialog_.setText(kGearCancelButton, texts::kGearCancelCaption);
    dialog_.setText(kGearInstructionsHeading, texts::kGearInstructionsTitle);
    for (int line = 0; line < 5; ++line) {
        dialog_.setText(kFirstGearInstruction + line, texts::kGearInstructions[line]);
    }
    dialog_.setText(kLastGearInstruction, texts::kGearInstructions[5]);
    dialog_.setText(kGearNoticeLine1, "");
    dialog_.setText(kGearNoticeLine2, "");
    std::remove(captureFileName(kGearLeverStep));
    capture_.reset();
    for (int gear = 0; gear < kGearCount; ++gear) {
        dialog_.setChecked(kFirstGearCheck + gear, false);
        dialog_.setChecked(kFirstGearRadio + gear, false);
    }
    dialog_.enable(kGearWriteButton, false);
}

void GearboxCalibration::onButton(int controlId) {
    switch (controlId) {
        case kCaptureGearButton: captureGearPosition(); break;
        case kGearWriteButton: writeGearboxFiles(); break;
        case kGearCancelButton: cancelGearbox(); break;
        default: break;
    }
}

void GearboxCalibration::captureGearPosition() {
    const int gear = selectedGear();
    if (gear == kNoGear) {
        showNotice(texts::kSelectGearFirst, session_.messageCaption);
        return;
    }
    dialog_.setText(kGearNoticeLine1, texts::kGearCaptureNotice1);
    dialog_.setText(kGearNoticeLine2, texts::kGearCaptureNotice2);
    capture_.captureRunning = 1;
    setGearControlsEnabled(false);
    calibrators_.runCalibrator(kGearLeverStep);
    // Keys and clicks made while the calibrator ran were meant for it.
    dialog_.discardQueuedInput();
    setGearControlsEnabled(true);
    capture_.captureRunning = 0;
    dialog_.setText(kGearNoticeLine1, "");
    dialog_.setText(kGearNoticeLine2, "");

    const auto values = calibrators_.readCaptureFile(kGearLeverStep, dialog_);
    if (!values) return;  // the process has ended
    storeCapture(gear, *values);
    if (capture_.allGearsCaptured()) {
        showNotice(texts::kAllGearsCaptured, session_.messageCaption);
        dialog_.enable(kGearWriteButton, true);
        for (int g = 0; g < kGearCount; ++g) dialog_.setChecked(kFirstGearRadio + g, false);
    } else {
        dialog_.enable(kGearWriteButton, false);
    }
}

int GearboxCalibration::selectedGear() {
    for (int gear = 0; gear < kGearCount; ++gear) {
        if (dialog_.isChecked(kFirstGearRadio + gear)) return gear;
    }
    return kNoGear;
}

void GearboxCalibration::storeCapture(int gear, const CaptureValues& values) {
    capture_.gearX[gear] = values.first;
    capture_.gearY[gear] = values.second;
    capture_.gearCaptured[gear] = 1;
    dialog_.setChecked(kFirstGearCheck + gear, true);
}

void GearboxCalibration::setGearControlsEnabled(bool enabled) {
    for (int gear = 0; gear < kGearCount; ++gear) dialog_.enable(kFirstGearRadio + gear, enabled);
    for (int id : {kCaptureGearButton, kGearWriteButton, kGearCancelButton,
                   kGearInstructionsHeading, kLastGearInstruction}) {
        dialog_.enable(id, enabled);
    }
    for (int line = 0; line < 5; ++line) dialog_.enable(kFirstGearInstruction + line, enabled);
}

void GearboxCalibration::cancelGearbox() {
    if (capture_.captureRunning == 1) return;
    dialog_.close(DialogResult::Cancel);
}

void GearboxCalibration::writeGearboxFiles() {
    if (const auto brokenRule = validateGearLayout(capture_)) {
        showError(texts::kGearRuleMessages[*brokenRule - 1]);
    } else {
        if (!writeGearFile(kGearboxFileName, texts::kGearboxOpenFailed,
                           texts::kGearboxWriteFailed)) {
            return;
        }
        std::remove((dataDirectory_ + kGearReportFileName).c_str());
        showNotice(texts::kGearboxWritten, texts::kGearboxTitle);
        dialog_.close(DialogResult::Ok);
    }
    // From the second verdict of a run on, support gets the numbers too.
    ++session_.gearWriteCount;
    if (session_.gearWriteCount < 2) return;
    if (!writeGearFile(kGearReportFileName, texts::kGearReportOpenFailed,
                       texts::kGearReportWriteFailed)) {
        return;
    }
    showNotice(std::string(texts::kGearReportWritten) + TRIMDESK_SUPPORT_ADDRESS,
               session_.messageCaption);
}

// Replaces one of the two gear files with the captured positions; on failure shows the
// file's own open or write message.
bool GearboxCalibration::writeGearFile(const char* fileName, const char* openFailedText,
                                       const char* writeFailedText) {
    const ReplaceResult result =
        replaceFileAtomically(dataDirectory_ + fileName,
                              [this](std::FILE* file) { return writeGearPairs(file, capture_); });
    if (result == ReplaceResult::OpenFailed) showError(openFailedText);
    if (result == ReplaceResult::WriteFailed) showError(writeFailedText);
    return result == ReplaceResult::Replaced;
}

void GearboxCalibration::showError(const std::string& text) {
    dialog_.showMessage(text, session_.messageCaption, MessageKind::Error);
}

void GearboxCalibration::showNotice(const std::string& text, const std::string& caption) {
    dialog_.showMessage(text, caption, MessageKind::Notice);
}
