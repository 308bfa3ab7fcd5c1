#include "ckpp.h"

#include "control_ids.h"
#include "data_directory.h"

ckpp::ckpp(HINSTANCE instance, CalibSession& session, CalibratorRuns& calibrators)
    : instance_(instance), session_(session), calibrators_(calibrators) {}

INT_PTR ckpp::runModal(HWND owner) {
    return ModalDialog::runModal(instance_, kGearboxDialogTemplate, owner);
}

void ckpp::onInit() {
    dialog_ = std::make_unique<Win32Dialog>(window_);
    logic_ = std::make_unique<GearboxCalibration>(session_, *dialog_, calibrators_, kDataDirectory);
    logic_->startUp();
}

void ckpp::onButton(int controlId) { logic_->onButton(controlId); }
