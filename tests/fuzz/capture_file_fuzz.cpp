// Any bytes as a calibrator's capture file, read for a control step and for the gear lever:
// the reader must neither crash nor read out of bounds, and it must either return two values
// or show exactly one message and end the process.
#include "calibrator_runs.h"

#include "fake_dialog.h"
#include "fake_process.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void readAs(int step, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(captureFileName(step), "wb");
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    CalibSession session;
    FakeDialog dialog;
    FakeProcess process;
    const auto values = CalibratorRuns(session, process).readCaptureFile(step, dialog);
    const bool endedWithMessage = dialog.messages.size() == 1 && process.exitStatus == 0;
    const bool readCleanly = dialog.messages.empty() && !process.exitStatus;
    if (values ? !readCleanly : !endedWithMessage) std::abort();
    std::remove(captureFileName(step));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readAs(1, data, size);
    readAs(kGearLeverStep, data, size);
    return 0;
}
