#include "console.h"

#include "wide_text.h"

#include <windows.h>

namespace {

// Windows' line ends, also inside a text of several lines.
std::string withLineEnds(const std::string& lines) {
    std::string text;
    for (char c : lines) {
        if (c == '\n') text += '\r';
        text += c;
    }
    return text + "\r\n";
}

void writeLine(DWORD stream, const std::string& utf8) {
    const HANDLE handle = GetStdHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = widen(withLineEnds(utf8));
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        const std::string bytes = withLineEnds(utf8);
        WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

}  // namespace

void printLine(const std::string& utf8) { writeLine(STD_OUTPUT_HANDLE, utf8); }

void printErrorLine(const std::string& utf8) { writeLine(STD_ERROR_HANDLE, "hbvtool: " + utf8); }
