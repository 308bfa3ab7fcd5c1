// Shared by the HID library's tests.
#pragma once

#include "report.h"
#include "virtual_board.h"

#include <chrono>
#include <initializer_list>
#include <vector>

// The link's time limit in native tests: a timed-out transfer costs this, not a second.
constexpr unsigned kShortTimeoutMs = 20;
// Bound on waiting for a held transfer to arrive; only reached when something is broken.
constexpr std::chrono::seconds kHoldWait{10};

using Direction = VirtualBoard::Direction;
using Fault = VirtualBoard::Fault;

inline Report reportWith(std::initializer_list<std::pair<int, int>> bytes) {
    Report report{};
    for (const auto& [position, value] : bytes) report[position] = static_cast<std::uint8_t>(value);
    return report;
}

inline std::vector<Report> reportBytes(const std::vector<VirtualBoard::WrittenReport>& written) {
    std::vector<Report> bytes;
    for (const auto& report : written) bytes.push_back(report.bytes);
    return bytes;
}
