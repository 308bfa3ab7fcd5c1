// A host program of the real DLLs: loads each by name, resolves its ten exports and uses them
// as a trainer program would, with no board attached (the board is not here; Wine lists only
// HID devices of its own, which the search must pass over).
#include "board_exports.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Model {
    const char* name;
    std::uint16_t dllVersion;
    const char* otherName;  // the other model, whose names this DLL must not export
};

class DllHost : public ::testing::TestWithParam<Model> {
  protected:
    HMODULE module = nullptr;
    BoardExports dll;

    void SetUp() override {
        const std::string model = GetParam().name;
        module = LoadLibraryA((model + ".dll").c_str());
        ASSERT_NE(module, nullptr) << model << ".dll not found, error " << GetLastError();
        ASSERT_TRUE(resolveBoardExports(module, model, dll))
            << "an export of " << model << " is missing";
    }

    void TearDown() override {
        if (dll.Done) dll.Done();  // the host's duty before unloading
        if (module) FreeLibrary(module);
    }

    void expectVersions() {
        EXPECT_EQ(dll.GetDllVersion(), GetParam().dllVersion);
        std::uint16_t driver = 0;
        EXPECT_EQ(dll.GetDrvVersion(&driver), 1);
        EXPECT_EQ(driver, 0x0300);
        EXPECT_EQ(dll.GetDrvVersion(nullptr), 0) << "refused, not followed";
    }

    // Every call that needs the library's object refuses, and touches nothing.
    void expectNoObject() {
        std::array<std::uint8_t, 64> buffer;
        buffer.fill(0xEE);
        EXPECT_EQ(dll.GetPacket(buffer.data()), 0);
        EXPECT_EQ(buffer[0], 0xEE);
        EXPECT_EQ(dll.Write(buffer.data()), 0);
        EXPECT_EQ(dll.QueryVersion(), 0);
        EXPECT_EQ(dll.WriteEEPROM(buffer.data(), 0, 1), 0);
        EXPECT_EQ(dll.ReadEEPROM(0, 1), 0);
        EXPECT_EQ(dll.EnterBootloader(), 0);
        dll.Done();  // nothing to end
    }

    // Done ends the workers after at most one pause and one search; far below the 1000 ms a
    // read of an attached board could add.
    void doneInTime() {
        const auto start = Clock::now();
        dll.Done();
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        std::printf("Done%s took %lld ms\n", GetParam().name, static_cast<long long>(took.count()));
        EXPECT_LT(took.count(), 1000);
    }
};

TEST_P(DllHost, ExportsOnlyItsOwnModelsNames) {
    EXPECT_EQ(GetProcAddress(module, (std::string("Init") + GetParam().otherName).c_str()),
              nullptr);
}

TEST_P(DllHost, GivesItsVersionsWithAndWithoutInit) {
    expectVersions();
    ASSERT_NE(dll.Init(nullptr, 0), nullptr);
    expectVersions();
    dll.Done();
    expectVersions();
}

TEST_P(DllHost, RefusesCallsBeforeInitAndAfterDone) {
    expectNoObject();
    ASSERT_NE(dll.Init(nullptr, 0), nullptr);
    dll.Done();
    expectNoObject();
}

TEST_P(DllHost, WithNoBoardWriteIsTakenAtOnceAndCommandsFail) {
    void* object = dll.Init(nullptr, 0);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(dll.Init(nullptr, 0), object) << "a second Init keeps the first object";

    std::array<std::uint8_t, 64> data{};
    const auto start = Clock::now();
    EXPECT_EQ(dll.Write(data.data()), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100)) << "Write never waits";
    EXPECT_EQ(dll.QueryVersion(), 0);
    EXPECT_EQ(dll.EnterBootloader(), 0);
    EXPECT_EQ(dll.WriteEEPROM(data.data(), 0, 0), 1) << "nothing to write";
    EXPECT_EQ(dll.WriteEEPROM(data.data(), 0, 61), 0) << "too many";
    EXPECT_EQ(dll.WriteEEPROM(data.data(), 0, 60), 0) << "sent, but no board";
    EXPECT_EQ(dll.ReadEEPROM(0, 62), 0);
    EXPECT_EQ(dll.ReadEEPROM(0, 61), 0);
    EXPECT_EQ(dll.GetPacket(data.data()), 0);
    EXPECT_EQ(dll.Write(nullptr), 0) << "a null block is refused, not followed";
    EXPECT_EQ(dll.WriteEEPROM(nullptr, 0, 1), 0);
    EXPECT_EQ(dll.GetPacket(nullptr), 0);
    doneInTime();
}

TEST_P(DllHost, TakesCallsFromSeveralThreadsAtOnce) {
    ASSERT_NE(dll.Init(nullptr, 0), nullptr);
    std::vector<std::thread> hosts;
    std::vector<int> wrong(4, 0);
    for (int host = 0; host < 4; ++host) {
        hosts.emplace_back([&, host] {
            std::array<std::uint8_t, 64> buffer{};
            for (int i = 0; i < 10; ++i) {
                wrong[host] += dll.Write(buffer.data()) != 1;
                wrong[host] += dll.GetPacket(buffer.data()) != 0;
                wrong[host] += dll.QueryVersion() != 0;
                wrong[host] += dll.ReadEEPROM(1, 8) != 0;
                wrong[host] += dll.WriteEEPROM(buffer.data(), 1, 0) != 1;
                wrong[host] += dll.GetDllVersion() != GetParam().dllVersion;
            }
        });
    }
    for (auto& host : hosts) host.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
    doneInTime();
}

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// Counts the messages with this number that reach the window within the time.
int messagesReceived(HWND window, UINT message, std::chrono::milliseconds time) {
    int received = 0;
    const auto end = Clock::now() + time;
    while (Clock::now() < end) {
        MSG msg;
        while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
            received += msg.message == message;
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return received;
}

TEST_P(DllHost, ARealWindowReceivesNoMessageWhileNoBoardIsAttached) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = hostWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "HbvTestHost";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("HbvTestHost", "host", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    const UINT packetMessage = WM_APP + 5;

    ASSERT_NE(dll.Init(window, packetMessage), nullptr);
    EXPECT_EQ(messagesReceived(window, packetMessage, std::chrono::milliseconds(500)), 0);
    PostMessageA(window, packetMessage, 1, 0);
    EXPECT_EQ(messagesReceived(window, packetMessage, std::chrono::milliseconds(50)), 1)
        << "the window does receive what is posted to it";
    doneInTime();
    DestroyWindow(window);
}

INSTANTIATE_TEST_SUITE_P(Dlls, DllHost,
                         ::testing::Values(Model{"HBV7", 0x0300, "HBV5"},
                                           Model{"HBV5", 0x0301, "HBV7"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
