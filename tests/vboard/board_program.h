// vboard.exe run by a test under Wine: the virtual board plugged into Wine's HID stack for as
// long as a test needs it. Free of the test framework, so that the soak's host can plug a board
// too.
#pragma once

#include "wide_text.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

// vboard.exe in the background for one test: started, and waited for until it says the board is
// plugged. At the end it is waited for when it was given its time, else ended, and the node it
// would have unplugged is removed, so that the next test starts with no board.
class BoardProgram {
  public:
    BoardProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& model = "HBV7")
        : program(program) {
        std::wstring commandLine = L"\"" + widen(program) + L"\"";
        for (const std::string& argument : arguments)
            commandLine += L" \"" + widen(argument) + L"\"";
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE outWrite;
        CreatePipe(&outRead, &outWrite, &inherited, 0);
        SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = outWrite;
        startup.hStdError = outWrite;
        started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &process);
        CloseHandle(outWrite);
        const std::string plugged = "plugged " + model;
        if (started) readUntil(plugged.c_str(), std::chrono::seconds(60));
    }

    ~BoardProgram() {
        if (started && WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 10000);
            removeNodes();
        }
        if (started) {
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        CloseHandle(outRead);
    }

    bool plugged() const { return output.find("plugged") != std::string::npos; }
    // What it has printed so far.
    const std::string& printed() {
        drain();
        return output;
    }

    // Waits for the end of its time; false when it did not end within the limit.
    bool finish(std::chrono::seconds limit, DWORD& exitCode) {
        readUntil(nullptr, limit);
        if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) return false;
        GetExitCodeProcess(process.hProcess, &exitCode);
        return true;
    }

  private:
    // vboard.exe --unplug-all, for the node that a program ended early leaves behind.
    void removeNodes() const {
        std::wstring commandLine = L"\"" + widen(program) + L"\" --unplug-all";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION removal{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &removal)) {
            return;
        }
        WaitForSingleObject(removal.hProcess, 60000);
        CloseHandle(removal.hProcess);
        CloseHandle(removal.hThread);
    }

    // Takes what it has printed so far; false once it has ended.
    bool drain() {
        char buffer[512];
        DWORD available = 0;
        while (PeekNamedPipe(outRead, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            DWORD got = 0;
            if (!ReadFile(outRead, buffer, sizeof buffer, &got, nullptr)) break;
            output.append(buffer, got);
        }
        return WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0;
    }

    // Until it prints the text (with none, until it ends) or the time is up.
    void readUntil(const char* text, std::chrono::seconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (drain() && !(text && output.find(text) != std::string::npos) &&
               std::chrono::steady_clock::now() < deadline) {
            Sleep(10);
        }
        drain();  // what came with its end
    }

    const std::string program;
    HANDLE outRead = nullptr;
    PROCESS_INFORMATION process{};
    bool started = false;
    std::string output;
};
