#include "gearbox_calibration.h"

#include "control_ids.h"
#include "failing_disk.h"
#include "fake_dialog.h"
#include "fake_process.h"
#include "temp_workplace.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// Columns by X (1 and reverse, 2 and 3, 4 and 5) and rows by Y around neutral.
GearboxCapture passingLayout() {
    GearboxCapture capture;
    capture.reset();
    const int16_t x[kGearCount] = {200, 300, 200, 200, 100, 100, 300};
    const int16_t y[kGearCount] = {200, 300, 300, 100, 300, 100, 100};
    for (int gear = 0; gear < kGearCount; ++gear) {
        capture.gearX[gear] = x[gear];
        capture.gearY[gear] = y[gear];
        capture.gearCaptured[gear] = 1;
    }
    return capture;
}

const char* const kPassingFile =
    "200\n200\n300\n300\n200\n300\n200\n100\n100\n300\n100\n100\n300\n100\n";

}  // namespace

TEST(GearLayout, TheShiftPatternPassesAndAllowsWhatNoRuleCompares) {
    EXPECT_EQ(validateGearLayout(passingLayout()), std::nullopt);
    struct Change {
        int gear;
        bool isX;
        int16_t value;
    };
    const Change allowed[] = {
        {kReverse, true, 400},    {kReverse, true, 250},  // X1 and XR are never compared
        {kGear3, true, 250},      {kGear5, true, 50},     // nor the two gears of one column
        {kGear2, false, 250},     {kGear5, false, 50},    // nor the gears of one row
        {kNeutral, true, -32000},                         // neutral's X takes part in no rule
    };
    for (const Change& change : allowed) {
        GearboxCapture capture = passingLayout();
        (change.isX ? capture.gearX : capture.gearY)[change.gear] = change.value;
        EXPECT_EQ(validateGearLayout(capture), std::nullopt) << change.gear << change.isX;
    }
}

TEST(GearLayout, EachRuleCatchesItsOwnBreakAndTheFirstBrokenRuleDecides) {
    struct Break {
        int gear;
        bool isX;
        int16_t value;
        int rule;       // a rule that must fail
        int firstRule;  // the rule validateGearLayout reports
    };
    const Break breaks[] = {
        {kNeutral, false, 300, 1, 1}, {kNeutral, false, 100, 2, 2},  {kGear1, true, 200, 3, 3},
        {kGear1, false, 100, 4, 1},   {kGear2, true, 100, 5, 5},     {kGear2, false, 200, 6, 1},
        {kGear3, true, 100, 7, 7},    {kGear3, false, 200, 8, 2},    {kGear4, true, 200, 9, 5},
        {kGear4, false, 100, 10, 1},  {kGear5, true, 300, 11, 3},    {kGear5, false, 300, 12, 2},
        {kReverse, true, 100, 13, 5}, {kReverse, false, 300, 14, 2},
    };
    for (const Break& b : breaks) {
        SCOPED_TRACE(b.rule);
        GearboxCapture capture = passingLayout();
        (b.isX ? capture.gearX : capture.gearY)[b.gear] = b.value;
        EXPECT_FALSE(gearRuleResults(capture)[b.rule - 1]);
        EXPECT_EQ(validateGearLayout(capture), b.firstRule);
    }
    // Rules 3 and 5 both broken: only rule 3 speaks.
    GearboxCapture capture = passingLayout();
    capture.gearX[kGear1] = 150;
    EXPECT_FALSE(gearRuleResults(capture)[4]);
    EXPECT_EQ(validateGearLayout(capture), 3);
    // Nothing captured at all: rule 1 first.
    capture.reset();
    EXPECT_EQ(validateGearLayout(capture), 1);
}

class GearboxTest : public TempWorkplace {
  protected:
    void SetUp() override {
        TempWorkplace::SetUp();
        session.messageCaption = texts::kMessageCaption;
        writeFile("rsport.dll", "");  // a marker that must not matter to the gear lever
        calibrators.probeInterfaceMarkers();
        process.onRun = [this](const std::string&) {
            const auto [x, y] = positions.front();
            positions.erase(positions.begin());
            writeFile("calib_s.tmp", std::to_string(x) + "\n" + std::to_string(y) + "\n");
        };
        open();
    }
    void open(const std::string& dataDirectory = "") {
        dialog = FakeDialog{};
        gearbox = std::make_unique<GearboxCalibration>(
            session, dialog, calibrators, dataDirectory.empty() ? dataDir() : dataDirectory);
        gearbox->startUp();
    }
    void captureGear(int gear, int16_t x, int16_t y) {
        positions.push_back({x, y});
        dialog.setChecked(kFirstGearRadio + gear, true);
        for (int other = 0; other < kGearCount; ++other) {
            if (other != gear) dialog.setChecked(kFirstGearRadio + other, false);
        }
        gearbox->onButton(kCaptureGearButton);
    }
    void captureLayout(const GearboxCapture& layout) {
        for (int gear = 0; gear < kGearCount; ++gear) {
            captureGear(gear, layout.gearX[gear], layout.gearY[gear]);
        }
    }
    size_t countMessages(const std::string& text) const {
        size_t count = 0;
        for (const ShownMessage& m : dialog.messages) count += m.text.rfind(text, 0) == 0;
        return count;
    }

    CalibSession session;
    FakeProcess process;
    CalibratorRuns calibrators{session, process};
    FakeDialog dialog;
    std::unique_ptr<GearboxCalibration> gearbox;
    std::vector<std::pair<int16_t, int16_t>> positions;
};

TEST_F(GearboxTest, StartUpShowsTheTextsAndForgetsEverything) {
    writeFile("calib_s.tmp", "1\n2\n");
    open();
    EXPECT_EQ(dialog.title, "Калибровка коробки передач");
    EXPECT_EQ(dialog.text(kFirstGearRadio), "- нейтральная передача");
    EXPECT_EQ(dialog.text(kFirstGearRadio + 6), "- задний ход");
    EXPECT_EQ(dialog.text(kCaptureGearButton),
              "Зафиксировать калибровочное значение для выбранной передачи");
    EXPECT_EQ(dialog.text(kGearWriteButton), "Записать все значения в калибровочный файл");
    EXPECT_EQ(dialog.text(kLastGearInstruction),
              "6) После окончания нажмите клавишу  \"Записать все значения в ...\".");
    EXPECT_FALSE(dialog.enabled(kGearWriteButton));
    EXPECT_FALSE(exists("calib_s.tmp"));
    for (int gear = 0; gear < kGearSlots; ++gear) {
        EXPECT_EQ(gearbox->capture().gearX[gear], kGearUnset);
        EXPECT_EQ(gearbox->capture().gearCaptured[gear], 0);
    }
}

TEST_F(GearboxTest, CaptureNeedsASelectedGear) {
    gearbox->onButton(kCaptureGearButton);
    EXPECT_EQ(dialog.lastMessage().text, texts::kSelectGearFirst);
    EXPECT_EQ(dialog.lastMessage().kind, MessageKind::Notice);
    EXPECT_TRUE(process.commands.empty());
}

TEST_F(GearboxTest, ACaptureRunsTheGearCalibratorWithTheDialogDisabled) {
    bool cancelledDuringRun = false;
    process.onRun = [&, run = process.onRun](const std::string& command) {
        EXPECT_EQ(dialog.text(kGearNoticeLine1), "ВНИМАНИЕ! Теперь нажмите пробел или Enter");
        EXPECT_EQ(dialog.text(kGearNoticeLine2), "на клавиатуре и ничего не кликайте мышкой!");
        for (int id : {kFirstGearRadio, kFirstGearRadio + 6, kCaptureGearButton, kGearWriteButton,
                       kGearCancelButton, kGearInstructionsHeading, kFirstGearInstruction,
                       kLastGearInstruction}) {
            EXPECT_FALSE(dialog.enabled(id)) << id;
        }
        gearbox->cancelGearbox();  // Cancel is ignored while the calibrator runs
        cancelledDuringRun = dialog.closedWith.has_value();
        run(command);
    };
    captureGear(kGear3, 123, -45);
    EXPECT_FALSE(cancelledDuringRun);
    EXPECT_EQ(process.commands, std::vector<std::string>{"capta.exe 6"});
    EXPECT_EQ(dialog.discardCount, 1);
    EXPECT_TRUE(dialog.enabled(kCaptureGearButton));
    EXPECT_EQ(dialog.text(kGearNoticeLine1), "");
    EXPECT_TRUE(dialog.isChecked(kFirstGearCheck + kGear3));
    EXPECT_EQ(gearbox->capture().gearX[kGear3], 123);
    EXPECT_EQ(gearbox->capture().gearY[kGear3], -45);
    EXPECT_FALSE(dialog.enabled(kGearWriteButton));
    EXPECT_FALSE(exists("calib_s.tmp"));
}

TEST_F(GearboxTest, TheSeventhGearUnlocksWritingAndARecaptureKeepsTheLatest) {
    const GearboxCapture layout = passingLayout();
    for (int gear = kGearCount - 1; gear >= 0; --gear) {  // any order works
        EXPECT_FALSE(dialog.enabled(kGearWriteButton));
        captureGear(gear, layout.gearX[gear], layout.gearY[gear]);
    }
    EXPECT_TRUE(dialog.enabled(kGearWriteButton));
    EXPECT_EQ(dialog.lastMessage().text, texts::kAllGearsCaptured);
    for (int gear = 0; gear < kGearCount; ++gear) {
        EXPECT_FALSE(dialog.isChecked(kFirstGearRadio + gear));
    }
    gearbox->onButton(kCaptureGearButton);  // the selection was cleared
    EXPECT_EQ(dialog.lastMessage().text, texts::kSelectGearFirst);

    captureGear(kGear2, 222, 333);
    EXPECT_EQ(gearbox->capture().gearX[kGear2], 222);
    EXPECT_EQ(countMessages(texts::kAllGearsCaptured), 2u);
    EXPECT_TRUE(dialog.enabled(kGearWriteButton));
}

TEST_F(GearboxTest, APassingLayoutIsWrittenAndClosesTheDialog) {
    captureLayout(passingLayout());
    writeFile(dataFile(kGearReportFileName), "old report");
    gearbox->onButton(kGearWriteButton);
    EXPECT_EQ(readFile(dataFile(kGearboxFileName)), kPassingFile);
    EXPECT_FALSE(exists(dataFile(kGearReportFileName)));
    EXPECT_EQ(dialog.lastMessage().text, texts::kGearboxWritten);
    EXPECT_EQ(dialog.lastMessage().caption, "Калибровка коробки передач");
    EXPECT_EQ(dialog.closedWith, DialogResult::Ok);
    EXPECT_EQ(session.gearWriteCount, 1);
}

// Read back as every value file is read: what was written comes back, a short file stops at
// its last line.
TEST_F(GearboxTest, AWrittenGearboxFileReadsBack) {
    captureLayout(passingLayout());
    gearbox->onButton(kGearWriteButton);
    const std::string path = dataFile(kGearboxFileName);
    std::FILE* file = std::fopen(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    GearboxCapture read;
    read.reset();
    EXPECT_EQ(readGearPairs(file, read), kGearFileLines);
    std::fclose(file);
    EXPECT_EQ(read.gearX, passingLayout().gearX);
    EXPECT_EQ(read.gearY, passingLayout().gearY);
    EXPECT_TRUE(read.allGearsCaptured());

    writeFile(path, "1\n  -2x\n3\n");
    file = std::fopen(path.c_str(), "r");
    read.reset();
    EXPECT_EQ(readGearPairs(file, read), 3);
    std::fclose(file);
    EXPECT_EQ(read.gearY[kNeutral], -2);
    EXPECT_EQ(read.gearX[kGear1], 3);
    EXPECT_EQ(read.gearCaptured[kGear1], 0) << "its Y is missing";
}

TEST_F(GearboxTest, FromTheSecondVerdictOnSupportGetsAReportAcrossOpenings) {
    GearboxCapture failing = passingLayout();
    failing.gearX[kGear2] = 100;
    captureLayout(failing);
    gearbox->onButton(kGearWriteButton);
    EXPECT_EQ(dialog.lastMessage().text, texts::kGearRuleMessages[4]);
    EXPECT_FALSE(dialog.closedWith);
    EXPECT_FALSE(exists(dataFile(kGearReportFileName)));

    gearbox->onButton(kGearWriteButton);  // the second verdict, still failing
    EXPECT_EQ(readFile(dataFile(kGearReportFileName)),
              "200\n200\n300\n300\n100\n300\n200\n100\n100\n300\n100\n100\n300\n100\n");
    EXPECT_EQ(dialog.lastMessage().text,
              std::string(texts::kGearReportWritten) + TRIMDESK_SUPPORT_ADDRESS);

    open();  // closing and opening the dialog keeps the count
    captureLayout(passingLayout());
    gearbox->onButton(kGearWriteButton);
    EXPECT_EQ(readFile(dataFile(kGearboxFileName)), kPassingFile);
    EXPECT_EQ(readFile(dataFile(kGearReportFileName)), kPassingFile);
    ASSERT_GE(dialog.messages.size(), 2u);
    EXPECT_EQ(dialog.messages[dialog.messages.size() - 2].text, texts::kGearboxWritten);
    EXPECT_EQ(session.gearWriteCount, 3);
}

TEST_F(GearboxTest, AnUnwritableGearboxFileIsNoVerdict) {
    open(dataFile("absent") + "/");
    captureLayout(passingLayout());
    gearbox->onButton(kGearWriteButton);
    EXPECT_EQ(dialog.lastMessage().text, texts::kGearboxOpenFailed);
    EXPECT_EQ(session.gearWriteCount, 0);
    EXPECT_FALSE(dialog.closedWith);
}

// The support report of an earlier calibration is removed once the gearbox file is replaced,
// so a report that fails is absent rather than stale.
TEST_F(GearboxTest, AFailedDiskFlushLeavesNoHalfWrittenGearFile) {
    struct Case {
        const char* failingFile;
        int failingFlush;
        const char* message;
        const char* gearboxFileAfter;
        const char* reportFileAfter;  // nullptr: absent
    };
    const Case cases[] = {
        {kGearboxFileName, 1, texts::kGearboxWriteFailed, "previous\n", "previous\n"},
        {kGearReportFileName, 2, texts::kGearReportWriteFailed, kPassingFile, nullptr},
    };
    captureLayout(passingLayout());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failingFile);
        writeFile(dataFile(kGearboxFileName), "previous\n");
        writeFile(dataFile(kGearReportFileName), "previous\n");
        session.gearWriteCount = 1;  // the verdict that writes the report too
        {
            FailingDisk disk(c.failingFlush);
            gearbox->onButton(kGearWriteButton);
        }
        EXPECT_EQ(dialog.lastMessage().text, c.message);
        EXPECT_EQ(readFile(dataFile(kGearboxFileName)), c.gearboxFileAfter);
        EXPECT_EQ(exists(dataFile(kGearReportFileName)), c.reportFileAfter != nullptr);
        if (c.reportFileAfter) {
            EXPECT_EQ(readFile(dataFile(kGearReportFileName)), c.reportFileAfter);
        }
        EXPECT_FALSE(exists(dataFile(std::string(c.failingFile) + ".new")));
    }
}

#ifdef __linux__
TEST_F(GearboxTest, AFullDiskKeepsThePreviousFilesWhole) {
    captureLayout(passingLayout());
    session.gearWriteCount = 1;
    writeFile(dataFile(kGearboxFileName), "previous\n");
    std::filesystem::create_symlink("/dev/full", dataFile(std::string(kGearboxFileName) + ".new"));
    gearbox->onButton(kGearWriteButton);
    EXPECT_EQ(dialog.lastMessage().text, texts::kGearboxWriteFailed);
    EXPECT_EQ(readFile(dataFile(kGearboxFileName)), "previous\n");
    EXPECT_EQ(session.gearWriteCount, 1);  // no report step either
    EXPECT_FALSE(exists(dataFile(kGearReportFileName)));

    std::filesystem::remove(dataFile(std::string(kGearboxFileName) + ".new"));
    std::filesystem::create_symlink("/dev/full",
                                    dataFile(std::string(kGearReportFileName) + ".new"));
    gearbox->onButton(kGearWriteButton);
    EXPECT_EQ(readFile(dataFile(kGearboxFileName)), kPassingFile);
    EXPECT_EQ(dialog.lastMessage().text, texts::kGearReportWriteFailed);
    EXPECT_EQ(session.gearWriteCount, 2);
}
#endif

TEST_F(GearboxTest, AnUnreadableCaptureEndsTheProcess) {
    process.onRun = [](const std::string&) {};  // the calibrator leaves nothing
    captureGear(kNeutral, 0, 0);
    EXPECT_EQ(dialog.lastMessage().text, "ОШИБКА: программа не может найти файл calib_s.tmp");
    EXPECT_EQ(process.exitStatus, 0);
    EXPECT_EQ(gearbox->capture().gearCaptured[kNeutral], 0);
}
