#include "calibrator_runs.h"

#include "number_reading.h"
#include "texts.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char* kCaptureFiles[] = {"calib_w.tmp", "calib_g.tmp", "calib_b.tmp",
                                         "calib_c.tmp", "calib_h.tmp", "calib_s.tmp"};
bool fileOpens(const std::string& name) {
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

}  // namespace

const char* captureFileName(int step) { return kCaptureFiles[step - 1]; }

InterfaceMarkers probeMarkerFiles(const std::string& folder) {
    InterfaceMarkers markers;
    markers.hostbusPresent = fileOpens(folder + "hostbus.dll");
    markers.fourpotPresent = fileOpens(folder + "fourpot.dll");
    markers.simulatorPresent = fileOpens(folder + "simulator.exe");
    markers.rsportPresent = fileOpens(folder + "rsport.dll");
    markers.hbv5Present = fileOpens(folder + "HBV5.dll");
    return markers;
}

std::optional<MarkerConflict> findMarkerConflict(const InterfaceMarkers& m) {
    MarkerConflict conflict;
    const auto add = [&conflict](bool present, const char* file) {
        if (present) conflict.files.push_back(file);
    };
    if (m.fourpotPresent && m.hostbusPresent) {
        conflict.rule = 1;
        add(true, "fourpot.dll");
        add(true, "hostbus.dll");
        return conflict;
    }
    const bool boardDriverPresent = m.fourpotPresent || m.hostbusPresent || m.rsportPresent;
    if (m.simulatorPresent && (m.hbv5Present || boardDriverPresent)) {
        conflict.rule = 2;
        add(true, "simulator.exe");
        add(m.hbv5Present, "HBV5.dll");
    } else if (m.hbv5Present && boardDriverPresent) {
        conflict.rule = 3;
        add(true, "HBV5.dll");
    } else {
        return std::nullopt;
    }
    add(m.fourpotPresent, "fourpot.dll");
    add(m.hostbusPresent, "hostbus.dll");
    add(m.rsportPresent, "rsport.dll");
    return conflict;
}

const InterfaceKind* chosenInterface(const InterfaceMarkers& markers) {
    for (const InterfaceKind& kind : kInterfaceKinds) {
        if (markers.*kind.present) return &kind;
    }
    return nullptr;
}

void CalibratorRuns::probeInterfaceMarkers() { session_.markers = probeMarkerFiles(""); }

bool CalibratorRuns::checkInterfaceConflicts(DialogPort& owner) {
    const std::optional<MarkerConflict> conflict = findMarkerConflict(session_.markers);
    if (!conflict) return true;
    endWithError(owner,
                 conflict->rule == 1 ? texts::kTwoSimilarDlls : texts::kIncompatibleInterfaces);
    return false;
}

const char* CalibratorRuns::chooseCalibrator(int step) const {
    if (step == kGearLeverStep) return kGearLeverCalibrator;
    const InterfaceKind* kind = chosenInterface(session_.markers);
    return kind ? kind->calibrator : nullptr;
}

void CalibratorRuns::runCalibrator(int step) {
    if (step == kGearLeverStep) std::remove(captureFileName(step));
    const char* program = chooseCalibrator(step);
    if (program == nullptr) return;
    process_.runCommand(std::string(program) + " " + std::to_string(step));
}

std::optional<CaptureValues> CalibratorRuns::readCaptureFile(int step, DialogPort& owner) {
    const std::string name = captureFileName(step);
    const bool gearLever = step == kGearLeverStep;
    std::FILE* file = std::fopen(name.c_str(), "r");
    if (file == nullptr) {
        endWithError(owner, texts::kCaptureNotFound + name);
        return std::nullopt;
    }
    CaptureValues values;
    if (!readNumberLine(file, values.first)) {
        std::fclose(file);
        endWithError(owner,
                     gearLever ? texts::kGearLine1Unreadable : texts::kCaptureUnreadable + name);
        return std::nullopt;
    }
    if (!readNumberLine(file, values.second)) {
        std::fclose(file);
        endWithError(owner,
                     gearLever ? texts::kGearLine2Unreadable : texts::kCaptureUnreadable + name);
        return std::nullopt;
    }
    std::fclose(file);
    if (gearLever) std::remove(name.c_str());
    return values;
}

void CalibratorRuns::endWithError(DialogPort& owner, const std::string& text) {
    owner.showMessage(text, session_.messageCaption, MessageKind::Error);
    process_.exitProcess(0);
}
