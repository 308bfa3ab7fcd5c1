// Lines on the standard output and error streams. A console gets them through the wide API, so
// the Russian texts read correctly whatever its code page; a file or pipe gets UTF-8.
#pragma once

#include <string>
#include <vector>

void printLine(const std::string& utf8);
// "hbvtool: " and the reason, on the error stream.
void printErrorLine(const std::string& utf8);

// True when the standard output is a console rather than a file or a pipe.
bool outputIsConsole();

// A few lines on the console that each show() writes again in the same place.
class ConsoleStatusView {
  public:
    void show(const std::vector<std::string>& utf8Lines);

  private:
    int top_ = -1;  // the first line's row; none before the first show
};
