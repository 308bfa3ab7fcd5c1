// The lines hbvtool prints and records, apart from the console that shows them.
#pragma once

#include "report.h"
#include "variant.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The board model a HID interface's ids belong to, or null.
const BoardVariant* boardModelOf(std::uint16_t vendorId, std::uint16_t productId);

// One HID interface of the system's list: ids (unknown when it could not be opened), path, and
// the model when it is a board.
std::string interfaceLine(bool opened, std::uint16_t vendorId, std::uint16_t productId,
                          const std::string& path);

// A packet as GetPacket gave it: seconds since the start with milliseconds, then its bytes.
std::string packetLine(std::uint32_t milliseconds, const std::uint8_t* bytes, std::size_t count);

// The 64 data bytes of the report a GetPacket result came from, as far as they can be known:
// the count meaningful bytes, zeros, and the count in the last byte. A replay of them gives
// GetPacket the same bytes again.
ReportData reportDataOfPacket(const std::uint8_t* bytes, std::size_t count);
