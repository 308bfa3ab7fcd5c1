#include "number_reading.h"

#include <cctype>

int16_t toInt16(const char* text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (std::isspace(*p)) ++p;
    bool negative = false;
    if (*p == '-' || *p == '+') negative = (*p++ == '-');
    // Unsigned arithmetic wraps instead of overflowing, and the low 16 bits of the wrapped
    // sum are those of the number itself, however many digits it has.
    uint32_t magnitude = 0;
    for (; std::isdigit(*p); ++p) magnitude = magnitude * 10u + (*p - '0');
    const uint32_t value = negative ? 0u - magnitude : magnitude;
    return static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFFu));
}

bool readNumberLine(std::FILE* file, int16_t& value) {
    char line[kLineBufferSize];
    if (std::fgets(line, sizeof line, file) == nullptr) return false;
    value = toInt16(line);
    return true;
}
