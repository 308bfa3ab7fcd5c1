#include "value_files.h"

#include "control_ids.h"
#include "failing_disk.h"
#include "fake_dialog.h"
#include "temp_workplace.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const char* const kTenLines = "900\n100\n800\n50\n700\n60\n600\n70\n500\n80\n";
const CalibPairs kTenLinePairs = {{{900, 100}, {800, 50}, {700, 60}, {600, 70}, {500, 80}}};

}  // namespace

class ValueFiles : public TempWorkplace {
  protected:
    ValueFileOperations operations() { return ValueFileOperations(session, dialog, dataDir()); }
    void markAllDone() { session.done.fill(1); }

    CalibSession session;
    FakeDialog dialog;
};

TEST_F(ValueFiles, ReadingJudgesValidity) {
    struct Case {
        const char* bytes;
        ValueFileStatus expected;
    };
    const Case cases[] = {
        {kTenLines, ValueFileStatus::Valid},
        {"900\n100\n800\n50\n700\n60\n600\n70\n500\n80", ValueFileStatus::Valid},  // no last end
        {"900\n100\n800\n50\n700\n60\n600\n70\n500\n80\n1\n2\n", ValueFileStatus::Valid},
        {"900\r\n100\r\n800\r\n50\r\n700\r\n60\r\n600\r\n70\r\n500\r\n80\r\n",
         ValueFileStatus::Valid},
        {"900\n100\n800\n50\n700\n60\n600\n70\n500\n", ValueFileStatus::Damaged},  // nine lines
        {"900\n100\n800\n50\n700\n60\n600\n70\n500\n500\n", ValueFileStatus::Damaged},
        {"900\n100\n800\n50\n700\n60\n600\n70\n501\n500\n", ValueFileStatus::Valid},
        {"100\n900\n800\n50\n700\n60\n600\n70\n500\n80\n", ValueFileStatus::Damaged},  // inverted
        {"", ValueFileStatus::Damaged},
    };
    for (const Case& c : cases) {
        writeFile(dataFile("values.out"), c.bytes);
        CalibPairs pairs{};
        EXPECT_EQ(readValueFile(dataFile("values.out"), pairs), c.expected) << c.bytes;
    }
    CalibPairs pairs{};
    EXPECT_EQ(readValueFile(dataFile("absent.out"), pairs), ValueFileStatus::Missing);
}

TEST_F(ValueFiles, AShortFileKeepsTheValuesItHad) {
    writeFile(dataFile("values.out"), "900\n100\n800\n50\n700\n60\n600\n70\n500\n");
    CalibPairs pairs{};
    readValueFile(dataFile("values.out"), pairs);
    EXPECT_EQ(pairs[3], (CalibPair{600, 70}));
    EXPECT_EQ(pairs[4], (CalibPair{500, kUnsetValue}));
}

TEST_F(ValueFiles, AValidResultFileBecomesTheWorkingValues) {
    writeFile(dataFile(kResultFileName), kTenLines);
    operations().loadValueFiles();
    EXPECT_EQ(session.storedInvalid, 0);
    EXPECT_EQ(session.working, kTenLinePairs);
    EXPECT_EQ(session.stored, kTenLinePairs);
}

TEST_F(ValueFiles, AMissingOrDamagedResultFileLeavesTheWorkingValuesUnset) {
    for (const char* bytes : {static_cast<const char*>(nullptr), "1\n2\n3\n4\n5\n6\n7\n8\n9\n"}) {
        CalibSession fresh;
        session = fresh;
        std::filesystem::remove(dataFile(kResultFileName));
        if (bytes) writeFile(dataFile(kResultFileName), bytes);
        operations().loadValueFiles();
        EXPECT_EQ(session.storedInvalid, 1);
        EXPECT_EQ(session.working, CalibPairs{});
        EXPECT_EQ(session.working[0].maxValue, kUnsetValue);
    }
}

TEST_F(ValueFiles, ValidDefaultsFillTheDefaultLines) {
    writeFile(dataFile(kDefaultsFileName), "900\n100\n32767\n-1000\n700\n60\n600\n70\n500\n80\n");
    operations().loadValueFiles();
    EXPECT_EQ(session.defaultsInvalid, 0);
    EXPECT_EQ(dialog.text(kFirstDefaultLine), "  100   900    параметры рулевого управления");
    EXPECT_EQ(dialog.text(kFirstDefaultLine + 1), "-1000 32767    параметры педали газа");
    EXPECT_EQ(dialog.text(kFirstDefaultLine + 4), "   80   500    параметры ручного тормоза");
    EXPECT_EQ(dialog.text(kDefaultsNote), "");
    EXPECT_TRUE(dialog.enabled(kRestoreDefaultsButton));
}

TEST_F(ValueFiles, UnusableDefaultsSayWhyAndDisableRestore) {
    operations().loadValueFiles();
    EXPECT_EQ(session.defaultsInvalid, 1);
    EXPECT_EQ(dialog.text(kDefaultsNote), texts::kDefaultsNotFound);
    EXPECT_FALSE(dialog.enabled(kRestoreDefaultsButton));
    EXPECT_EQ(dialog.text(kFirstDefaultLine), "");

    FakeDialog other;
    CalibSession fresh;
    writeFile(dataFile(kDefaultsFileName), "900\n100\n800\n800\n700\n60\n600\n70\n500\n80\n");
    ValueFileOperations(fresh, other, dataDir()).loadValueFiles();
    EXPECT_EQ(fresh.defaultsInvalid, 1);
    EXPECT_EQ(other.text(kDefaultsNote),
              "Значения по умолчанию недоступны, испорчен файл  \"C:\\sys_kvel\\calib_us.out\"");
    EXPECT_FALSE(other.enabled(kRestoreDefaultsButton));
}

TEST_F(ValueFiles, OkWritesTheTenWorkingValuesAndCloses) {
    session.working = kTenLinePairs;
    markAllDone();
    writeFile("calib_w.tmp", "1\n2\n");
    writeFile("calib_s.tmp", "1\n2\n");
    operations().writeResultFile();
    EXPECT_EQ(readFile(dataFile(kResultFileName)), kTenLines);
    EXPECT_FALSE(exists("calib_w.tmp"));
    EXPECT_TRUE(exists("calib_s.tmp"));
    EXPECT_FALSE(exists(dataFile(std::string(kResultFileName) + ".new")));
    ASSERT_EQ(dialog.messages.size(), 1u);
    EXPECT_EQ(dialog.lastMessage().text, texts::kResultWritten);
    EXPECT_EQ(dialog.lastMessage().kind, MessageKind::Notice);
    EXPECT_EQ(dialog.closedWith, DialogResult::Ok);

    CalibPairs readBack{};
    EXPECT_EQ(readValueFile(dataFile(kResultFileName), readBack), ValueFileStatus::Valid);
    EXPECT_EQ(readBack, kTenLinePairs);
}

TEST_F(ValueFiles, OkNamesTheFirstInvalidControlAndChangesNothing) {
    session.working = kTenLinePairs;
    session.working[1] = {50, 800};  // accelerator inverted
    session.working[3] = {70, 70};
    markAllDone();
    writeFile("calib_g.tmp", "1\n2\n");
    writeFile(dataFile(kResultFileName), "previous");
    operations().writeResultFile();
    EXPECT_EQ(dialog.lastMessage().text,
              std::string(texts::kInvalidPairPrefix) + "педали газа.   ");
    EXPECT_EQ(dialog.lastMessage().kind, MessageKind::Error);
    EXPECT_TRUE(exists("calib_g.tmp"));
    EXPECT_EQ(readFile(dataFile(kResultFileName)), "previous");
    EXPECT_FALSE(dialog.closedWith);
}

TEST_F(ValueFiles, OkWithNothingDoneDoesNothing) {
    session.working = kTenLinePairs;
    operations().writeResultFile();
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_FALSE(exists(dataFile(kResultFileName)));
    EXPECT_FALSE(dialog.closedWith);
}

TEST_F(ValueFiles, OkWithSomeControlsNotDoneListsThem) {
    session.working = kTenLinePairs;
    session.done = {1, 0, 1, 1, 0};
    operations().writeResultFile();
    EXPECT_EQ(dialog.lastMessage().text,
              std::string(texts::kResultWrittenPartly) + "педаль газа\nручной тормоз\n");
    EXPECT_EQ(dialog.closedWith, DialogResult::Ok);
}

TEST_F(ValueFiles, AFailedOkKeepsThePreviousResultFileWhole) {
    session.working = kTenLinePairs;
    markAllDone();

    // No data directory: the temporary file cannot be created.
    ValueFileOperations missingDirectory(session, dialog, dataFile("absent") + "/");
    missingDirectory.writeResultFile();
    EXPECT_EQ(dialog.lastMessage().text, texts::kResultOpenFailed);
    EXPECT_FALSE(dialog.closedWith);

    // The target cannot be replaced: a directory stands in its place.
    std::filesystem::create_directory(dataFile(kResultFileName));
    operations().writeResultFile();
    EXPECT_EQ(dialog.lastMessage().text, texts::kResultOpenFailed);
    EXPECT_TRUE(std::filesystem::is_directory(dataFile(kResultFileName)));
    EXPECT_FALSE(exists(dataFile(std::string(kResultFileName) + ".new")));
    EXPECT_FALSE(dialog.closedWith);
}

TEST_F(ValueFiles, AFailedDiskFlushKeepsThePreviousResultFileWhole) {
    session.working = kTenLinePairs;
    markAllDone();
    writeFile(dataFile(kResultFileName), "previous\n");
    {
        FailingDisk disk(1);
        operations().writeResultFile();
    }
    EXPECT_EQ(dialog.lastMessage().text, texts::kResultWriteFailed);
    EXPECT_EQ(readFile(dataFile(kResultFileName)), "previous\n");
    EXPECT_FALSE(exists(dataFile(std::string(kResultFileName) + ".new")));
    EXPECT_FALSE(dialog.closedWith);
}

#ifdef __linux__
TEST_F(ValueFiles, AFullDiskGivesTheWriteErrorAndKeepsThePreviousFile) {
    session.working = kTenLinePairs;
    markAllDone();
    writeFile(dataFile(kResultFileName), "previous\n");
    const std::string temporary = dataFile(std::string(kResultFileName) + ".new");
    std::filesystem::create_symlink("/dev/full", temporary);
    operations().writeResultFile();
    EXPECT_EQ(dialog.lastMessage().text, texts::kResultWriteFailed);
    EXPECT_EQ(readFile(dataFile(kResultFileName)), "previous\n");
    EXPECT_FALSE(std::filesystem::is_symlink(temporary));
    EXPECT_FALSE(dialog.closedWith);

    // The operator can try again once the disk has room.
    operations().writeResultFile();
    EXPECT_EQ(readFile(dataFile(kResultFileName)), kTenLines);
    EXPECT_EQ(dialog.closedWith, DialogResult::Ok);
}
#endif

TEST_F(ValueFiles, RestoreDefaultsMakesEverythingDoneAndOkWritesThem) {
    writeFile(dataFile(kDefaultsFileName), kTenLines);
    auto ops = operations();
    ops.loadValueFiles();
    dialog.enable(kOkButton, false);
    session.calibratePressed = 1;
    ops.restoreDefaults();
    EXPECT_EQ(session.calibratePressed, 0);
    EXPECT_EQ(session.working, kTenLinePairs);
    EXPECT_TRUE(dialog.enabled(kOkButton));
    EXPECT_EQ(dialog.lastMessage().text, texts::kDefaultsRestored);
    EXPECT_EQ(dialog.lastMessage().kind, MessageKind::Notice);

    ops.writeResultFile();
    EXPECT_EQ(readFile(dataFile(kResultFileName)), kTenLines);
    EXPECT_EQ(dialog.lastMessage().text, texts::kResultWritten);
}

TEST_F(ValueFiles, RestoreWithoutDefaultsOnlyClearsCalibratePressed) {
    auto ops = operations();
    ops.loadValueFiles();
    dialog.enable(kRestoreDefaultsButton, true);  // the wizard may enable it again
    dialog.enable(kOkButton, false);
    session.calibratePressed = 1;
    ops.restoreDefaults();
    EXPECT_EQ(session.calibratePressed, 0);
    EXPECT_EQ(session.done, (std::array<int16_t, 5>{}));
    EXPECT_FALSE(dialog.enabled(kOkButton));
    EXPECT_TRUE(dialog.messages.empty());
}

TEST_F(ValueFiles, CancelRemovesTheCaptureFilesAndLeavesTheResultFile) {
    for (const char* name : {"calib_w.tmp", "calib_g.tmp", "calib_b.tmp", "calib_c.tmp",
                             "calib_h.tmp", "calib_s.tmp"}) {
        writeFile(name, "1\n2\n");
    }
    writeFile(dataFile(kResultFileName), kTenLines);
    operations().cancelCalibration();
    for (const char* name :
         {"calib_w.tmp", "calib_g.tmp", "calib_b.tmp", "calib_c.tmp", "calib_h.tmp"}) {
        EXPECT_FALSE(exists(name)) << name;
    }
    EXPECT_TRUE(exists("calib_s.tmp"));
    EXPECT_EQ(readFile(dataFile(kResultFileName)), kTenLines);
    EXPECT_EQ(dialog.closedWith, DialogResult::Cancel);
}
