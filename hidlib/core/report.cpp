#include "report.h"

#include <algorithm>

Report frameReport(const Payload& payload) {
    Report report{};
    std::copy_n(payload.bytes.begin(), payload.length, report.begin() + 1);
    report[kReportSize - 1] = payload.length;
    return report;
}
