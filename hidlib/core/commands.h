// The commands the library sends to the board and the payload of each.
#pragma once

#include "report.h"

#include <cstddef>
#include <cstdint>

// The first byte of every output payload.
enum HidCommand : std::uint8_t {
    CmdEepromWrite = 0x05,
    CmdEepromRead = 0x06,
    CmdQueryVersion = 0x0A,
    CmdWrite = 0x0B,
    CmdEnterBootloader = 0x73,
};

// Largest counts the EEPROM commands accept; a read request is shorter than a write, hence 61.
constexpr std::uint8_t kMaxEepromWriteCount = 60;
constexpr std::uint8_t kMaxEepromReadCount = 61;

Payload makeWritePayload(const std::uint8_t* block, std::size_t blockSize);
Payload makeQueryVersionPayload();
// count must be 1 to kMaxEepromWriteCount; the caller checks it.
Payload makeEepromWritePayload(const std::uint8_t* data, std::uint8_t address, std::uint8_t count);
Payload makeEepromReadPayload(std::uint8_t address, std::uint8_t count);
Payload makeEnterBootloaderPayload();
