// The real trimdesk.exe under Wine, driven by control id from this program: the start-up state
// of the main window, help, the value files with OK, Cancel and Restore defaults, and the
// keyboard's Enter and Escape.
#include "trimdesk_driver.h"

#include "control_ids.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
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

}  // namespace
