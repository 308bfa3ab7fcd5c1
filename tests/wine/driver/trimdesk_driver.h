// Drives the real trimdesk.exe from a second process: prepares its working folder and the data
// directory, starts it, reads and clicks its controls by id, answers its message boxes and waits
// for it to become idle or to end. Every wait is bounded; a wait that runs out throws
// DriverError, which GoogleTest reports as a failure of the running test.
#pragma once

#include <windows.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace e2e {

struct DriverError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where the build put the program and the stand-in calibrators (set by the build).
std::filesystem::path trimdeskProgram();
std::filesystem::path standinDirectory();

// C:\sys_kvel\ as the program sees it. Each instance snapshots the directory's files and puts
// them back, byte for byte, when it goes, so tests cannot leak result files into each other.
// Subdirectories found there belong to someone else and are never touched.
class DataDirectory {
  public:
    DataDirectory();
    ~DataDirectory();
    DataDirectory(const DataDirectory&) = delete;
    DataDirectory& operator=(const DataDirectory&) = delete;

    static std::filesystem::path path();
    static std::filesystem::path fileOf(const std::string& name) { return path() / name; }

    // Removes every file (and every directory a test made), so a test starts from nothing.
    void clear() const noexcept;
    void writeFile(const std::string& name, const std::string& bytes) const;
    std::optional<std::string> readFile(const std::string& name) const;

  private:
    bool existedBefore_ = false;
    std::map<std::filesystem::path, std::string> savedFiles_;
    std::set<std::filesystem::path> foreignEntries_;
};

// A fresh, empty working folder under the Windows temporary directory, removed at the end.
class WorkFolder {
  public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // An interface marker: an empty file such as rsport.dll or HBV5.dll.
    void addMarker(const std::string& name) const { writeFile(name, ""); }
    // Copies the stand-ins for the named programs (capta.exe ... capte.exe) in.
    void addCalibrators(const std::vector<std::string>& programs = {
                            "capta.exe", "captb.exe", "captc.exe", "captd.exe", "capte.exe"}) const;
    void writeFile(const std::string& name, const std::string& bytes) const;
    std::optional<std::string> readFile(const std::string& name) const;
    bool exists(const std::string& name) const;
    void remove(const std::string& name) const;
    // Empties the folder, so a scenario can run again from the start.
    void clear() const;
    // What the program and the processes it started wrote to their console output (cmd.exe
    // says here when it could not start a calibrator).
    static constexpr const char* kProgramOutput = "trimdesk_output.log";
    std::string programOutput() const;
    // The "<program> <step>" lines the stand-in calibrators noted, one per run.
    std::vector<std::string> calibratorRuns() const;

  private:
    std::filesystem::path path_;
};

// What a message box of the program shows.
struct MessageBoxInfo {
    HWND window = nullptr;
    std::string caption;
    std::string text;
};

// One dialog of the program (the main window, or later the gearbox dialog), by control id.
class DialogWindow {
  public:
    explicit DialogWindow(HWND window) : window_(window) {}

    HWND handle() const { return window_; }
    HWND control(int id) const;  // throws when the dialog has no such control
    std::string caption() const;
    std::string text(int id) const;
    bool isEnabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }
    bool isChecked(int id) const;

    // Never sent: a handler that opens a modal message box would block the driver.
    void postClick(int id) const;
    // BM_CLICK to the control itself, as a mouse click does: an automatic check box or radio
    // button changes its state before the dialog hears of it.
    void postButtonClick(int id) const;
    // Button down and up posted straight to the control's window, as the mouse leaves them in
    // the queue; nothing checks on the way whether the control is enabled.
    void postMouseClick(int id) const;
    // WM_SETTEXT, as typing leaves an edit box.
    void setText(int id, const std::string& text) const;
    // WM_COMMAND as the dialog manager sends it for Enter (IDOK) or Escape (IDCANCEL).
    void postKeyCommand(int id) const;

  private:
    HWND window_;
};

// A running trimdesk.exe. It is killed, with any calibrator it started, when this object goes
// while it still runs, so a failed test leaves no process behind.
class TrimdeskProcess {
  public:
    static constexpr const char* kMainCaption = "Программа калибровки тренажера";

    // Starts the program in the folder and waits until its main window is up and idle.
    explicit TrimdeskProcess(const WorkFolder& folder);
    ~TrimdeskProcess();
    TrimdeskProcess(const TrimdeskProcess&) = delete;
    TrimdeskProcess& operator=(const TrimdeskProcess&) = delete;

    const DialogWindow& mainDialog() const { return mainDialog_; }
    std::string text(int id) const { return mainDialog_.text(id); }
    bool isEnabled(int id) const { return mainDialog_.isEnabled(id); }
    bool isChecked(int id) const { return mainDialog_.isChecked(id); }

    // Click, then wait until the program has handled it (and any calibrator it ran has ended).
    void click(int id) { click(mainDialog_, id); }
    void click(const DialogWindow& dialog, int id);
    // postButtonClick, then wait until handled.
    void clickButton(const DialogWindow& dialog, int id);
    // Enter (IDOK) or Escape (IDCANCEL) on the main window, then wait until handled.
    void pressKey(int commandId);

    // Returns when everything posted so far has been handled, or when the main window closed.
    void waitIdle();

    // A top-level dialog of the program with this caption, waited for.
    DialogWindow waitForDialog(const std::string& caption);
    // Any top-level dialog of the program other than the main window and waited-for dialogs.
    std::optional<MessageBoxInfo> findMessageBox() const;
    MessageBoxInfo waitForMessageBox();
    // Presses the box's OK button and waits until it is gone and the program is idle.
    void closeMessageBox(const MessageBoxInfo& box);

    bool isRunning() const;
    // The exit status; throws when the program is still running after the wait.
    DWORD waitForExit();
    void kill();

  private:
    void launch(const WorkFolder& folder);
    void closeHandles();
    HWND idleMarkerWindow() const;
    bool postIdleMarker();
    bool idleMarkerHandled() const;
    bool calibratorRunning() const;
    std::vector<HWND> topLevelDialogs() const;

    PROCESS_INFORMATION process_{};
    DialogWindow mainDialog_{nullptr};
    std::set<HWND> knownDialogs_;
    WPARAM idleMarker_ = 0;
};

// Wine's cmd.exe now and then fails to start a program it finds on other runs; the program
// then reports the step's capture file as missing and ends. True only for that symptom: the
// stand-in noted no run `expectedRun` ("capte.exe 1") and the not-found message is showing.
bool calibratorStartFailed(const WorkFolder& folder, const TrimdeskProcess& program,
                           const std::string& expectedRun);
// The same for a later run: the stand-ins noted no run beyond the first `runsBefore`.
bool calibratorStartFailed(const WorkFolder& folder, const TrimdeskProcess& program,
                           std::size_t runsBefore);

// While the program waits for a calibrator: true once the stand-ins have noted `runs` runs,
// false when the program shows a message box or ends first.
bool waitForCalibratorRuns(const WorkFolder& folder, const TrimdeskProcess& program,
                           std::size_t runs);

}  // namespace e2e
