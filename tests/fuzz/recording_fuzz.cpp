// Any bytes as a recording of input reports, which the simulated board replays from a file a
// person gives it: the reader must neither crash nor read out of bounds; what it accepts must
// come back the same when written out and read again, and what it refuses names a line of it.
#include "recording.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<RecordedReport> reports;
    RecordingError error;
    if (!readRecording(text, reports, error)) {
        const std::size_t lines =
            static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        if (error.line == 0 || error.line > lines || error.reason.empty() || !reports.empty()) {
            std::abort();
        }
        return 0;
    }
    std::string written = recordingHeader();
    for (const RecordedReport& report : reports) written += recordingLine(report) + "\n";
    std::vector<RecordedReport> again;
    if (!readRecording(written, again, error) || again.size() != reports.size()) std::abort();
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (again[i].milliseconds != reports[i].milliseconds || again[i].data != reports[i].data) {
            std::abort();
        }
    }
    return 0;
}
