#include "gear_layout.h"

#include "number_reading.h"

#include <initializer_list>

namespace {

bool allLess(std::initializer_list<int16_t> lower, std::initializer_list<int16_t> higher) {
    for (int16_t a : lower) {
        for (int16_t b : higher) {
            if (!(a < b)) return false;
        }
    }
    return true;
}

}  // namespace

std::array<bool, kGearRuleCount> gearRuleResults(const GearboxCapture& capture) {
    const auto& x = capture.gearX;
    const auto& y = capture.gearY;
    const int16_t yn = y[kNeutral];
    const int16_t x1 = x[kGear1], x2 = x[kGear2], x3 = x[kGear3], x4 = x[kGear4], x5 = x[kGear5];
    const int16_t y1 = y[kGear1], y2 = y[kGear2], y3 = y[kGear3], y4 = y[kGear4], y5 = y[kGear5];
    const int16_t xr = x[kReverse], yr = y[kReverse];

    // Columns by X, largest first: 1 and reverse, 2 and 3, 4 and 5. Rows by Y: 1, 2 and 4
    // above neutral, 3, 5 and reverse below it.
    return {
        allLess({yn}, {y1, y2, y4}),                         // 1
        allLess({y3, y5, yr}, {yn}),                         // 2
        allLess({x2, x4, x3, x5}, {x1}),                     // 3
        allLess({yn, y3, y5, yr}, {y1}),                     // 4
        allLess({x4, x5}, {x2}) && allLess({x2}, {x1, xr}),  // 5
        allLess({yn, y3, y5, yr}, {y2}),                     // 6
        allLess({x4, x5}, {x3}) && allLess({x3}, {x1, xr}),  // 7
        allLess({y3}, {yn, y1, y2, y4}),                     // 8
        allLess({x4}, {x1, x2, x3, xr}),                     // 9
        allLess({yn, y3, y5, yr}, {y4}),                     // 10
        allLess({x5}, {x1, x2, x3, xr}),                     // 11
        allLess({y5}, {yn, y1, y2, y4}),                     // 12
        allLess({x2, x4, x3, x5}, {xr}),                     // 13
        allLess({yr}, {yn, y1, y2, y4}),                     // 14
    };
}

std::optional<int> validateGearLayout(const GearboxCapture& capture) {
    const auto holds = gearRuleResults(capture);
    for (int rule = 0; rule < kGearRuleCount; ++rule) {
        if (!holds[rule]) return rule + 1;
    }
    return std::nullopt;
}

bool writeGearPairs(std::FILE* file, const GearboxCapture& capture) {
    for (int gear = 0; gear < kGearCount; ++gear) {
        if (std::fprintf(file, "%d\n%d\n", capture.gearX[gear], capture.gearY[gear]) < 0) {
            return false;
        }
    }
    return true;
}

int readGearPairs(std::FILE* file, GearboxCapture& capture) {
    int lines = 0;
    for (int gear = 0; gear < kGearCount; ++gear) {
        if (!readNumberLine(file, capture.gearX[gear])) break;
        ++lines;
        if (!readNumberLine(file, capture.gearY[gear])) break;
        ++lines;
        capture.gearCaptured[gear] = 1;
    }
    return lines;
}
