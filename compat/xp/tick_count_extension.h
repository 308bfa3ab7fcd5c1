/*
 * A 64-bit millisecond count built from the system's 32-bit one, which wraps every 49.7 days.
 * The state keeps the number of wraps in its high half and the last count seen in its low
 * half; a count below the last one means the 32-bit count has wrapped since.
 */
#ifndef TICK_COUNT_EXTENSION_H
#define TICK_COUNT_EXTENSION_H

#include <stdint.h>

static inline uint64_t extendTickCount(uint64_t state, uint32_t now) {
    uint64_t wraps = state >> 32;
    if (now < (uint32_t)state) ++wraps;
    return wraps << 32 | now;
}

#endif
