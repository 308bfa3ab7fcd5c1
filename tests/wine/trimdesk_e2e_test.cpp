// The real trimdesk.exe under Wine, driven by control id from this program: the start-up state
// of the main window, help, the value files with OK, Cancel and Restore defaults, the
// keyboard's Enter and Escape, the five-step wizard in both modes with stand-in calibrators,
// and the gearbox dialog from its start to the gearbox and support report files.
#include "trimdesk_driver.h"

#include "control_ids.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using e2e::DataDirectory;
using e2e::MessageBoxInfo;
using e2e::TrimdeskProcess;
using e2e::WorkFolder;

namespace {

const char* const kResultFile = "calib5us.out";
const char* const kDefaultsFile = "calib_us.out";
const char* const kMessageCaption = "Сообщение программы калибровки тренажера";
const char* const kGearboxCaption = "Калибровка коробки передач";
const char* const kStartStatus = "Для начала калибровки нажмите клавишу  \"Калибровать\"";
const char* const kOkHintText =
    "ОК станет доступно после прохождения всех шагов  (без учета коробки передач)";
const char* const kWizardCaptures[] = {"calib_w.tmp", "calib_g.tmp", "calib_b.tmp", "calib_c.tmp",
                                       "calib_h.tmp"};
const char* const kGearCapture = "calib_s.tmp";

// Defaults as the trainer's technician leaves them: CR LF line ends, the last line without
// one. The handbrake pair is wider than "%5d" and has a negative minimum.
const char* const kDefaultsBytes =
    "900\r\n100\r\n800\r\n50\r\n700\r\n60\r\n600\r\n70\r\n32767\r\n-1000";
const char* const kDefaultLines[] = {
    "  100   900    параметры рулевого управления", "   50   800    параметры педали газа",
    "   60   700    параметры педали тормоза",      "   70   600    параметры педали сцепления",
    "-1000 32767    параметры ручного тормоза",
};
// The same ten values as OK writes them.
const char* const kDefaultsAsWritten =
    "900\r\n100\r\n800\r\n50\r\n700\r\n60\r\n600\r\n70\r\n32767\r\n-1000\r\n";

const char* const kOldResultBytes =
    "1000\r\n0\r\n1000\r\n0\r\n1000\r\n0\r\n1000\r\n0\r\n1000\r\n0\r\n";

// Every control of the main window with the state a user sees.
struct ControlState {
    int id;
    std::string text;
    bool enabled;
    bool operator==(const ControlState& other) const {
        return std::tie(id, text, enabled) == std::tie(other.id, other.text, other.enabled);
    }
};

std::ostream& operator<<(std::ostream& out, const ControlState& state) {
    return out << state.id << " \"" << state.text << "\" "
               << (state.enabled ? "enabled" : "disabled");
}

std::vector<int> mainWindowControls() {
    std::vector<int> ids = {kOkButton, kCancelButton};
    for (int id = kStatusLine; id <= kGearboxButton; ++id) ids.push_back(id);
    return ids;
}

class TrimdeskE2E : public ::testing::Test {
  protected:
    void SetUp() override { data_.clear(); }

    TrimdeskProcess& start() {
        program_ = std::make_unique<TrimdeskProcess>(work_);
        return *program_;
    }
    TrimdeskProcess& program() { return *program_; }

    std::vector<ControlState> snapshot() {
        std::vector<ControlState> states;
        for (int id : mainWindowControls()) {
            if (id == kVehiclePicture) continue;  // a picture, no text
            states.push_back({id, program().text(id), program().isEnabled(id)});
        }
        return states;
    }

    void writeCaptureFiles() {
        for (const char* name : kWizardCaptures) work_.writeFile(name, "123\n45\n");
        work_.writeFile(kGearCapture, "512\n256\n");
    }

    void expectWizardCapturesGoneGearCaptureKept() {
        for (const char* name : kWizardCaptures) EXPECT_FALSE(work_.exists(name)) << name;
        EXPECT_EQ(work_.readFile(kGearCapture), "512\n256\n");
    }

    void expectNoMessageBox() {
        if (const std::optional<MessageBoxInfo> box = program().findMessageBox()) {
            ADD_FAILURE() << "unexpected message box \"" << box->caption << "\": " << box->text;
        }
    }

    // Expects exactly this message box, then closes it.
    void expectMessageAndClose(const std::string& text, const std::string& caption) {
        const MessageBoxInfo box = program().waitForMessageBox();
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, caption);
        program().closeMessageBox(box);
    }

    void restoreDefaults() {
        program().click(kRestoreDefaultsButton);
        expectMessageAndClose(
            "Значения параметров по умолчанию восстановлены.\n\nНажмите ОК в главной панели, "
            "чтобы записать их в калибровочный файл.   ",
            kMessageCaption);
    }

    // Step 1 captured through the rsport interface's calibrator: one control done while OK
    // stays disabled.
    void startAndCaptureStepOne() {
        work_.addMarker("rsport.dll");
        work_.addCalibrators({"capte.exe"});
        work_.writeFile("standin_values.txt", "1 700 300\n");
        for (int attempt = 1;; ++attempt) {
            start();
            program().click(kCalibrateButton);
            if (attempt == 2 || !e2e::calibratorStartFailed(work_, program(), "capte.exe 1")) {
                break;
            }
            program_.reset();  // Wine's cmd.exe missed the calibrator: once more
        }
        ASSERT_EQ(work_.calibratorRuns(), std::vector<std::string>{"capte.exe 1"});
        expectNoMessageBox();
        EXPECT_EQ(program().text(kMinEdit), "300");
        EXPECT_EQ(program().text(kMaxEdit), "700");
    }

    DataDirectory data_;
    WorkFolder work_;
    std::unique_ptr<TrimdeskProcess> program_;  // last: killed before the folders go
};

// ---- Start-up ----

using StartUp = TrimdeskE2E;

void expectWizardStartState(TrimdeskProcess& program) {
    EXPECT_EQ(program.mainDialog().caption(), TrimdeskProcess::kMainCaption);
    EXPECT_EQ(program.text(kStatusLine), kStartStatus);
    EXPECT_EQ(program.text(kOkHint), kOkHintText);
    EXPECT_FALSE(program.isChecked(kManualEntryCheck));
    EXPECT_TRUE(program.isEnabled(kManualEntryCheck));
    for (int edit : {kMinEdit, kMaxEdit}) {
        EXPECT_FALSE(program.isEnabled(edit)) << edit;
        EXPECT_EQ(program.text(edit), "") << edit;
    }
    for (int label : {kOldMinLabel, kOldMaxLabel, kOldValuesLabel, kStepTitle}) {
        EXPECT_EQ(program.text(label), "") << label;
    }
    for (int disabled : {kOkButton, kBackButton, kRememberButton}) {
        EXPECT_FALSE(program.isEnabled(disabled)) << disabled;
    }
    for (int enabled :
         {kCancelButton, kCalibrateButton, kForwardButton, kHelpButton, kGearboxButton}) {
        EXPECT_TRUE(program.isEnabled(enabled)) << enabled;
    }
}

// The template's own texts: they come from the resource script, not from the code, and must
// show as Russian on any locale.
void expectTemplateTexts(TrimdeskProcess& program) {
    EXPECT_EQ(program.text(kOkButton), "OK");
    EXPECT_EQ(program.text(kCancelButton), "Отмена");
    EXPECT_EQ(program.text(kBackButton), "Назад");
    EXPECT_EQ(program.text(kForwardButton), "Вперед");
    EXPECT_EQ(program.text(kCalibrateButton), "Калибровать");
    EXPECT_EQ(program.text(kRememberButton), "Запомнить параметры");
    EXPECT_EQ(program.text(kRestoreDefaultsButton), "Восстановить значения по умолчанию");
    EXPECT_EQ(program.text(kHelpButton), "Помощь");
    EXPECT_EQ(program.text(kManualEntryCheck), "Ввести параметры вручную");
    EXPECT_EQ(program.text(kDefaultsHeading), "Значения параметров по умолчанию:");
    EXPECT_EQ(program.text(kGearboxButton), kGearboxCaption);
}

void expectNoDefaultLines(TrimdeskProcess& program) {
    for (int line = 0; line < 5; ++line) {
        EXPECT_EQ(program.text(kFirstDefaultLine + line), "") << "line " << line;
    }
}

TEST_F(StartUp, WithValidDefaultsShowsTheDefaultLinesAndOffersRestore) {
    data_.writeFile(kDefaultsFile, kDefaultsBytes);
    TrimdeskProcess& program = start();

    expectWizardStartState(program);
    expectTemplateTexts(program);
    for (int line = 0; line < 5; ++line) {
        EXPECT_EQ(program.text(kFirstDefaultLine + line), kDefaultLines[line]) << "line " << line;
    }
    EXPECT_EQ(program.text(kDefaultsNote), "");
    EXPECT_TRUE(program.isEnabled(kRestoreDefaultsButton));
    expectNoMessageBox();
}

TEST_F(StartUp, WithoutDefaultsSaysTheFileWasNotFound) {
    TrimdeskProcess& program = start();

    expectWizardStartState(program);
    expectNoDefaultLines(program);
    EXPECT_EQ(program.text(kDefaultsNote),
              "Значения по умолчанию недоступны, не найден файл \"C:\\sys_kvel\\calib_us.out\"");
    EXPECT_FALSE(program.isEnabled(kRestoreDefaultsButton));
    expectNoMessageBox();
}

class DamagedDefaults : public TrimdeskE2E, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedDefaults, SayTheFileIsDamaged) {
    data_.writeFile(kDefaultsFile, GetParam());
    TrimdeskProcess& program = start();

    expectWizardStartState(program);
    expectNoDefaultLines(program);
    EXPECT_EQ(program.text(kDefaultsNote),
              "Значения по умолчанию недоступны, испорчен файл  \"C:\\sys_kvel\\calib_us.out\"");
    EXPECT_FALSE(program.isEnabled(kRestoreDefaultsButton));
    expectNoMessageBox();
}

INSTANTIATE_TEST_SUITE_P(
    StartUp, DamagedDefaults,
    ::testing::Values("900\r\n100\r\n800\r\n50\r\n700\r\n60\r\n600\r\n70\r\n500\r\n",  // nine lines
                      "900\r\n100\r\n500\r\n500\r\n700\r\n60\r\n600\r\n70\r\n500\r\n80\r\n",
                      "900\r\n100\r\n800\r\n50\r\n700\r\n60\r\n600\r\n70\r\n80\r\n500\r\n"));

// The reading rules on a file from another editor: LF line ends, white space before a sign,
// letters after the digits, a number above 32767 (its low 16 bits), a line beyond the tenth.
TEST_F(StartUp, ReadsDefaultsWrittenByHand) {
    data_.writeFile(kDefaultsFile,
                    "66436\n100\n800\n  -25abc\n501\n500\n600\n70\n32767\n-1000\n7\n8\n");
    TrimdeskProcess& program = start();

    EXPECT_EQ(program.text(kFirstDefaultLine), "  100   900    параметры рулевого управления");
    EXPECT_EQ(program.text(kFirstDefaultLine + 1), "  -25   800    параметры педали газа");
    EXPECT_EQ(program.text(kFirstDefaultLine + 2), "  500   501    параметры педали тормоза");
    EXPECT_EQ(program.text(kFirstDefaultLine + 3), "   70   600    параметры педали сцепления");
    EXPECT_EQ(program.text(kFirstDefaultLine + 4), "-1000 32767    параметры ручного тормоза");
    EXPECT_TRUE(program.isEnabled(kRestoreDefaultsButton));
    EXPECT_EQ(program.text(kDefaultsNote), "");
}

TEST_F(StartUp, RemovesStaleWizardCapturesButKeepsTheGearCapture) {
    writeCaptureFiles();
    start();

    expectWizardCapturesGoneGearCaptureKept();
}

// ---- Help ----

using Help = TrimdeskE2E;

TEST_F(Help, ShowsTheSameTextEachTimeAndChangesNothing) {
    data_.writeFile(kDefaultsFile, kDefaultsBytes);
    TrimdeskProcess& program = start();
    std::string helpText;
    for (const char* piece : texts::kHelpPieces) helpText += piece;
    const std::vector<ControlState> before = snapshot();

    for (int press = 0; press < 2; ++press) {
        program.click(kHelpButton);
        expectMessageAndClose(helpText, "Информация по программе калибровки тренажера");
        expectNoMessageBox();
        EXPECT_EQ(snapshot(), before);
    }
    EXPECT_TRUE(program.isRunning());
}

// ---- OK, Cancel, Restore defaults ----

using ValueFiles = TrimdeskE2E;

TEST_F(ValueFiles, RestoreThenOkWritesTheDefaultsAndEndsAfterTheNotice) {
    data_.writeFile(kDefaultsFile, kDefaultsBytes);
    data_.writeFile(kResultFile, kOldResultBytes);
    TrimdeskProcess& program = start();

    restoreDefaults();
    EXPECT_TRUE(program.isEnabled(kOkButton));
    EXPECT_EQ(program.text(kStatusLine), kStartStatus);
    EXPECT_EQ(program.text(kOkHint), kOkHintText);
    EXPECT_EQ(data_.readFile(kResultFile), kOldResultBytes) << "restore alone writes nothing";

    writeCaptureFiles();
    program.click(kOkButton);
    const MessageBoxInfo notice = program.waitForMessageBox();
    EXPECT_EQ(notice.text, "++++++ Калибровочный файл успешно создан ++++++");
    EXPECT_EQ(notice.caption, kMessageCaption);
    EXPECT_TRUE(program.isRunning()) << "the program must wait for the notice to be read";
    program.closeMessageBox(notice);

    EXPECT_EQ(program.waitForExit(), 0u);
    EXPECT_EQ(data_.readFile(kResultFile), kDefaultsAsWritten);
    expectWizardCapturesGoneGearCaptureKept();
}

TEST_F(ValueFiles, CancelEndsWithoutTouchingTheResultFile) {
    data_.writeFile(kDefaultsFile, kDefaultsBytes);
    data_.writeFile(kResultFile, kOldResultBytes);
    TrimdeskProcess& program = start();
    restoreDefaults();
    writeCaptureFiles();

    program.click(kCancelButton);

    program.waitForExit();
    EXPECT_EQ(data_.readFile(kResultFile), kOldResultBytes);
    expectWizardCapturesGoneGearCaptureKept();
}

TEST_F(ValueFiles, OkThatCannotReplaceTheResultFileSaysSoAndStaysOpen) {
    data_.writeFile(kDefaultsFile, kDefaultsBytes);
    std::filesystem::create_directory(DataDirectory::fileOf(kResultFile));
    TrimdeskProcess& program = start();
    restoreDefaults();

    program.click(kOkButton);
    expectMessageAndClose(
        "ОШИБКА: программа не может открыть файл  C:\\sys_kvel\\calib5us.out  для записи.",
        kMessageCaption);

    EXPECT_TRUE(program.isRunning());
    EXPECT_TRUE(program.isEnabled(kOkButton)) << "OK can be tried again";
    EXPECT_TRUE(std::filesystem::is_directory(DataDirectory::fileOf(kResultFile)));
}

TEST_F(ValueFiles, OkThatFindsTheResultFileInUseLeavesItAsItWas) {
    data_.writeFile(kDefaultsFile, kDefaultsBytes);
    data_.writeFile(kResultFile, kOldResultBytes);
    // Open as another program would that does not let the file be deleted or replaced.
    HANDLE inUse = CreateFileW(DataDirectory::fileOf(kResultFile).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(inUse, INVALID_HANDLE_VALUE);
    TrimdeskProcess& program = start();
    restoreDefaults();

    program.click(kOkButton);
    const MessageBoxInfo box = program.waitForMessageBox();
    CloseHandle(inUse);
    EXPECT_EQ(box.text,
              "ОШИБКА: программа не может открыть файл  C:\\sys_kvel\\calib5us.out  для записи.");
    program.closeMessageBox(box);

    EXPECT_TRUE(program.isRunning());
    EXPECT_EQ(data_.readFile(kResultFile), kOldResultBytes);
}

// ---- Keyboard ----

using Keyboard = TrimdeskE2E;

TEST_F(Keyboard, EnterWhileOkIsDisabledDoesNothing) {
    data_.writeFile(kDefaultsFile, kDefaultsBytes);
    TrimdeskProcess& program = start();
    ASSERT_FALSE(program.isEnabled(kOkButton));

    program.pressKey(IDOK);

    expectNoMessageBox();
    EXPECT_FALSE(data_.readFile(kResultFile).has_value());
    EXPECT_TRUE(program.isRunning());
}

// With a valid result file and one step done, only the disabled OK stands between Enter and
// a written file.
TEST_F(Keyboard, EnterWhileOkIsDisabledWritesNothingAfterAStepIsDone) {
    data_.writeFile(kResultFile, kOldResultBytes);
    ASSERT_NO_FATAL_FAILURE(startAndCaptureStepOne());
    ASSERT_FALSE(program().isEnabled(kOkButton));

    program().pressKey(IDOK);

    expectNoMessageBox();
    EXPECT_EQ(data_.readFile(kResultFile), kOldResultBytes);
    EXPECT_TRUE(program().isRunning());
}

TEST_F(Keyboard, EnterOnceOkIsEnabledWrites) {
    data_.writeFile(kDefaultsFile, kDefaultsBytes);
    TrimdeskProcess& program = start();
    restoreDefaults();

    program.pressKey(IDOK);
    expectMessageAndClose("++++++ Калибровочный файл успешно создан ++++++", kMessageCaption);

    EXPECT_EQ(program.waitForExit(), 0u);
    EXPECT_EQ(data_.readFile(kResultFile), kDefaultsAsWritten);
}

TEST_F(Keyboard, EscapeCancels) {
    data_.writeFile(kResultFile, kOldResultBytes);
    TrimdeskProcess& program = start();
    writeCaptureFiles();

    program.pressKey(IDCANCEL);

    program.waitForExit();
    EXPECT_EQ(data_.readFile(kResultFile), kOldResultBytes);
    expectWizardCapturesGoneGearCaptureKept();
}

// ---- Wizard and gearbox dialog ----

// Wine's cmd.exe missed a calibrator it finds on other runs: the scenario may run once more.
struct CalibratorNotStarted {};

const char* const kAllControlsDone =
    "Калибровка всех пяти органов управления (руль, педали, ручной тормоз) завершена.    \n"
    "Теперь можно нажать ОК в главной панели для записи калибровочного файла.";
const char* const kResultWritten = "++++++ Калибровочный файл успешно создан ++++++";

class CalibrationE2E : public TrimdeskE2E {
  protected:
    // Runs the scenario from an empty data directory and working folder, once more on Wine's
    // start failure alone.
    template <typename Scenario>
    void runScenario(Scenario scenario) {
        for (int attempt = 1;; ++attempt) {
            try {
                scenario();
                return;
            } catch (const CalibratorNotStarted&) {
                if (attempt == 2) {
                    ADD_FAILURE() << "Wine's cmd.exe failed to start a calibrator twice";
                    return;
                }
                program_.reset();
                data_.clear();
                work_.clear();
            }
        }
    }

    // Click, then let the scenario start over when the calibrator was never started.
    void clickStartingCalibrator(const e2e::DialogWindow& dialog, int id) {
        const std::size_t runsBefore = work_.calibratorRuns().size();
        program().click(dialog, id);
        if (e2e::calibratorStartFailed(work_, program(), runsBefore)) throw CalibratorNotStarted{};
    }
    void calibrate() { clickStartingCalibrator(program().mainDialog(), kCalibrateButton); }

    std::string status() { return program().text(kStatusLine); }
};

// ---- Wizard ----

using Wizard = CalibrationE2E;

// Maxima first in the file; a negative pair and the ends of the 16-bit range among them.
TEST_F(Wizard, CaptureModeCalibratesAllFiveControlsAndOkWritesThem) {
    runScenario([&] {
        work_.addMarker("rsport.dll");
        work_.addCalibrators();
        work_.writeFile("standin_values.txt",
                        "1 700 300\n2 800 100\n3 -5 -900\n4 32767 -32768\n5 1200 1100\n");
        TrimdeskProcess& program = start();
        const char* const expectedEdits[][2] = {
            {"300", "700"}, {"100", "800"}, {"-900", "-5"}, {"-32768", "32767"}, {"1100", "1200"}};

        for (int step = 1; step <= 5; ++step) {
            SCOPED_TRACE("step " + std::to_string(step));
            if (step > 1) program.click(kForwardButton);
            calibrate();
            EXPECT_EQ(program.text(kMinEdit), expectedEdits[step - 1][0]);
            EXPECT_EQ(program.text(kMaxEdit), expectedEdits[step - 1][1]);
            if (step < 5) {
                expectNoMessageBox();
                EXPECT_FALSE(program.isEnabled(kOkButton));
            }
        }
        const MessageBoxInfo announcement = program.waitForMessageBox();
        EXPECT_EQ(announcement.text, kAllControlsDone);
        EXPECT_EQ(announcement.caption, kMessageCaption);
        EXPECT_FALSE(program.isEnabled(kForwardButton));
        EXPECT_FALSE(program.isEnabled(kOkButton)) << "OK comes after the announcement is read";
        program.closeMessageBox(announcement);

        EXPECT_EQ(status(), "Калибровка РУЧНОГО ТОРМОЗА завершена.");
        EXPECT_TRUE(program.isEnabled(kOkButton));
        EXPECT_EQ(program.text(kOkHint), " ");
        EXPECT_EQ(work_.calibratorRuns(),
                  (std::vector<std::string>{"capte.exe 1", "capte.exe 2", "capte.exe 3",
                                            "capte.exe 4", "capte.exe 5"}));

        program.click(kOkButton);
        expectMessageAndClose(kResultWritten, kMessageCaption);
        EXPECT_EQ(program.waitForExit(), 0u);
        EXPECT_EQ(data_.readFile(kResultFile),
                  "700\r\n300\r\n800\r\n100\r\n-5\r\n-900\r\n32767\r\n-32768\r\n1200\r\n1100\r\n");
    });
}

// A marker set that capture mode would reject: manual mode neither checks nor runs anything.
// The edit boxes offer the pair of the valid result file, and what is typed is read through
// the program's seven-character window.
TEST_F(Wizard, ManualModeCalibratesAllFiveControlsAndOkWritesThem) {
    work_.addMarker("fourpot.dll");
    work_.addMarker("hostbus.dll");
    work_.addCalibrators();
    data_.writeFile(kResultFile, kOldResultBytes);
    TrimdeskProcess& program = start();
    const e2e::DialogWindow& window = program.mainDialog();
    const char* const typed[][2] = {{"-100", "100"},
                                    {"5", "6"},
                                    {"12345678", " -12x"},  // 1234567 -> -10617; -12
                                    {"0", "32767"},
                                    {"-32768", "-32767"}};

    program.clickButton(window, kManualEntryCheck);
    ASSERT_TRUE(program.isChecked(kManualEntryCheck));
    for (int step = 1; step <= 5; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        if (step > 1) program.click(kForwardButton);
        program.click(kCalibrateButton);
        EXPECT_EQ(program.text(kMinEdit), "0");
        EXPECT_EQ(program.text(kMaxEdit), "1000");
        EXPECT_EQ(status(), texts::kStepTexts[step - 1].manualPrompt);
        ASSERT_TRUE(program.isEnabled(kRememberButton));

        window.setText(kMinEdit, typed[step - 1][0]);
        window.setText(kMaxEdit, typed[step - 1][1]);
        program.click(kRememberButton);
        EXPECT_EQ(status(), texts::kStepTexts[step - 1].rememberCompletion);
        EXPECT_EQ(program.isEnabled(kOkButton), step == 5);
    }
    expectNoMessageBox();  // "Запомнить параметры" never announces
    EXPECT_TRUE(work_.calibratorRuns().empty());

    program.click(kOkButton);
    expectMessageAndClose(kResultWritten, kMessageCaption);
    EXPECT_EQ(program.waitForExit(), 0u);
    EXPECT_EQ(data_.readFile(kResultFile),
              "100\r\n-100\r\n6\r\n5\r\n-12\r\n-10617\r\n32767\r\n0\r\n-32767\r\n-32768\r\n");
}

struct MarkerSet {
    std::vector<std::string> markers;
    std::string run;  // the run the stand-ins note, or the message that ends the program
};

std::ostream& operator<<(std::ostream& out, const MarkerSet& set) {
    for (const std::string& marker : set.markers) out << marker << ' ';
    return out;
}

class WizardMarkers : public CalibrationE2E, public ::testing::WithParamInterface<MarkerSet> {
  protected:
    void startWithMarkers() {
        for (const std::string& marker : GetParam().markers) work_.addMarker(marker);
        work_.addCalibrators();
        start();
    }
};

using WizardChoosesCalibrator = WizardMarkers;

TEST_P(WizardChoosesCalibrator, ForStepOne) {
    runScenario([&] {
        startWithMarkers();
        calibrate();
        EXPECT_EQ(work_.calibratorRuns(), std::vector<std::string>{GetParam().run});
        expectNoMessageBox();
        EXPECT_EQ(program().text(kMaxEdit), "960") << "the stand-in's value for step 1";
    });
}

INSTANTIATE_TEST_SUITE_P(Wizard, WizardChoosesCalibrator,
                         ::testing::Values(MarkerSet{{"rsport.dll"}, "capte.exe 1"},
                                           MarkerSet{{"fourpot.dll"}, "captd.exe 1"},
                                           MarkerSet{{"hostbus.dll"}, "captc.exe 1"},
                                           MarkerSet{{"simulator.exe"}, "captb.exe 1"},
                                           MarkerSet{{"HBV5.dll"}, "capta.exe 1"},
                                           MarkerSet{{"fourpot.dll", "rsport.dll"}, "capte.exe 1"},
                                           MarkerSet{{"hostbus.dll", "rsport.dll"},
                                                     "capte.exe 1"}));

const char* const kTwoSimilarDlls =
    "ОШИБКА: программа обнаружила две однотипных DLL: fourpot.dll и hostbus.dll и не может "
    "из-за этого продолжить работу. Удалите ненужную DLL из рабочей папки.";
const char* const kIncompatibleInterfaces =
    "ОШИБКА: программа обнаружила несовместимые версии интерфейса для тренажера и не может из-за "
    "этого продолжить работу.";

using WizardRejectsMarkers = WizardMarkers;

TEST_P(WizardRejectsMarkers, AtStepOneAndEndsWithoutRunningACalibrator) {
    data_.writeFile(kResultFile, kOldResultBytes);
    startWithMarkers();

    program().click(kCalibrateButton);
    const MessageBoxInfo box = program().waitForMessageBox();
    EXPECT_EQ(box.text, GetParam().run);
    EXPECT_EQ(box.caption, kMessageCaption);
    EXPECT_EQ(status(), texts::kStepTexts[0].captureInstruction);
    program().closeMessageBox(box);

    EXPECT_EQ(program().waitForExit(), 0u);
    EXPECT_TRUE(work_.calibratorRuns().empty());
    EXPECT_EQ(data_.readFile(kResultFile), kOldResultBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Wizard, WizardRejectsMarkers,
    ::testing::Values(MarkerSet{{"fourpot.dll", "hostbus.dll"}, kTwoSimilarDlls},
                      MarkerSet{{"fourpot.dll", "hostbus.dll", "simulator.exe"}, kTwoSimilarDlls},
                      MarkerSet{{"simulator.exe", "rsport.dll"}, kIncompatibleInterfaces},
                      MarkerSet{{"simulator.exe", "HBV5.dll"}, kIncompatibleInterfaces},
                      MarkerSet{{"HBV5.dll", "fourpot.dll"}, kIncompatibleInterfaces}));

// At step 2, so the message names another file than the wheel's.
TEST_F(Wizard, MissingCaptureFileEndsTheProgramAfterItsMessage) {
    runScenario([&] {
        work_.addMarker("rsport.dll");
        work_.addCalibrators({"capte.exe"});
        work_.writeFile("standin_values.txt", "2 none\n");
        data_.writeFile(kResultFile, kOldResultBytes);
        TrimdeskProcess& program = start();

        program.click(kForwardButton);
        calibrate();
        const MessageBoxInfo box = program.waitForMessageBox();
        EXPECT_EQ(box.text, "ОШИБКА: программа не может найти файл calib_g.tmp");
        EXPECT_EQ(box.caption, kMessageCaption);
        EXPECT_EQ(status(), texts::kStepTexts[1].captureCompletion);
        EXPECT_TRUE(program.isEnabled(kCalibrateButton)) << "enabled again before the reading";
        program.closeMessageBox(box);

        EXPECT_EQ(program.waitForExit(), 0u);
        EXPECT_EQ(work_.calibratorRuns(), std::vector<std::string>{"capte.exe 2"});
        EXPECT_EQ(data_.readFile(kResultFile), kOldResultBytes);
    });
}

// Clicks the operator makes while the calibrator runs land on disabled controls; queued, they
// must not fire once the controls are enabled again.
TEST_F(Wizard, ClicksQueuedDuringACalibratorRunAreDropped) {
    runScenario([&] {
        work_.addMarker("rsport.dll");
        work_.addCalibrators({"capte.exe"});
        TrimdeskProcess& program = start();
        const e2e::DialogWindow& window = program.mainDialog();
        program.click(kForwardButton);

        // The same click on an enabled button does fire: Help shows its box.
        window.postMouseClick(kHelpButton);
        program.waitIdle();
        program.closeMessageBox(program.waitForMessageBox());

        work_.writeFile("standin_hold.txt", "");
        window.postClick(kCalibrateButton);
        if (!e2e::waitForCalibratorRuns(work_, program, 1)) throw CalibratorNotStarted{};
        for (int id : {kBackButton, kHelpButton, kCancelButton}) {
            EXPECT_FALSE(program.isEnabled(id)) << id;
            window.postMouseClick(id);
        }
        work_.remove("standin_hold.txt");
        program.waitIdle();

        expectNoMessageBox();
        EXPECT_TRUE(program.isRunning());
        EXPECT_EQ(program.text(kStepTitle), texts::kStepTexts[1].title);
        EXPECT_EQ(status(), texts::kStepTexts[1].captureCompletion);
        EXPECT_TRUE(program.isEnabled(kBackButton));
        EXPECT_EQ(work_.calibratorRuns(), std::vector<std::string>{"capte.exe 2"});
    });
}

// ---- Gearbox dialog ----

constexpr int kGearCount = 7;  // neutral, gears 1 to 5, reverse

// A layout that keeps the shift pattern, in gear order: X, Y.
const int kPassingLayout[kGearCount][2] = {{200, 200}, {300, 300}, {200, 300}, {200, 100},
                                           {100, 300}, {100, 100}, {300, 100}};
const char* const kPassingLayoutFile =
    "200\r\n200\r\n300\r\n300\r\n200\r\n300\r\n200\r\n100\r\n100\r\n300\r\n100\r\n100\r\n300\r\n"
    "100\r\n";

const char* const kGearboxFile = "calibkpp.out";
const char* const kGearReportFile = "PrintKPP.txt";
const char* const kAllGearsCaptured =
    "+++  Калибровочные данные введены по всем передачам, теперь можно записать их в файл.  +++";
const char* const kRule5Failed =
    "ОШИБКА  ДАННЫХ  КАЛИБРОВКИ (проведите калибровку заново)\n\nЗначение X передачи №2 <= Х "
    "передачи 4 или 5 или >= Х передачи 1 или заднего хода    \n\nВозможно при калибровке была "
    "указана неправильная радио-кнопка.";

class Gearbox : public CalibrationE2E {
  protected:
    // Another interface's marker: the gear lever is measured by capta.exe all the same.
    void prepareFolder(const int (&layout)[kGearCount][2]) {
        work_.addMarker("rsport.dll");
        work_.addCalibrators();
        std::string script;
        for (const auto& position : layout) {
            script += "6 " + std::to_string(position[0]) + " " + std::to_string(position[1]) + "\n";
        }
        work_.writeFile("standin_values.txt", script);
    }

    e2e::DialogWindow openGearbox() {
        program().click(kGearboxButton);
        return program().waitForDialog(kGearboxCaption);
    }

    void captureGear(const e2e::DialogWindow& dialog, int gear) {
        program().clickButton(dialog, kFirstGearRadio + gear);
        clickStartingCalibrator(dialog, kCaptureGearButton);
    }

    // All seven in gear order; ends with the completion notice closed.
    void captureAllGears(const e2e::DialogWindow& dialog) {
        for (int gear = 0; gear < kGearCount; ++gear) captureGear(dialog, gear);
        expectMessageAndClose(kAllGearsCaptured, kMessageCaption);
    }
};

TEST_F(Gearbox, StartsWithNothingCaptured) {
    work_.writeFile(kGearCapture, "512\n256\n");  // stale, never to be read
    start();
    const e2e::DialogWindow dialog = openGearbox();

    EXPECT_EQ(dialog.caption(), kGearboxCaption);
    const char* const radioCaptions[kGearCount] = {
        "- нейтральная передача", "- передача №1", "- передача №2", "- передача №3",
        "- передача №4",          "- передача №5", "- задний ход"};
    for (int gear = 0; gear < kGearCount; ++gear) {
        EXPECT_EQ(dialog.text(kFirstGearRadio + gear), radioCaptions[gear]);
        EXPECT_FALSE(dialog.isChecked(kFirstGearRadio + gear)) << "radio " << gear;
        EXPECT_FALSE(dialog.isChecked(kFirstGearCheck + gear)) << "tick " << gear;
    }
    EXPECT_EQ(dialog.text(kCaptureGearButton),
              "Зафиксировать калибровочное значение для выбранной передачи");
    EXPECT_EQ(dialog.text(kGearWriteButton), "Записать все значения в калибровочный файл");
    EXPECT_EQ(dialog.text(kGearCancelButton), "Отмена");
    EXPECT_EQ(dialog.text(kGearInstructionsHeading), "ИНСТРУКЦИИ");
    const char* const instructions[] = {
        "1) Включите нейтральную передачу на тренажере.",
        "2) Кликните радио-кнопку, соответствующую данной передаче.",
        "3) Нажмите клавишу  \"Зафиксировать калибровочное значение...\".",
        "4) Нажмите пробел или Enter на клавиатуре (мышкой ничего не кликайте!)",
        "5) Включите следующую передачу и повторите пункты 2, 3 и 4.",
        "6) После окончания нажмите клавишу  \"Записать все значения в ...\"."};
    for (int line = 0; line < 5; ++line) {
        EXPECT_EQ(dialog.text(kFirstGearInstruction + line), instructions[line]);
    }
    EXPECT_EQ(dialog.text(kLastGearInstruction), instructions[5]);
    EXPECT_EQ(dialog.text(kGearNoticeLine1), "");
    EXPECT_EQ(dialog.text(kGearNoticeLine2), "");
    EXPECT_FALSE(dialog.isEnabled(kGearWriteButton));
    EXPECT_TRUE(dialog.isEnabled(kCaptureGearButton));
    EXPECT_FALSE(work_.exists(kGearCapture));
    expectNoMessageBox();
}

TEST_F(Gearbox, CaptureWithoutASelectedGearAsksForOne) {
    prepareFolder(kPassingLayout);
    start();
    const e2e::DialogWindow dialog = openGearbox();

    program().click(dialog, kCaptureGearButton);
    expectMessageAndClose(
        "Пожалуйста, кликните сначала радио-кнопку, соответствующую "
        "установленной в данный момент передаче.  ",
        kMessageCaption);

    EXPECT_TRUE(work_.calibratorRuns().empty());
    EXPECT_EQ(dialog.text(kGearNoticeLine1), "");
    for (int gear = 0; gear < kGearCount; ++gear) {
        EXPECT_FALSE(dialog.isChecked(kFirstGearCheck + gear)) << gear;
    }
    EXPECT_FALSE(dialog.isEnabled(kGearWriteButton));
    expectNoMessageBox();
}

TEST_F(Gearbox, CapturesAllSevenGearsWithCapta) {
    runScenario([&] {
        prepareFolder(kPassingLayout);
        start();
        const e2e::DialogWindow dialog = openGearbox();

        for (int gear = 0; gear < kGearCount; ++gear) {
            SCOPED_TRACE("gear " + std::to_string(gear));
            captureGear(dialog, gear);
            for (int other = 0; other < kGearCount; ++other) {
                EXPECT_EQ(dialog.isChecked(kFirstGearCheck + other), other <= gear) << other;
            }
            EXPECT_FALSE(work_.exists(kGearCapture));
            EXPECT_EQ(dialog.text(kGearNoticeLine1), "");
            EXPECT_EQ(dialog.text(kGearNoticeLine2), "");
            EXPECT_TRUE(dialog.isEnabled(kCaptureGearButton));
            if (gear < kGearCount - 1) {
                expectNoMessageBox();
                EXPECT_FALSE(dialog.isEnabled(kGearWriteButton));
            }
        }
        expectMessageAndClose(kAllGearsCaptured, kMessageCaption);

        EXPECT_EQ(work_.calibratorRuns(), std::vector<std::string>(kGearCount, "capta.exe 6"));
        EXPECT_TRUE(dialog.isEnabled(kGearWriteButton));
        for (int gear = 0; gear < kGearCount; ++gear) {
            EXPECT_FALSE(dialog.isChecked(kFirstGearRadio + gear)) << "radio " << gear;
        }
    });
}

// The first verdict of the run: no report, and an old one is removed.
TEST_F(Gearbox, PassingLayoutIsWrittenAndClosesTheDialog) {
    runScenario([&] {
        prepareFolder(kPassingLayout);
        data_.writeFile(kGearReportFile, "old report\r\n");
        start();
        const e2e::DialogWindow dialog = openGearbox();
        captureAllGears(dialog);

        program().click(dialog, kGearWriteButton);
        expectMessageAndClose(
            "Зафиксированные значения успешно записаны в калибровочный файл  "
            "C:\\sys_kvel\\calibkpp.out    ",
            kGearboxCaption);

        EXPECT_FALSE(IsWindow(dialog.handle())) << "the dialog closed";
        expectNoMessageBox();
        EXPECT_EQ(data_.readFile(kGearboxFile), kPassingLayoutFile);
        EXPECT_FALSE(data_.readFile(kGearReportFile).has_value());
        EXPECT_TRUE(program().isRunning());
        EXPECT_TRUE(program().isEnabled(kGearboxButton));
    });
}

// Gear 2 moved into the column of gears 4 and 5 breaks rule 5; the second verdict writes the
// report with the numbers as captured.
TEST_F(Gearbox, SecondFailedVerdictWritesTheSupportReport) {
    int layout[kGearCount][2];
    std::copy(&kPassingLayout[0][0], &kPassingLayout[0][0] + 2 * kGearCount, &layout[0][0]);
    layout[2][0] = 100;
    runScenario([&] {
        prepareFolder(layout);
        start();
        const e2e::DialogWindow dialog = openGearbox();
        captureAllGears(dialog);

        program().click(dialog, kGearWriteButton);
        expectMessageAndClose(kRule5Failed, kMessageCaption);
        expectNoMessageBox();
        EXPECT_FALSE(data_.readFile(kGearReportFile).has_value()) << "not at the first verdict";

        program().click(dialog, kGearWriteButton);
        expectMessageAndClose(kRule5Failed, kMessageCaption);
        const MessageBoxInfo notice = program().waitForMessageBox();
        const std::string supportPrefix =
            "Если после повторной калибровки продолжает появляться сообщение об ошибке данных "
            "калибровки, просьба переслать файл  C:\\sys_kvel\\PrintKPP.txt  в службу поддержки  ";
        EXPECT_EQ(notice.text.substr(0, supportPrefix.size()), supportPrefix);
        EXPECT_GT(notice.text.size(), supportPrefix.size()) << "an address ends the text";
        EXPECT_EQ(notice.caption, kMessageCaption);
        program().closeMessageBox(notice);

        EXPECT_EQ(data_.readFile(kGearReportFile),
                  "200\r\n200\r\n300\r\n300\r\n100\r\n300\r\n200\r\n100\r\n100\r\n300\r\n100\r\n"
                  "100\r\n300\r\n100\r\n");
        EXPECT_FALSE(data_.readFile(kGearboxFile).has_value());
        EXPECT_TRUE(IsWindow(dialog.handle())) << "a failed layout leaves the dialog open";
        EXPECT_TRUE(dialog.isEnabled(kGearWriteButton));
    });
}

// The main window is the dialog's owner and disabled under it, whatever a capture in the
// dialog enables and disables; after Cancel it is as it was.
TEST_F(Gearbox, MainWindowIsDisabledWhileOpenAndUnchangedAfter) {
    runScenario([&] {
        prepareFolder(kPassingLayout);
        data_.writeFile(kDefaultsFile, kDefaultsBytes);
        start();
        calibrate();
        const std::vector<ControlState> before = snapshot();
        const HWND mainWindow = program().mainDialog().handle();

        const e2e::DialogWindow dialog = openGearbox();
        EXPECT_EQ(GetWindow(dialog.handle(), GW_OWNER), mainWindow);
        EXPECT_FALSE(IsWindowEnabled(mainWindow));
        captureGear(dialog, 3);
        EXPECT_FALSE(IsWindowEnabled(mainWindow));

        program().click(dialog, kGearCancelButton);
        EXPECT_FALSE(IsWindow(dialog.handle()));
        EXPECT_TRUE(IsWindowEnabled(mainWindow));
        EXPECT_EQ(snapshot(), before);
        expectNoMessageBox();
    });
}

}  // namespace
