// The gear-lever positions of the seven gears, the shift pattern they must match, and the
// fourteen-line format in which they are stored.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>

enum GearIndex : int {
    kNeutral = 0,
    kGear1 = 1,
    kGear2 = 2,
    kGear3 = 3,
    kGear4 = 4,
    kGear5 = 5,
    kReverse = 6,
};

constexpr int kGearCount = 7;
constexpr int kGearSlots = 10;  // storage slots; the gears use 0..6
constexpr int16_t kGearUnset = -32000;

struct GearboxCapture {
    std::array<int16_t, kGearSlots> gearX{};
    std::array<int16_t, kGearSlots> gearY{};
    std::array<uint8_t, kGearSlots> gearCaptured{};
    uint8_t captureRunning = 0;

    void reset() {
        gearX.fill(kGearUnset);
        gearY.fill(kGearUnset);
        gearCaptured.fill(0);
        captureRunning = 0;
    }
    bool allGearsCaptured() const {
        for (int gear = 0; gear < kGearCount; ++gear) {
            if (!gearCaptured[gear]) return false;
        }
        return true;
    }
};

constexpr int kGearRuleCount = 14;

// Whether each of the fourteen layout rules holds, all of them tested.
std::array<bool, kGearRuleCount> gearRuleResults(const GearboxCapture& capture);

// The number (1..14) of the first rule the layout breaks, or nullopt when it matches the
// shift pattern.
std::optional<int> validateGearLayout(const GearboxCapture& capture);

constexpr int kGearFileLines = 2 * kGearCount;

// Writes X then Y of each gear, neutral first; false when a write failed.
bool writeGearPairs(std::FILE* file, const GearboxCapture& capture);

// Reads what writeGearPairs wrote, line by line as every value file is read, into the gears
// (marking each gear whose two lines were read captured). Returns the number of lines read,
// kGearFileLines when the file is whole.
int readGearPairs(std::FILE* file, GearboxCapture& capture);
