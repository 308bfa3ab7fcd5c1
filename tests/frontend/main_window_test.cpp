#include "main_window.h"

#include "control_ids.h"
#include "fake_dialog.h"
#include "fake_process.h"
#include "temp_workplace.h"
#include "texts.h"

#include <gtest/gtest.h>

class MainWindowTest : public TempWorkplace {
  protected:
    void startUp() {
        window = std::make_unique<MainWindow>(session, dialog, process, dataDir());
        window->startUp();
    }

    CalibSession session;
    FakeDialog dialog;
    FakeProcess process;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, StartUpPutsTheWindowInItsStartState) {
    session.currentStep = 4;  // whatever a run left must not survive start-up
    session.done.fill(1);
    session.calibratePressed = 1;
    session.gearWriteCount = 3;
    dialog.setChecked(kManualEntryCheck, true);
    startUp();

    EXPECT_EQ(dialog.text(kStatusLine), "Для начала калибровки нажмите клавишу  \"Калибровать\"");
    EXPECT_EQ(dialog.text(kOkHint), texts::kOkHintText);
    EXPECT_EQ(dialog.text(kGearboxButton), "Калибровка коробки передач");
    for (int id : {kOkButton, kBackButton, kMinEdit, kMaxEdit, kRememberButton}) {
        EXPECT_FALSE(dialog.enabled(id)) << id;
    }
    for (int id : {kForwardButton, kCalibrateButton, kCancelButton, kHelpButton}) {
        EXPECT_TRUE(dialog.enabled(id)) << id;
    }
    EXPECT_FALSE(dialog.isChecked(kManualEntryCheck));
    for (int id : {kMinEdit, kMaxEdit, kStepTitle, kOldMinLabel, kOldMaxLabel, kOldValuesLabel}) {
        EXPECT_EQ(dialog.text(id), "") << id;
    }
    EXPECT_EQ(session.messageCaption, "Сообщение программы калибровки тренажера");
    EXPECT_EQ(session.currentStep, 1);
    EXPECT_EQ(session.done, (std::array<int16_t, 5>{}));
    EXPECT_EQ(session.calibratePressed, 0);
    EXPECT_EQ(session.gearWriteCount, 0);
    EXPECT_EQ(session.working[2].minValue, kUnsetValue);
    EXPECT_TRUE(dialog.messages.empty());
}

TEST_F(MainWindowTest, StartUpProbesMarkersAndRemovesStaleCaptureFiles) {
    for (const char* name : {"calib_w.tmp", "calib_h.tmp", "calib_s.tmp", "rsport.dll"}) {
        writeFile(name, "1\n2\n");
    }
    startUp();
    EXPECT_FALSE(exists("calib_w.tmp"));
    EXPECT_FALSE(exists("calib_h.tmp"));
    EXPECT_TRUE(exists("calib_s.tmp"));
    EXPECT_EQ(session.markers.rsportPresent, 1);
    EXPECT_TRUE(process.commands.empty());
}

TEST_F(MainWindowTest, HelpShowsTheSameTextEveryTimeAndChangesNothing) {
    startUp();
    session.calibratePressed = 1;
    window->onButton(kHelpButton);
    window->onButton(kHelpButton);
    ASSERT_EQ(dialog.messages.size(), 2u);
    const ShownMessage& help = dialog.messages[0];
    EXPECT_EQ(help.caption, "Информация по программе калибровки тренажера");
    EXPECT_EQ(help.kind, MessageKind::Notice);
    EXPECT_EQ(help.text.rfind("Программа калибровки позволяет настроить", 0), 0u);
    EXPECT_NE(help.text.find("ручной тормоз.\n\nПРИМЕЧАНИЕ:"), std::string::npos);
    EXPECT_NE(help.text.find("\"Назад\".      \nЕсли"), std::string::npos);
    const std::string lastPiece =
        "\n2.  Если при постановке на ручной тормоз будут раздаваться "
        "постоянные щелчки, рекомендуется уменьшить максимальное "
        "значение параметра настройки ручного тормоза.";
    EXPECT_EQ(help.text.substr(help.text.size() - lastPiece.size()), lastPiece);
    EXPECT_EQ(dialog.messages[1].text, help.text);
    EXPECT_EQ(session.calibratePressed, 1);
}

TEST_F(MainWindowTest, ButtonsReachTheirOperations) {
    writeFile(dataFile(kDefaultsFileName), "9\n1\n9\n1\n9\n1\n9\n1\n9\n1\n");
    startUp();
    window->onButton(kRestoreDefaultsButton);
    EXPECT_TRUE(dialog.enabled(kOkButton));
    window->onButton(kOkButton);
    EXPECT_EQ(dialog.closedWith, DialogResult::Ok);
    EXPECT_EQ(readFile(dataFile(kResultFileName)), "9\n1\n9\n1\n9\n1\n9\n1\n9\n1\n");

    window->onButton(kCancelButton);
    EXPECT_EQ(dialog.closedWith, DialogResult::Cancel);
}
