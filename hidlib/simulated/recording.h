// A recording of the board's input reports, written by hbvtool and replayed by the simulated
// board. Plain text, one report a line: the milliseconds since the recording started, a space,
// and the report's 64 data bytes (the bytes after the report id) as 128 hex digits. Lines that
// start with '#' are comments; empty lines are passed over; a line may end in CR LF.
#pragma once

#include "report.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct RecordedReport {
    std::uint32_t milliseconds = 0;
    ReportData data{};
};

struct RecordingError {
    std::size_t line = 0;  // counted from 1
    std::string reason;
};

// The first lines of a recording: comments that say what it is.
std::string recordingHeader();
// One report as its line, without the line break.
std::string recordingLine(const RecordedReport& report);

// Reads a whole recording. Times must not go back. On the first malformed line, returns false
// with its number and what is wrong with it; reports then holds nothing. The one exception is
// a last line without its line end that does not read: the recording was cut off mid-line
// (the recording program ended abruptly), so that line is passed over and, when cutLine is
// given, noted there (its line stays 0 when nothing was passed over).
bool readRecording(std::string_view text, std::vector<RecordedReport>& reports,
                   RecordingError& error, RecordingError* cutLine = nullptr);
