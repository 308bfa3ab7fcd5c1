#include "recording.h"

#include "hex_text.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kMostMilliseconds = 0xFFFFFFFFu;

std::string_view withoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return line;
}

bool readMilliseconds(std::string_view digits, std::uint32_t& milliseconds) {
    if (digits.empty() || digits.size() > 10) return false;
    std::uint64_t value = 0;
    for (char digit : digits) {
        if (digit < '0' || digit > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(digit - '0');
    }
    if (value > kMostMilliseconds) return false;
    milliseconds = static_cast<std::uint32_t>(value);
    return true;
}

// Reads one report line; returns an empty reason when it is whole.
std::string readLine(std::string_view line, RecordedReport& report) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return "expected milliseconds, a space and 128 hex digits";
    if (!readMilliseconds(line.substr(0, space), report.milliseconds)) {
        return "the milliseconds are not a whole number below 2^32";
    }
    std::vector<std::uint8_t> bytes;
    if (!fromHex(line.substr(space + 1), bytes)) return "the data is not pairs of hex digits";
    if (bytes.size() != kReportDataSize) return "the data is not 64 bytes";
    std::copy(bytes.begin(), bytes.end(), report.data.begin());
    return {};
}

}  // namespace

std::string recordingHeader() {
    return "# Input reports of the trainer's interface board, one a line: milliseconds since\n"
           "# the start, then the 64 bytes after the report id in hex.\n";
}

std::string recordingLine(const RecordedReport& report) {
    return std::to_string(report.milliseconds) + " " + toHex(report.data.data(), kReportDataSize);
}

bool readRecording(std::string_view text, std::vector<RecordedReport>& reports,
                   RecordingError& error, RecordingError* cutLine) {
    std::vector<RecordedReport> read;
    std::size_t lineNumber = 0;
    if (cutLine) *cutLine = RecordingError{};
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const bool lastWithoutEnd = end == std::string_view::npos;
        const std::string_view line =
            withoutLineEnd(text.substr(0, end == std::string_view::npos ? text.size() : end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#') continue;
        RecordedReport report;
        std::string reason = readLine(line, report);
        if (reason.empty() && !read.empty() && report.milliseconds < read.back().milliseconds) {
            reason = "the time goes back";
        }
        if (!reason.empty() && lastWithoutEnd) {
            if (cutLine) *cutLine = RecordingError{lineNumber, "cut short: " + reason};
            break;
        }
        if (!reason.empty()) {
            error = RecordingError{lineNumber, std::move(reason)};
            reports.clear();
            return false;
        }
        read.push_back(report);
    }
    reports = std::move(read);
    return true;
}
