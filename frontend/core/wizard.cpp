#include "wizard.h"

#include "control_ids.h"
#include "number_reading.h"
#include "texts.h"

#include <string>

namespace {

constexpr int kFirstStep = 1;
constexpr int kLastStep = kControlCount;
// An edit box is read as at most seven characters and the rest is ignored: seven hold every
// signed 16-bit value ("-32768") with a blank to spare, and the cut keeps longer input reading
// the same on every trainer (the low 16 bits of its first seven characters' number).
constexpr int kEditBoxReadLimit = 7;

const texts::StepTexts& stepTexts(int step) { return texts::kStepTexts[step - 1]; }

}  // namespace

void Wizard::stepBack() {
    --session_.currentStep;
    session_.calibratePressed = 0;
    session_.minText.clear();
    session_.maxText.clear();
    const int step = session_.currentStep;
    if (step < kLastStep) dialog_.enable(kForwardButton, true);
    dialog_.setText(kStepTitle, stepTexts(step).title);
    if (step == kFirstStep) dialog_.enable(kBackButton, false);
    clearStepDisplay();
}

void Wizard::stepForward() {
    ++session_.currentStep;
    session_.calibratePressed = 0;
    session_.minText.clear();
    session_.maxText.clear();
    const int step = session_.currentStep;
    dialog_.setText(kStepTitle, stepTexts(step).title);
    dialog_.enable(kBackButton, true);
    clearStepDisplay();
    if (step == kLastStep) dialog_.enable(kForwardButton, false);
}

void Wizard::clearStepDisplay() {
    for (int id : {kMinEdit, kMaxEdit, kOldMinLabel, kOldMaxLabel, kOldValuesLabel}) {
        dialog_.setText(id, texts::kBlank);
    }
    dialog_.setText(kStatusLine, texts::kContinueStatus);
    dialog_.enable(kRememberButton, false);
}

void Wizard::calibrateStep() {
    if (session_.calibratePressed == 1) return;
    const bool checked = dialog_.isChecked(kManualEntryCheck);
    if (!checked) {
        dialog_.enable(kRestoreDefaultsButton, false);
        dialog_.enable(kGearboxButton, false);
    }
    session_.calibratePressed = 1;
    session_.manualEntry = checked ? 1 : 0;
    const int step = session_.currentStep;
    if (session_.storedInvalid == 0) dialog_.setText(kOldValuesLabel, texts::kOldValuesCaption);
    if (session_.manualEntry == 1) dialog_.enable(kRememberButton, true);
    if (step == kFirstStep) dialog_.setText(kStepTitle, stepTexts(step).title);
    if (session_.storedInvalid == 0) showValuesOfStep(step);

    if (session_.manualEntry != 0) {
        dialog_.setText(kStatusLine, stepTexts(step).manualPrompt);
    } else if (!captureStep(step)) {
        return;  // the process has ended
    }
    completeIfAllDone(step == kLastStep);
}

void Wizard::showValuesOfStep(int step) {
    const CalibPair& stored = session_.stored[step - 1];
    const CalibPair& working = session_.working[step - 1];
    const bool manual = session_.manualEntry == 1;
    showNumber(kOldMinLabel, stored.minValue);
    if (manual) {
        session_.numberText = std::to_string(working.minValue);
        session_.minText = session_.numberText;
        dialog_.setText(kMinEdit, session_.numberText);
    }
    showNumber(kOldMaxLabel, stored.maxValue);
    if (manual) {
        session_.numberText = std::to_string(working.maxValue);
        session_.maxText = session_.numberText;
        dialog_.setText(kMaxEdit, session_.numberText);
    }
}

// False when the process has ended on a contradictory marker set or an unreadable capture.
bool Wizard::captureStep(int step) {
    dialog_.setText(kMinEdit, texts::kBlank);
    dialog_.setText(kMaxEdit, texts::kBlank);
    dialog_.setText(kStatusLine, stepTexts(step).captureInstruction);
    if (step == kFirstStep && !calibrators_.checkInterfaceConflicts(dialog_)) return false;

    setRunControlsEnabled(false);
    calibrators_.runCalibrator(step);
    // Clicks and keys the operator made while the calibrator ran were meant for it, not for
    // the controls that are about to be enabled again.
    dialog_.discardQueuedInput();
    enableControlsAfterRun(step);
    dialog_.setText(kStatusLine, stepTexts(step).captureCompletion);

    const auto values = calibrators_.readCaptureFile(step, dialog_);
    if (!values) return false;
    CalibPair& working = session_.working[step - 1];
    working.maxValue = values->first;
    showNumber(kMaxEdit, working.maxValue);
    working.minValue = values->second;
    showNumber(kMinEdit, working.minValue);
    session_.done[step - 1] = 1;
    return true;
}

void Wizard::setRunControlsEnabled(bool enabled) {
    for (int id : {kManualEntryCheck, kBackButton, kForwardButton, kRememberButton,
                   kCalibrateButton, kHelpButton, kCancelButton}) {
        dialog_.enable(id, enabled);
    }
}

void Wizard::enableControlsAfterRun(int step) {
    dialog_.enable(kManualEntryCheck, true);
    dialog_.enable(kBackButton, step != kFirstStep);
    if (step != kLastStep) dialog_.enable(kForwardButton, true);
    dialog_.enable(kRememberButton, false);
    for (int id :
         {kCalibrateButton, kHelpButton, kRestoreDefaultsButton, kGearboxButton, kCancelButton}) {
        dialog_.enable(id, true);
    }
}

void Wizard::toggleManualEntry() {
    session_.manualEntry = dialog_.isChecked(kManualEntryCheck) ? 1 : 0;
    if (session_.manualEntry == 1) {
        dialog_.enable(kMinEdit, true);
        dialog_.enable(kMaxEdit, true);
        if (session_.calibratePressed == 1) dialog_.enable(kRememberButton, true);
        dialog_.setText(kMinEdit, session_.minText);
        dialog_.setText(kMaxEdit, session_.maxText);
    } else {
        dialog_.enable(kMinEdit, false);
        dialog_.enable(kMaxEdit, false);
        dialog_.enable(kRememberButton, false);
        dialog_.setText(kMinEdit, texts::kBlank);
        dialog_.setText(kMaxEdit, texts::kBlank);
    }
    session_.calibratePressed = 0;
}

void Wizard::rememberParameters() {
    session_.calibratePressed = 0;
    session_.manualEntry = dialog_.isChecked(kManualEntryCheck) ? 1 : 0;
    if (session_.manualEntry == 1) {
        const int step = session_.currentStep;
        CalibPair& working = session_.working[step - 1];
        working.minValue = readEditBox(kMinEdit, session_.minText);
        working.maxValue = readEditBox(kMaxEdit, session_.maxText);
        dialog_.setText(kStatusLine, stepTexts(step).rememberCompletion);
        session_.done[step - 1] = 1;
    }
    completeIfAllDone(false);
}

// Reads the box by the program's number rule and keeps what was read in `text`.
int16_t Wizard::readEditBox(int controlId, std::string& text) {
    session_.numberText = dialog_.getText(controlId, kEditBoxReadLimit);
    text = session_.numberText;
    return toInt16(session_.numberText.c_str());
}

void Wizard::completeIfAllDone(bool announce) {
    if (!allControlsDone(session_)) return;
    if (announce) {
        dialog_.enable(kForwardButton, false);
        dialog_.showMessage(texts::kAllControlsDone, session_.messageCaption, MessageKind::Notice);
    }
    dialog_.setText(kOkHint, texts::kBlank);
    dialog_.enable(kOkButton, true);
}

void Wizard::showNumber(int controlId, int16_t value) {
    dialog_.setText(controlId, std::to_string(value));
}
