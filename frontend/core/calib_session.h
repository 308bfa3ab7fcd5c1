// The calibration program's process-wide state and the small types it is made of.
#pragma once

#include <array>
#include <cstdint>
#include <string>

enum class ControlKind : int16_t {
    SteeringWheel = 1,
    Accelerator = 2,
    Brake = 3,
    Clutch = 4,
    Handbrake = 5,
};

constexpr int kControlCount = 5;
constexpr int kGearLeverStep = 6;  // the gear lever's step number for the calibrator runs
constexpr int16_t kUnsetValue = -1000;

// A control's calibration: files and tables hold the maximum first.
struct CalibPair {
    int16_t maxValue = kUnsetValue;
    int16_t minValue = kUnsetValue;

    bool isValid() const { return minValue < maxValue; }
    bool operator==(const CalibPair& other) const {
        return maxValue == other.maxValue && minValue == other.minValue;
    }
};

using CalibPairs = std::array<CalibPair, kControlCount>;  // indexed by ControlKind - 1

struct InterfaceMarkers {
    uint8_t hostbusPresent = 0;
    uint8_t fourpotPresent = 0;
    uint8_t simulatorPresent = 0;
    uint8_t rsportPresent = 0;
    uint8_t hbv5Present = 0;
};

// The two numbers a calibrator leaves in its capture file.
struct CaptureValues {
    int16_t first = 0;
    int16_t second = 0;
};

struct CalibSession {
    int16_t currentStep = 1;
    CalibPairs working{};
    CalibPairs defaults{};
    CalibPairs stored{};
    std::string messageCaption;
    std::string maxText;
    std::string minText;
    std::string lineText;
    std::string numberText;
    uint8_t calibratePressed = 0;
    int32_t manualEntry = 0;
    int32_t gearWriteCount = 0;
    InterfaceMarkers markers;
    int16_t storedInvalid = 0;
    int16_t defaultsInvalid = 0;
    std::array<int16_t, kControlCount> done{};
};

inline bool allControlsDone(const CalibSession& session) {
    for (int16_t done : session.done) {
        if (done != 1) return false;
    }
    return true;
}
