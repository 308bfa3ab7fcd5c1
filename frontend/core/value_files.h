// The result file calib5us.out, the defaults file calib_us.out, and the operations of the main
// window that read and write them: OK, Cancel and Restore defaults.
#pragma once

#include "calib_session.h"
#include "ports.h"

#include <cstdio>
#include <string>

inline constexpr const char* kResultFileName = "calib5us.out";
inline constexpr const char* kDefaultsFileName = "calib_us.out";

enum class ValueFileStatus { Valid, Missing, Damaged };

constexpr int kValueFileLines = 2 * kControlCount;

// Reads ten lines, maximum then minimum of each control, into `pairs` as they are read (a
// short file leaves what it had); Damaged when a line is missing or a pair is invalid.
// linesRead, when given, receives how many of the ten lines could be read.
ValueFileStatus readValueFile(const std::string& path, CalibPairs& pairs, int* linesRead = nullptr);

// Writes the ten values with "%d\n"; stops at the first write that fails and returns false.
bool writeValueLines(std::FILE* file, const CalibPairs& pairs);

class ValueFileOperations {
  public:
    // dataDirectory ends with its separator: "C:\\sys_kvel\\" on the trainer.
    ValueFileOperations(CalibSession& session, DialogPort& dialog, std::string dataDirectory)
        : session_(session), dialog_(dialog), dataDirectory_(std::move(dataDirectory)) {}

    void loadValueFiles();
    void writeResultFile();
    void cancelCalibration();
    void restoreDefaults();
    void discardCaptureFiles();

  private:
    void loadResultFile();
    void loadDefaultsFile();
    void showDefaultLines();
    bool checkWorkingPairs();
    bool replaceResultFile();
    std::string completionNotice() const;
    void showError(const std::string& text);
    void showNotice(const std::string& text);

    CalibSession& session_;
    DialogPort& dialog_;
    std::string dataDirectory_;
};
