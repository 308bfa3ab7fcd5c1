// The two board models this library is built for. Everything that differs between the HBV7 and
// the HBV5 build lives in this table; the rest of the code takes a model's values as data.
#pragma once

#include <cstdint>

// Both models share the vendor id; it is also the device link's target before any is set.
constexpr std::uint16_t kBoardVendorId = 0x4973;

struct BoardVariant {
    const char* name;  // also the suffix of the export names
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint16_t dllVersion;  // major version in the high byte, minor in the low byte
    std::uint16_t drvVersion;
    std::uint8_t writeBlockSize;  // bytes taken by Write; the CmdWrite payload is one longer
    bool hasWriterThread;         // HBV5 sends pending output from a thread of its own
    bool hasVersionResource;
};

inline constexpr BoardVariant kHbv7{"HBV7", kBoardVendorId, 0x0010, 0x0300, 0x0300,
                                    48,     false,          true};
inline constexpr BoardVariant kHbv5{"HBV5", kBoardVendorId, 0x000F, 0x0301, 0x0300,
                                    24,     true,           false};
