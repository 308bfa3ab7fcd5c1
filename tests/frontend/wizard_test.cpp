#include "wizard.h"

#include "control_ids.h"
#include "fake_dialog.h"
#include "fake_process.h"
#include "main_window.h"
#include "temp_workplace.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

const char* const kDefaults = "900\n100\n800\n50\n700\n60\n600\n70\n500\n80\n";
const int kRunControls[] = {kManualEntryCheck, kBackButton, kForwardButton, kRememberButton,
                            kCalibrateButton,  kHelpButton, kCancelButton,  kRestoreDefaultsButton,
                            kGearboxButton};

}  // namespace

class WizardTest : public TempWorkplace {
  protected:
    void startUp(const std::vector<std::string>& markers = {"rsport.dll"}) {
        for (const std::string& name : markers) writeFile(name, "");
        window = std::make_unique<MainWindow>(session, dialog, process, dataDir());
        window->startUp();
        // The stand-in calibrator leaves the next scripted pair, or 700 and 300.
        process.onRun = [this](const std::string& command) {
            const int step = command.back() - '0';
            std::pair<int, int> capture{700, 300};
            if (!captures.empty()) {
                capture = captures.front();
                captures.erase(captures.begin());
            }
            writeFile(captureFileName(step),
                      std::to_string(capture.first) + "\n" + std::to_string(capture.second) + "\n");
        };
    }
    void click(int id) { window->onButton(id); }
    void toggleCheckBox() {
        dialog.setChecked(kManualEntryCheck, !dialog.isChecked(kManualEntryCheck));
        click(kManualEntryCheck);
    }
    void goToStep(int step) {
        while (session.currentStep < step) click(kForwardButton);
        while (session.currentStep > step) click(kBackButton);
    }
    void typePair(int minimum, int maximum) {
        dialog.setText(kMinEdit, std::to_string(minimum));
        dialog.setText(kMaxEdit, std::to_string(maximum));
    }
    // Stores a typed pair for a step through manual mode and leaves manual mode again.
    void rememberAt(int step, int minimum, int maximum) {
        goToStep(step);
        toggleCheckBox();
        click(kCalibrateButton);
        typePair(minimum, maximum);
        click(kRememberButton);
        toggleCheckBox();
    }
    size_t announcements() const {
        size_t count = 0;
        for (const ShownMessage& m : dialog.messages) count += m.text == texts::kAllControlsDone;
        return count;
    }

    CalibSession session;
    FakeDialog dialog;
    FakeProcess process;
    std::unique_ptr<MainWindow> window;
    std::vector<std::pair<int, int>> captures;
};

TEST_F(WizardTest, TitlesAndStatusFollowTheSteps) {
    startUp();
    EXPECT_EQ(dialog.text(kStepTitle), "");
    click(kCalibrateButton);
    EXPECT_EQ(dialog.text(kStepTitle), "Шаг 1 из 5: настройка руля");
    click(kForwardButton);
    EXPECT_EQ(dialog.text(kStepTitle), "Шаг 2 из 5: настройка педали газа");
    EXPECT_EQ(dialog.text(kStatusLine),
              "Для продолжения калибровки нажмите клавишу  \"Калибровать\"");
    for (int id : {kMinEdit, kMaxEdit, kOldMinLabel, kOldMaxLabel, kOldValuesLabel}) {
        EXPECT_EQ(dialog.text(id), " ") << id;
    }
    click(kBackButton);
    EXPECT_EQ(dialog.text(kStepTitle), "Шаг 1 из 5: настройка руля");
}

TEST_F(WizardTest, BackAndForwardAreEnabledExactlyInsideTheSteps) {
    startUp();
    const int path[] = {2, 3, 4, 5, 4, 3, 2, 1};
    for (int step : path) {
        click(step > session.currentStep ? kForwardButton : kBackButton);
        ASSERT_EQ(session.currentStep, step);
        EXPECT_EQ(dialog.enabled(kBackButton), step > 1) << step;
        EXPECT_EQ(dialog.enabled(kForwardButton), step < 5) << step;
        EXPECT_FALSE(dialog.enabled(kRememberButton));
    }
}

TEST_F(WizardTest, ACaptureRunDisablesTheWindowAndEnablesItAgainByStep) {
    startUp();
    for (int step = 1; step <= 5; ++step) {
        SCOPED_TRACE(step);
        goToStep(step);
        std::map<int, bool> duringRun;
        process.onRun = [&, run = process.onRun](const std::string& command) {
            for (int id : kRunControls) duringRun[id] = dialog.enabled(id);
            EXPECT_EQ(dialog.text(kStatusLine), texts::kStepTexts[step - 1].captureInstruction);
            run(command);
        };
        bool discardedBeforeEnabling = false;
        dialog.onDiscard = [&] { discardedBeforeEnabling = !dialog.enabled(kCalibrateButton); };
        click(kCalibrateButton);

        EXPECT_EQ(process.commands.back(), "capte.exe " + std::to_string(step));
        for (int id : kRunControls) EXPECT_FALSE(duringRun.at(id)) << id;
        EXPECT_TRUE(discardedBeforeEnabling);
        EXPECT_EQ(dialog.enabled(kBackButton), step > 1);
        EXPECT_EQ(dialog.enabled(kForwardButton), step < 5);
        EXPECT_FALSE(dialog.enabled(kRememberButton));
        for (int id : {kCalibrateButton, kHelpButton, kRestoreDefaultsButton, kGearboxButton,
                       kCancelButton, kManualEntryCheck}) {
            EXPECT_TRUE(dialog.enabled(id)) << id;
        }
        EXPECT_EQ(dialog.text(kStatusLine), texts::kStepTexts[step - 1].captureCompletion);
        EXPECT_EQ(session.working[step - 1], (CalibPair{700, 300}));
        EXPECT_EQ(dialog.text(kMaxEdit), "700");
        EXPECT_EQ(dialog.text(kMinEdit), "300");
        EXPECT_EQ(session.done[step - 1], 1);
    }
}

TEST_F(WizardTest, CalibrateWorksOncePerStepUntilSomethingClearsThePress) {
    startUp();
    captures = {{100, 10}, {200, 20}, {300, 30}, {400, 40}, {500, 50}};
    click(kCalibrateButton);
    click(kCalibrateButton);
    EXPECT_EQ(process.commands.size(), 1u);

    const std::function<void()> clearers[] = {
        [&] { click(kForwardButton), click(kBackButton); },
        [&] { toggleCheckBox(), toggleCheckBox(); },
        [&] { click(kRestoreDefaultsButton); },
    };
    size_t runs = 1;
    for (const auto& clearPress : clearers) {
        clearPress();
        click(kCalibrateButton);
        EXPECT_EQ(process.commands.size(), ++runs);
        click(kCalibrateButton);
        EXPECT_EQ(process.commands.size(), runs);
    }
    // The latest run of the same control replaced its pair.
    EXPECT_EQ(session.working[0], (CalibPair{400, 40}));
}

TEST_F(WizardTest, TheLastMissingControlUnlocksOkAtAnyStepAndOnlyStepFiveAnnounces) {
    for (int last = 1; last <= 5; ++last) {
        SCOPED_TRACE(last);
        TearDown();
        SetUp();
        session = CalibSession{};
        dialog = FakeDialog{};
        process = FakeProcess{};
        startUp();
        for (int step = 1; step <= 5; ++step) {
            if (step != last) rememberAt(step, 10, 20);
        }
        EXPECT_FALSE(dialog.enabled(kOkButton));
        EXPECT_EQ(dialog.text(kOkHint), texts::kOkHintText);

        goToStep(last);
        click(kCalibrateButton);
        EXPECT_TRUE(dialog.enabled(kOkButton));
        EXPECT_EQ(dialog.text(kOkHint), " ");
        EXPECT_EQ(announcements(), last == 5 ? 1u : 0u);
        EXPECT_EQ(dialog.enabled(kForwardButton), last < 5);
    }
}

TEST_F(WizardTest, StepFiveAnnouncesAtEveryCalibrateButNotAtRemember) {
    startUp();
    for (int step = 1; step <= 4; ++step) rememberAt(step, 10, 20);
    rememberAt(5, 10, 20);
    EXPECT_TRUE(dialog.enabled(kOkButton));
    EXPECT_EQ(announcements(), 0u);

    toggleCheckBox();
    click(kCalibrateButton);  // manual mode announces too
    EXPECT_EQ(announcements(), 1u);
    toggleCheckBox();
    click(kCalibrateButton);
    EXPECT_EQ(announcements(), 2u);
    click(kCalibrateButton);  // ignored: the press was not cleared
    EXPECT_EQ(announcements(), 2u);
    EXPECT_EQ(dialog.lastMessage().kind, MessageKind::Notice);
}

TEST_F(WizardTest, ManualModeFillsTheEditBoxesOnlyFromAValidResultFile) {
    writeFile(dataFile(kResultFileName), kDefaults);
    startUp();
    toggleCheckBox();
    EXPECT_FALSE(dialog.enabled(kRememberButton));
    EXPECT_TRUE(dialog.enabled(kMinEdit));
    click(kCalibrateButton);
    EXPECT_TRUE(process.commands.empty());
    EXPECT_TRUE(dialog.enabled(kRememberButton));
    EXPECT_EQ(dialog.text(kMinEdit), "100");
    EXPECT_EQ(dialog.text(kMaxEdit), "900");
    EXPECT_EQ(dialog.text(kOldMinLabel), "100");
    EXPECT_EQ(dialog.text(kOldMaxLabel), "900");
    EXPECT_EQ(dialog.text(kOldValuesLabel), "(старые значения параметров)");
    EXPECT_EQ(dialog.text(kStatusLine), texts::kStepTexts[0].manualPrompt);

    FakeDialog other;
    CalibSession fresh;
    std::filesystem::remove(dataFile(kResultFileName));
    MainWindow noResult(fresh, other, process, dataDir());
    noResult.startUp();
    other.setChecked(kManualEntryCheck, true);
    noResult.onButton(kManualEntryCheck);
    noResult.onButton(kCalibrateButton);
    for (int id : {kMinEdit, kMaxEdit, kOldMinLabel, kOldMaxLabel, kOldValuesLabel}) {
        EXPECT_EQ(other.text(id), "") << id;
    }
}

TEST_F(WizardTest, ManualModeNeverChecksMarkersOrStartsACalibrator) {
    startUp({"fourpot.dll", "hostbus.dll"});
    toggleCheckBox();
    click(kCalibrateButton);
    EXPECT_TRUE(process.commands.empty());
    EXPECT_FALSE(process.exitStatus);
    EXPECT_TRUE(dialog.messages.empty());
}

TEST_F(WizardTest, RememberReadsEditBoxesByTheNumberRule) {
    startUp();
    const std::tuple<const char*, const char*, CalibPair> cases[] = {
        {"abc", " -12x", {-12, 0}},
        {"12345678",
         "40000",
         {static_cast<int16_t>(40000 - 65536), static_cast<int16_t>(1234567 & 0xFFFF)}},
        {"", "", {0, 0}},
    };
    for (const auto& [minText, maxText, expected] : cases) {
        toggleCheckBox();
        click(kCalibrateButton);
        dialog.setText(kMinEdit, minText);
        dialog.setText(kMaxEdit, maxText);
        click(kRememberButton);
        EXPECT_EQ(session.working[0].minValue, expected.minValue) << minText;
        EXPECT_EQ(session.working[0].maxValue, expected.maxValue) << maxText;
        EXPECT_EQ(session.done[0], 1);
        EXPECT_EQ(dialog.text(kStatusLine), texts::kStepTexts[0].rememberCompletion);
        EXPECT_TRUE(dialog.enabled(kRememberButton));  // it stays enabled after a press
        toggleCheckBox();
    }
    EXPECT_EQ(session.minText, "");  // the last texts typed were empty
}

TEST_F(WizardTest, CapturedValuesDoNotTouchTheTypedTexts) {
    startUp();
    toggleCheckBox();
    click(kCalibrateButton);
    typePair(11, 22);
    click(kRememberButton);
    toggleCheckBox();
    click(kCalibrateButton);  // capture 700 / 300
    EXPECT_EQ(dialog.text(kMinEdit), "300");
    toggleCheckBox();
    EXPECT_EQ(dialog.text(kMinEdit), "11");
    EXPECT_EQ(dialog.text(kMaxEdit), "22");
    EXPECT_EQ(session.working[0], (CalibPair{700, 300}));

    // After a step change the texts are gone: remembering without typing stores 0 and 0.
    click(kForwardButton);
    click(kBackButton);
    EXPECT_EQ(session.minText, "");
    click(kCalibrateButton);  // no valid result file: the boxes stay blank
    ASSERT_TRUE(dialog.enabled(kRememberButton));
    click(kRememberButton);
    EXPECT_EQ(session.working[0], (CalibPair{0, 0}));
}

TEST_F(WizardTest, UncheckingBlanksTheEditBoxesAndKeepsTheResults) {
    startUp();
    toggleCheckBox();
    click(kCalibrateButton);
    typePair(5, 50);
    click(kRememberButton);
    const std::string status = dialog.text(kStatusLine);
    toggleCheckBox();
    EXPECT_FALSE(dialog.enabled(kMinEdit));
    EXPECT_FALSE(dialog.enabled(kMaxEdit));
    EXPECT_FALSE(dialog.enabled(kRememberButton));
    EXPECT_EQ(dialog.text(kMinEdit), " ");
    EXPECT_EQ(dialog.text(kStatusLine), status);
    EXPECT_EQ(session.working[0], (CalibPair{50, 5}));
    EXPECT_EQ(session.done[0], 1);
}

TEST_F(WizardTest, AConflictAtStepOneEndsTheProcessBeforeAnyRun) {
    startUp({"simulator.exe", "HBV5.dll"});
    click(kCalibrateButton);
    EXPECT_EQ(process.exitStatus, 0);
    EXPECT_TRUE(process.commands.empty());
    EXPECT_EQ(dialog.lastMessage().text, texts::kIncompatibleInterfaces);
    EXPECT_EQ(dialog.text(kStatusLine), texts::kStepTexts[0].captureInstruction);
    EXPECT_EQ(session.done[0], 0);
}

TEST_F(WizardTest, LaterStepsChooseByPriorityWithoutTheConflictCheck) {
    startUp({"simulator.exe", "HBV5.dll"});
    click(kForwardButton);
    click(kCalibrateButton);
    EXPECT_FALSE(process.exitStatus);
    EXPECT_EQ(process.commands, std::vector<std::string>{"captb.exe 2"});
    EXPECT_EQ(session.done[1], 1);
}

TEST_F(WizardTest, AMissingCaptureFileEndsTheProcessAfterTheCompletionText) {
    startUp({});  // no marker: nothing is started and the file is not there
    click(kCalibrateButton);
    EXPECT_TRUE(process.commands.empty());
    EXPECT_EQ(process.exitStatus, 0);
    EXPECT_EQ(dialog.lastMessage().text, "ОШИБКА: программа не может найти файл calib_w.tmp");
    EXPECT_EQ(dialog.text(kStatusLine), texts::kStepTexts[0].captureCompletion);
    EXPECT_TRUE(dialog.enabled(kCalibrateButton));
    EXPECT_EQ(session.done[0], 0);
    EXPECT_EQ(session.working[0].maxValue, kUnsetValue);
}

TEST_F(WizardTest, RestoreDefaultsUnlocksOkAndTheNextCompletionBlanksTheHint) {
    writeFile(dataFile(kDefaultsFileName), kDefaults);
    startUp();
    click(kRestoreDefaultsButton);
    EXPECT_TRUE(dialog.enabled(kOkButton));
    EXPECT_EQ(dialog.text(kOkHint), texts::kOkHintText);
    click(kCalibrateButton);
    EXPECT_EQ(dialog.text(kOkHint), " ");
}

// Random operator sessions: whatever is clicked, in whatever order, the window's rules hold.
TEST_F(WizardTest, TheEnableRulesHoldAfterEveryEvent) {
    writeFile(dataFile(kDefaultsFileName), kDefaults);
    startUp();
    std::mt19937 random(20261207);
    const int buttons[] = {kBackButton,     kForwardButton,         kCalibrateButton,
                           kRememberButton, kRestoreDefaultsButton, kManualEntryCheck};
    bool okWasEnabled = false;
    std::array<int16_t, 5> doneBefore{};
    for (int event = 0; event < 3000; ++event) {
        const int id = buttons[random() % std::size(buttons)];
        if (!dialog.enabled(id)) continue;  // a disabled control takes no clicks
        if (id == kManualEntryCheck) {
            toggleCheckBox();
        } else {
            if (id == kRememberButton) typePair(random() % 100, random() % 100);
            click(id);
        }
        const int step = session.currentStep;
        ASSERT_TRUE(step >= 1 && step <= 5);
        ASSERT_EQ(dialog.enabled(kBackButton), step > 1) << event;
        ASSERT_EQ(dialog.enabled(kForwardButton), step < 5) << event;
        const bool checked = dialog.isChecked(kManualEntryCheck);
        ASSERT_EQ(dialog.enabled(kMinEdit), checked) << event;
        ASSERT_EQ(dialog.enabled(kMaxEdit), checked) << event;
        if (!checked) {
            ASSERT_FALSE(dialog.enabled(kRememberButton)) << event;
        }
        if (okWasEnabled) {
            ASSERT_TRUE(dialog.enabled(kOkButton)) << event;
        }
        okWasEnabled = dialog.enabled(kOkButton);
        ASSERT_EQ(okWasEnabled, allControlsDone(session)) << event;
        for (int i = 0; i < 5; ++i) ASSERT_GE(session.done[i], doneBefore[i]) << event;
        doneBefore = session.done;
    }
    EXPECT_TRUE(okWasEnabled);
}
