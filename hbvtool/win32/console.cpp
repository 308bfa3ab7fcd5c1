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

bool outputIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void ConsoleStatusView::show(const std::vector<std::string>& utf8Lines) {
    const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO buffer;
    if (!GetConsoleScreenBufferInfo(console, &buffer)) return;
    if (top_ >= 0) SetConsoleCursorPosition(console, COORD{0, static_cast<SHORT>(top_)});
    // Each line filled to one short of the width, so that it covers the previous text and
    // never wraps.
    const std::size_t width = buffer.dwSize.X > 1 ? std::size_t(buffer.dwSize.X) - 1 : 1;
    std::wstring text;
    for (const std::string& line : utf8Lines) {
        std::wstring wide = widen(line);
        wide.resize(width, L' ');
        text += wide + L"\r\n";
    }
    DWORD written = 0;
    WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    // The buffer may have scrolled: the view starts as many lines above the cursor as it has.
    if (GetConsoleScreenBufferInfo(console, &buffer)) {
        top_ = buffer.dwCursorPosition.Y - static_cast<int>(utf8Lines.size());
    }
}
