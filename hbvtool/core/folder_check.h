// hbvtool check's look at a trainer's working folder and data directory, made with
// trimdesk's own marker rules, calibrator choice and file readers. It reads and writes nothing
// but its probe file in the data directory.
#pragma once

#include <string>
#include <vector>

struct Finding {
    bool ok = true;
    std::string text;  // what was found; for a problem also what to do
};
using Findings = std::vector<Finding>;

// The marker files, the marker set's conflicts and the calibrators they select. folder: ""
// for the working folder, else ending with its separator.
Findings checkInterfaceMarkers(const std::string& folder);

// Whether a file can be created in the data directory (ending with its separator), and the
// three calibration files there as trimdesk reads them.
Findings checkDataDirectory(const std::string& dataDirectory);

// The line that shows a finding: its mark, then its text.
std::string findingLine(const Finding& finding);
