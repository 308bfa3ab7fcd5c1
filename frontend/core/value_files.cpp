#include "value_files.h"

#include "atomic_file.h"
#include "calibrator_runs.h"
#include "control_ids.h"
#include "number_reading.h"
#include "texts.h"

#include <algorithm>

namespace {

constexpr int kLineTextSize = 200;

bool noneDone(const CalibSession& session) {
    return std::none_of(session.done.begin(), session.done.end(), [](int16_t d) { return d; });
}

}  // namespace

ValueFileStatus readValueFile(const std::string& path, CalibPairs& pairs, int* linesRead) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return ValueFileStatus::Missing;
    int lines = 0;
    for (CalibPair& pair : pairs) {
        if (!readNumberLine(file, pair.maxValue)) break;
        ++lines;
        if (!readNumberLine(file, pair.minValue)) break;
        ++lines;
    }
    std::fclose(file);
    if (linesRead) *linesRead = lines;
    const bool valid =
        lines == kValueFileLines &&
        std::all_of(pairs.begin(), pairs.end(), [](const CalibPair& p) { return p.isValid(); });
    return valid ? ValueFileStatus::Valid : ValueFileStatus::Damaged;
}

bool writeValueLines(std::FILE* file, const CalibPairs& pairs) {
    for (const CalibPair& pair : pairs) {
        if (std::fprintf(file, "%d\n", pair.maxValue) <= 0) return false;
        if (std::fprintf(file, "%d\n", pair.minValue) <= 0) return false;
    }
    return true;
}

void ValueFileOperations::loadValueFiles() {
    loadResultFile();
    loadDefaultsFile();
}

void ValueFileOperations::loadResultFile() {
    if (readValueFile(dataDirectory_ + kResultFileName, session_.stored) !=
        ValueFileStatus::Valid) {
        session_.storedInvalid = 1;
        return;
    }
    session_.working = session_.stored;
}

void ValueFileOperations::loadDefaultsFile() {
    const ValueFileStatus status =
        readValueFile(dataDirectory_ + kDefaultsFileName, session_.defaults);
    if (status == ValueFileStatus::Valid) {
        showDefaultLines();
        return;
    }
    session_.defaultsInvalid = 1;
    dialog_.enable(kRestoreDefaultsButton, false);
    dialog_.setText(kDefaultsNote, status == ValueFileStatus::Missing ? texts::kDefaultsNotFound
                                                                      : texts::kDefaultsDamaged);
}

void ValueFileOperations::showDefaultLines() {
    for (int index = 0; index < kControlCount; ++index) {
        const CalibPair& pair = session_.defaults[index];
        char line[kLineTextSize];
        std::snprintf(line, sizeof line, texts::kDefaultLineFormats[index], pair.minValue,
                      pair.maxValue);
        session_.lineText = line;
        dialog_.setText(kFirstDefaultLine + index, session_.lineText);
    }
}

void ValueFileOperations::writeResultFile() {
    if (noneDone(session_)) return;
    if (!checkWorkingPairs()) return;
    discardCaptureFiles();
    if (!replaceResultFile()) return;
    showNotice(completionNotice());
    dialog_.close(DialogResult::Ok);
}

bool ValueFileOperations::checkWorkingPairs() {
    for (int index = 0; index < kControlCount; ++index) {
        if (!session_.working[index].isValid()) {
            showError(std::string(texts::kInvalidPairPrefix) + texts::kInvalidPairControls[index]);
            return false;
        }
    }
    return true;
}

bool ValueFileOperations::replaceResultFile() {
    const ReplaceResult result = replaceFileAtomically(
        dataDirectory_ + kResultFileName,
        [this](std::FILE* file) { return writeValueLines(file, session_.working); });
    if (result == ReplaceResult::OpenFailed) showError(texts::kResultOpenFailed);
    if (result == ReplaceResult::WriteFailed) showError(texts::kResultWriteFailed);
    return result == ReplaceResult::Replaced;
}

std::string ValueFileOperations::completionNotice() const {
    if (allControlsDone(session_)) return texts::kResultWritten;
    std::string notice = texts::kResultWrittenPartly;
    for (int index = 0; index < kControlCount; ++index) {
        if (!session_.done[index]) notice += texts::kUncalibratedControls[index];
    }
    return notice;
}

void ValueFileOperations::cancelCalibration() {
    discardCaptureFiles();
    dialog_.close(DialogResult::Cancel);
}

void ValueFileOperations::restoreDefaults() {
    session_.calibratePressed = 0;
    if (session_.defaultsInvalid == 1) return;
    session_.working = session_.defaults;
    session_.done.fill(1);
    dialog_.enable(kOkButton, true);
    showNotice(texts::kDefaultsRestored);
}

void ValueFileOperations::discardCaptureFiles() {
    for (int step = 1; step <= kControlCount; ++step) std::remove(captureFileName(step));
}

void ValueFileOperations::showError(const std::string& text) {
    dialog_.showMessage(text, session_.messageCaption, MessageKind::Error);
}

void ValueFileOperations::showNotice(const std::string& text) {
    dialog_.showMessage(text, session_.messageCaption, MessageKind::Notice);
}
