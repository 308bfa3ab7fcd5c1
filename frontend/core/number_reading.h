// The one rule by which the program reads numbers from its files and edit boxes.
#pragma once

#include <cstdint>
#include <cstdio>

// One read takes at most 79 characters up to and including the line end; a longer line is
// split and its rest is read as the next line.
constexpr int kLineBufferSize = 80;

// Leading white space, an optional sign, digits; stops at the first other character, and no
// digits gives 0. The result is the low 16 bits of the number taken as a signed value.
int16_t toInt16(const char* text);

// Reads one line and converts it; false when nothing can be read (the file has ended).
bool readNumberLine(std::FILE* file, int16_t& value);
