#include "calibrator_runs.h"

#include "number_reading.h"
#include "texts.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char* kCaptureFiles[] = {"calib_w.tmp", "calib_g.tmp", "calib_b.tmp",
                                         "calib_c.tmp", "calib_h.tmp", "calib_s.tmp"};
constexpr const char* kGearLeverCalibrator = "capta.exe";

bool fileOpens(const char* name) {
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

}  // namespace

const char* captureFileName(int step) { return kCaptureFiles[step - 1]; }

void CalibratorRuns::probeInterfaceMarkers() {
    InterfaceMarkers& markers = session_.markers;
    markers.hostbusPresent = fileOpens("hostbus.dll");
    markers.fourpotPresent = fileOpens("fourpot.dll");
    markers.simulatorPresent = fileOpens("simulator.exe");
    markers.rsportPresent = fileOpens("rsport.dll");
    markers.hbv5Present = fileOpens("HBV5.dll");
}

bool CalibratorRuns::checkInterfaceConflicts(DialogPort& owner) {
    const InterfaceMarkers& m = session_.markers;
    const bool boardDriverPresent = m.fourpotPresent || m.hostbusPresent || m.rsportPresent;
    if (m.fourpotPresent && m.hostbusPresent) {
        endWithError(owner, texts::kTwoSimilarDlls);
        return false;
    }
    if ((m.simulatorPresent && (m.hbv5Present || boardDriverPresent)) ||
        (m.hbv5Present && boardDriverPresent)) {
        endWithError(owner, texts::kIncompatibleInterfaces);
        return false;
    }
    return true;
}

const char* CalibratorRuns::chooseCalibrator(int step) const {
    if (step == kGearLeverStep) return kGearLeverCalibrator;
    const InterfaceMarkers& m = session_.markers;
    if (m.rsportPresent) return "capte.exe";
    if (m.fourpotPresent) return "captd.exe";
    if (m.hostbusPresent) return "captc.exe";
    if (m.simulatorPresent) return "captb.exe";
    if (m.hbv5Present) return "capta.exe";
    return nullptr;
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
