// The board's 65-byte report, the same in both directions: report id 0, then 64 bytes whose
// last byte counts the meaningful bytes at their start.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::size_t kReportSize = 65;
constexpr std::size_t kReportDataSize = 64;
// The last data byte holds the count, so a payload never reaches it.
constexpr std::size_t kMaxPayloadLength = kReportDataSize - 1;

using Report = std::array<std::uint8_t, kReportSize>;
using ReportData = std::array<std::uint8_t, kReportDataSize>;

// The bytes of one command, starting with its command code.
struct Payload {
    std::array<std::uint8_t, kReportDataSize> bytes{};
    std::uint8_t length = 0;
};

// An output report: the payload after the report id, zeros, and its length in the last byte.
Report frameReport(const Payload& payload);
