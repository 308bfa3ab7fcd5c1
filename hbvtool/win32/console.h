// Lines on the standard output and error streams. A console gets them through the wide API, so
// the Russian texts read correctly whatever its code page; a file or pipe gets UTF-8.
#pragma once

#include <string>

void printLine(const std::string& utf8);
// "hbvtool: " and the reason, on the error stream.
void printErrorLine(const std::string& utf8);
