// Bytes as hex text and back, as the board tools show them and take them from people.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Two upper-case digits a byte, no separators.
std::string toHex(const std::uint8_t* bytes, std::size_t count);
// Takes pairs of hex digits of either case, nothing else: false for an odd number of digits or
// any other character. An empty text gives no bytes.
bool fromHex(std::string_view text, std::vector<std::uint8_t>& bytes);
