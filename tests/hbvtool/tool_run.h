// Runs the real hbvtool.exe as a technician would, under Wine, and reads back its output and
// exit status: shared by the end-to-end tests of hbvtool.
#pragma once

#include "hex_text.h"
#include "wide_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

// Wine shows the Linux file system as drive Z:.
inline std::string windowsPathOf(std::string path) {
    if (path.empty() || path.front() != '/') return path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return "Z:" + path;
}

const std::string kProgram = windowsPathOf(HBVTOOL_PROGRAM);
const std::string kDeliveredProgram = windowsPathOf(HBVTOOL_DELIVERED_PROGRAM);
const std::string kSystemDlls = windowsPathOf(HBVTOOL_SYSTEM_DLL_DIR) + "\\";
const std::string kSimulatedDlls = windowsPathOf(HBVTOOL_SIMULATED_DLL_DIR) + "\\";

struct ToolRun {
    DWORD exitCode = 0;
    std::string out;
    std::string err;
    double seconds = 0;
};

// Reads the child's output until it has ended and the pipe holds nothing more. Not until the
// pipe's end: a process that Wine starts for the child (explorer.exe for the desktop, at the
// first window of a session) inherits the child's output and may hold it open long after.
inline std::string readAll(HANDLE pipe, HANDLE process) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string text;
    char buffer[4096];
    for (;;) {
        const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0 ||
                           std::chrono::steady_clock::now() > deadline;
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) break;
        if (available == 0) {
            if (ended) break;
            Sleep(5);
            continue;
        }
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) break;
        text.append(buffer, got);
    }
    return text;
}

// HBV_SIMULATION for the child, set for the length of one run.
class SimulationSetting {
  public:
    explicit SimulationSetting(const std::string& value) {
        if (!value.empty()) SetEnvironmentVariableW(L"HBV_SIMULATION", widen(value).c_str());
    }
    ~SimulationSetting() { SetEnvironmentVariableW(L"HBV_SIMULATION", nullptr); }
};

inline ToolRun runTool(const Arguments& arguments, const std::string& simulation = {},
                       const std::string& program = kProgram) {
    SimulationSetting setting(simulation);
    std::wstring commandLine = L"\"" + widen(program) + L"\"";
    for (const std::string& argument : arguments) commandLine += L" \"" + widen(argument) + L"\"";

    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherited, 0);
    CreatePipe(&errRead, &errWrite, &inherited, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    const auto started = std::chrono::steady_clock::now();
    // Wine now and then loses a new process in its own start-up, before any of the program runs:
    // CreateProcess then fails with ERROR_INTERNAL_ERROR, and another try is the same run.
    bool created = false;
    for (int attempt = 0; attempt < 3 && !created; ++attempt) {
        created = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &process);
        if (!created && GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    ToolRun run;
    if (created) {
        std::thread errReader([&] { run.err = readAll(errRead, process.hProcess); });
        run.out = readAll(outRead, process.hProcess);
        errReader.join();
        if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 99);
            ADD_FAILURE() << "hbvtool did not end within 60 s";
        }
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    } else {
        ADD_FAILURE() << "hbvtool did not start, error " << GetLastError();
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return run;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

inline std::string temporaryFile(const char* name) {
    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    return narrow(directory) + name;
}

struct PrintedPacket {
    unsigned milliseconds = 0;
    std::vector<std::uint8_t> bytes;
};

// The lines of watch that show a packet: "seconds.milliseconds  hex".
inline std::vector<PrintedPacket> printedPackets(const std::string& out) {
    std::vector<PrintedPacket> packets;
    for (const std::string& line : linesOf(out)) {
        unsigned seconds = 0, ms = 0;
        char hex[200] = {};
        PrintedPacket packet;
        if (std::sscanf(line.c_str(), " %u.%3u %199s", &seconds, &ms, hex) == 3 &&
            fromHex(hex, packet.bytes) && !packet.bytes.empty()) {
            packet.milliseconds = seconds * 1000 + ms;
            packets.push_back(packet);
        }
    }
    return packets;
}

// The simulated board's own reports (byte 0 is 0x01), without the answers to commands.
inline std::vector<PrintedPacket> patternReports(const std::vector<PrintedPacket>& packets) {
    std::vector<PrintedPacket> reports;
    for (const PrintedPacket& packet : packets) {
        if (packet.bytes.size() >= 5 && packet.bytes[0] == 0x01) reports.push_back(packet);
    }
    return reports;
}

inline std::uint32_t counterOf(const PrintedPacket& report) {
    return report.bytes[1] | report.bytes[2] << 8 | report.bytes[3] << 16 |
           std::uint32_t(report.bytes[4]) << 24;
}

}  // namespace
