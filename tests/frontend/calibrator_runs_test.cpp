#include "calibrator_runs.h"

#include "fake_dialog.h"
#include "fake_process.h"
#include "temp_workplace.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class CalibratorRunsTest : public TempWorkplace {
  protected:
    // Puts the named marker files into the working folder and probes them.
    void placeMarkers(const std::vector<std::string>& names) {
        for (const std::string& name : names) writeFile(name, "");
        runs.probeInterfaceMarkers();
    }

    CalibSession session;
    FakeDialog dialog;
    FakeProcess process;
    CalibratorRuns runs{session, process};
};

TEST_F(CalibratorRunsTest, ProbingSeesEachMarkerFile) {
    placeMarkers({"hostbus.dll", "simulator.exe", "HBV5.dll"});
    EXPECT_EQ(session.markers.hostbusPresent, 1);
    EXPECT_EQ(session.markers.fourpotPresent, 0);
    EXPECT_EQ(session.markers.simulatorPresent, 1);
    EXPECT_EQ(session.markers.rsportPresent, 0);
    EXPECT_EQ(session.markers.hbv5Present, 1);
    EXPECT_TRUE(process.commands.empty());
}

TEST_F(CalibratorRunsTest, ConflictRulesAndTheCalibratorChoice) {
    struct Case {
        std::vector<std::string> markers;
        const char* conflict;  // nullptr: allowed
        const char* calibrator;
    };
    const Case cases[] = {
        {{}, nullptr, nullptr},
        {{"rsport.dll"}, nullptr, "capte.exe"},
        {{"fourpot.dll"}, nullptr, "captd.exe"},
        {{"hostbus.dll"}, nullptr, "captc.exe"},
        {{"simulator.exe"}, nullptr, "captb.exe"},
        {{"HBV5.dll"}, nullptr, "capta.exe"},
        {{"rsport.dll", "fourpot.dll"}, nullptr, "capte.exe"},
        {{"rsport.dll", "hostbus.dll"}, nullptr, "capte.exe"},
        {{"fourpot.dll", "hostbus.dll"}, texts::kTwoSimilarDlls, "captd.exe"},
        {{"fourpot.dll", "hostbus.dll", "simulator.exe", "HBV5.dll"},
         texts::kTwoSimilarDlls,
         "captd.exe"},
        {{"simulator.exe", "HBV5.dll"}, texts::kIncompatibleInterfaces, "captb.exe"},
        {{"simulator.exe", "rsport.dll"}, texts::kIncompatibleInterfaces, "capte.exe"},
        {{"simulator.exe", "hostbus.dll"}, texts::kIncompatibleInterfaces, "captc.exe"},
        {{"HBV5.dll", "fourpot.dll"}, texts::kIncompatibleInterfaces, "captd.exe"},
        {{"HBV5.dll", "rsport.dll"}, texts::kIncompatibleInterfaces, "capte.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.markers));
        TearDown();
        SetUp();
        session = CalibSession{};
        dialog = FakeDialog{};
        process = FakeProcess{};
        placeMarkers(c.markers);

        const bool allowed = runs.checkInterfaceConflicts(dialog);
        EXPECT_EQ(allowed, c.conflict == nullptr);
        if (c.conflict) {
            ASSERT_EQ(dialog.messages.size(), 1u);
            EXPECT_EQ(dialog.lastMessage().text, c.conflict);
            EXPECT_EQ(dialog.lastMessage().kind, MessageKind::Error);
            EXPECT_EQ(process.exitStatus, 0);
        } else {
            EXPECT_TRUE(dialog.messages.empty());
            EXPECT_FALSE(process.exitStatus);
        }
        // The choice ignores the conflict rules; the gear lever always has capta.exe.
        const char* chosen = runs.chooseCalibrator(3);
        EXPECT_STREQ(chosen ? chosen : "none", c.calibrator ? c.calibrator : "none");
        EXPECT_STREQ(runs.chooseCalibrator(kGearLeverStep), "capta.exe");
    }
}

TEST_F(CalibratorRunsTest, RunFormsTheCommandLineAndStartsNothingWithoutAMarker) {
    runs.runCalibrator(1);
    EXPECT_TRUE(process.commands.empty());

    placeMarkers({"fourpot.dll"});
    runs.runCalibrator(3);
    runs.runCalibrator(kGearLeverStep);
    EXPECT_EQ(process.commands, (std::vector<std::string>{"captd.exe 3", "capta.exe 6"}));
}

TEST_F(CalibratorRunsTest, TheGearLeverRunDeletesAStaleCaptureFileFirst) {
    writeFile("calib_s.tmp", "1\n2\n");
    bool staleFileSeen = true;
    process.onRun = [&](const std::string&) { staleFileSeen = exists("calib_s.tmp"); };
    runs.runCalibrator(kGearLeverStep);
    EXPECT_FALSE(staleFileSeen);
}

TEST_F(CalibratorRunsTest, ReadingTakesTheFirstTwoLines) {
    writeFile("calib_w.tmp", "  -123abc\n70000\n5\n");
    const auto values = runs.readCaptureFile(1, dialog);
    ASSERT_TRUE(values);
    EXPECT_EQ(values->first, -123);
    EXPECT_EQ(values->second, static_cast<int16_t>(70000 - 65536));
    EXPECT_TRUE(exists("calib_w.tmp"));  // the wizard's capture files stay until discarded

    writeFile("calib_s.tmp", "\nletters");
    const auto gear = runs.readCaptureFile(kGearLeverStep, dialog);
    ASSERT_TRUE(gear);
    EXPECT_EQ(gear->first, 0);
    EXPECT_EQ(gear->second, 0);
    EXPECT_FALSE(exists("calib_s.tmp"));
    EXPECT_TRUE(dialog.messages.empty());
}

TEST_F(CalibratorRunsTest, EveryUnreadableCaptureFileEndsTheProcessWithItsMessage) {
    struct Case {
        int step;
        const char* bytes;  // nullptr: no file
        std::string message;
    };
    const std::string notFound = "ОШИБКА: программа не может найти файл ";
    const std::string unreadable = "ОШИБКА: программа не может прочитать файл ";
    const Case cases[] = {
        {1, nullptr, notFound + "calib_w.tmp"},
        {2, nullptr, notFound + "calib_g.tmp"},
        {3, "", unreadable + "calib_b.tmp"},
        {4, "12\n", unreadable + "calib_c.tmp"},
        {5, "", unreadable + "calib_h.tmp"},
        {6, nullptr, notFound + "calib_s.tmp"},
        {6, "", "ОШИБКА: программа не может прочитать строку 1 в файле calib_s.tmp"},
        {6, "12", "ОШИБКА: программа не может прочитать строку 2 в файле calib_s.tmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        FakeDialog owner;
        process.exitStatus.reset();
        const std::string name = captureFileName(c.step);
        std::remove(name.c_str());
        if (c.bytes) writeFile(name, c.bytes);

        EXPECT_FALSE(runs.readCaptureFile(c.step, owner));
        ASSERT_EQ(owner.messages.size(), 1u);
        EXPECT_EQ(owner.lastMessage().text, c.message);
        EXPECT_EQ(owner.lastMessage().caption, session.messageCaption);
        EXPECT_EQ(owner.lastMessage().kind, MessageKind::Error);
        EXPECT_EQ(process.exitStatus, 0);
    }
}
