#include "folder_check.h"

#include "calibrator_runs.h"
#include "gear_layout.h"
#include "gearbox_calibration.h"
#include "text_format.h"
#include "texts.h"
#include "value_files.h"

#include <cstdio>
#include <filesystem>
#include <optional>

namespace {

Finding ok(std::string text) { return {true, std::move(text)}; }
Finding problem(std::string text) { return {false, std::move(text)}; }

std::string joined(const std::vector<const char*>& names, const char* separator) {
    std::string text;
    for (const char* name : names) text += (text.empty() ? "" : separator) + std::string(name);
    return text;
}

bool isFile(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(path, ignored);
}

Finding calibratorFinding(const std::string& folder, const InterfaceKind& kind) {
    if (isFile(folder + kind.calibrator)) {
        return ok(formatText(texts::kCalibratorThere, kind.calibrator, kind.markerFile));
    }
    return problem(
        formatText(texts::kCalibratorMissing, kind.calibrator, kind.markerFile, kind.calibrator));
}

Finding gearCalibratorFinding(const std::string& folder) {
    if (isFile(folder + kGearLeverCalibrator)) {
        return ok(formatText(texts::kGearCalibratorThere, kGearLeverCalibrator));
    }
    return problem(
        formatText(texts::kGearCalibratorMissing, kGearLeverCalibrator, kGearLeverCalibrator));
}

// A name of a file that is not there yet, for the write probe.
std::string probeFileName(const std::string& dataDirectory) {
    for (int attempt = 0;; ++attempt) {
        const std::string name =
            dataDirectory + "hbvtool-check-" + std::to_string(attempt) + ".tmp";
        std::error_code ignored;
        if (!std::filesystem::exists(name, ignored)) return name;
    }
}

bool fileCanBeCreated(const std::string& dataDirectory) {
    const std::string name = probeFileName(dataDirectory);
    std::FILE* file = std::fopen(name.c_str(), "w");
    if (!file) return false;
    const bool written = std::fputs("hbvtool check\n", file) >= 0;
    const bool closed = std::fclose(file) == 0;
    std::remove(name.c_str());
    return written && closed;
}

std::string pairsText(const CalibPairs& pairs) {
    std::string text;
    for (int index = 0; index < kControlCount; ++index) {
        text += formatText("%s%s %d…%d", index ? ", " : "", texts::kControlNames[index],
                           pairs[index].minValue, pairs[index].maxValue);
    }
    return text;
}

// What trimdesk does with a file of pairs; usable and unusable name its consequence.
Finding valueFileFinding(const std::string& dataDirectory, const char* name, const char* usable,
                         const char* unusable) {
    CalibPairs pairs;
    int lines = 0;
    const ValueFileStatus status = readValueFile(dataDirectory + name, pairs, &lines);
    if (status == ValueFileStatus::Valid)
        return ok(formatText(usable, name, pairsText(pairs).c_str()));
    if (status == ValueFileStatus::Missing)
        return problem(formatText(texts::kFileMissing, name, unusable));
    if (lines < kValueFileLines) {
        return problem(formatText(texts::kFileShort, name, lines, kValueFileLines, unusable));
    }
    int index = 0;
    while (pairs[index].isValid()) ++index;
    return problem(formatText(texts::kPairInverted, name, texts::kControlNames[index],
                              pairs[index].minValue, pairs[index].maxValue, unusable));
}

std::string gearsText(const GearboxCapture& gears) {
    std::string text;
    for (int gear = 0; gear < kGearCount; ++gear) {
        text += formatText("%s%s %d,%d", gear ? "; " : "", texts::kGearNames[gear],
                           gears.gearX[gear], gears.gearY[gear]);
    }
    return text;
}

Finding gearboxFileFinding(const std::string& dataDirectory) {
    std::FILE* file = std::fopen((dataDirectory + kGearboxFileName).c_str(), "r");
    if (!file)
        return problem(formatText(texts::kFileMissing, kGearboxFileName, texts::kGearsUnusable));
    GearboxCapture gears;
    gears.reset();
    const int lines = readGearPairs(file, gears);
    std::fclose(file);
    if (lines < kGearFileLines) {
        return problem(formatText(texts::kFileShort, kGearboxFileName, lines, kGearFileLines,
                                  texts::kGearsUnusable));
    }
    if (const std::optional<int> rule = validateGearLayout(gears)) {
        return problem(
            formatText(texts::kGearsOffPattern, kGearboxFileName, gearsText(gears).c_str(), *rule));
    }
    return ok(formatText(texts::kGearsUsable, kGearboxFileName, gearsText(gears).c_str()));
}

}  // namespace

Findings checkInterfaceMarkers(const std::string& folder) {
    const InterfaceMarkers markers = probeMarkerFiles(folder);
    std::vector<const char*> present;
    for (const InterfaceKind& kind : kInterfaceKinds) {
        if (markers.*kind.present) present.push_back(kind.markerFile);
    }
    Findings findings;
    if (present.empty()) {
        findings.push_back(problem(texts::kNoMarkers));
    } else {
        findings.push_back(ok(formatText(texts::kMarkersFound, joined(present, ", ").c_str())));
    }
    if (const std::optional<MarkerConflict> conflict = findMarkerConflict(markers)) {
        findings.push_back(
            problem(formatText(texts::kMarkerConflict, joined(conflict->files, " и ").c_str())));
    }
    if (const InterfaceKind* kind = chosenInterface(markers)) {
        findings.push_back(calibratorFinding(folder, *kind));
    }
    findings.push_back(gearCalibratorFinding(folder));
    return findings;
}

Findings checkDataDirectory(const std::string& dataDirectory) {
    const char* const shown = dataDirectory.c_str();
    std::error_code ignored;
    if (!std::filesystem::is_directory(dataDirectory, ignored)) {
        return {problem(formatText(texts::kDataFolderMissing, shown))};
    }
    Findings findings;
    findings.push_back(fileCanBeCreated(dataDirectory)
                           ? ok(formatText(texts::kDataFolderWritable, shown))
                           : problem(formatText(texts::kDataFolderReadOnly, shown)));
    findings.push_back(valueFileFinding(dataDirectory, kDefaultsFileName, texts::kDefaultsUsable,
                                        texts::kDefaultsUnusable));
    findings.push_back(valueFileFinding(dataDirectory, kResultFileName, texts::kResultUsable,
                                        texts::kResultUnusable));
    findings.push_back(gearboxFileFinding(dataDirectory));
    return findings;
}

std::string findingLine(const Finding& finding) {
    return (finding.ok ? texts::kOkMark : texts::kProblemMark) + finding.text;
}
