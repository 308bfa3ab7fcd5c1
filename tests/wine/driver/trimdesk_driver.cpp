#include "trimdesk_driver.h"

#include "wide_text.h"

#include "control_ids.h"

#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Under Wine a start takes a few hundred milliseconds and a handler a few; these bounds turn a
// hang into a failure without making a slow machine fail.
constexpr milliseconds kStartTimeout{8000};
constexpr milliseconds kIdleTimeout{4000};
constexpr milliseconds kExitTimeout{4000};
constexpr milliseconds kCalibratorTimeout{20000};  // a calibrator run, cmd.exe included
constexpr milliseconds kPollInterval{5};
constexpr UINT kSendTimeoutMs = 2000;

// Posted after a click into the read-only OK hint line: it changes nothing the program uses,
// and once the edit reports the new limit every message posted before it has been handled.
constexpr int kIdleMarkerControl = kOkHint;
constexpr WPARAM kFirstIdleMarker = 1000000;

template <typename Condition>
bool waitUntil(Condition condition, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

std::string hexHandle(HWND window) {
    std::ostringstream out;
    out << window;
    return out.str();
}

// WM_GETTEXT across processes, bounded; nothing when the window does not answer (or is gone).
std::optional<std::string> tryWindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length)) {
        return std::nullopt;
    }
    std::wstring buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &copied)) {
        return std::nullopt;
    }
    buffer.resize(copied);
    return narrow(buffer);
}

std::string windowText(HWND window) {
    std::optional<std::string> text = tryWindowText(window);
    if (!text) throw DriverError("no answer to WM_GETTEXT from window " + hexHandle(window));
    return *text;
}

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// Wine shows the Linux file system as drive Z:.
fs::path windowsPathOf(const std::string& hostPath) {
    if (hostPath.empty() || hostPath.front() != '/') return fs::path(widen(hostPath));
    std::wstring path = L"Z:" + widen(hostPath);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return fs::path(path);
}

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw DriverError("cannot read " + narrow(file.wstring()));
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw DriverError("cannot write " + narrow(file.wstring()));
}

std::optional<std::string> readIfPresent(const fs::path& file) {
    if (!fs::is_regular_file(file)) return std::nullopt;
    return readBytes(file);
}

// The processes started by `root`, and theirs (cmd.exe and the calibrator it runs).
std::vector<DWORD> descendantsOf(DWORD root) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return {};
    std::multimap<DWORD, DWORD> childrenByParent;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        childrenByParent.emplace(entry.th32ParentProcessID, entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    std::vector<DWORD> found;
    std::vector<DWORD> parents{root};
    while (!parents.empty()) {
        const DWORD parent = parents.back();
        parents.pop_back();
        const auto range = childrenByParent.equal_range(parent);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second == root || it->second == 0) continue;
            found.push_back(it->second);
            parents.push_back(it->second);
        }
    }
    return found;
}

// Handles are inherited only where a start names them.
void keepOwnOutputFromChildren() {
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        HANDLE handle = GetStdHandle(which);
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
        }
    }
}

void terminateProcessById(DWORD id) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (process == nullptr) return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, static_cast<DWORD>(kExitTimeout.count()));
    CloseHandle(process);
}

}  // namespace

fs::path trimdeskProgram() { return windowsPathOf(TRIMDESK_E2E_PROGRAM); }
fs::path standinDirectory() { return windowsPathOf(TRIMDESK_E2E_STANDIN_DIR); }

// ---- DataDirectory ----

fs::path DataDirectory::path() { return fs::path(L"C:\\sys_kvel"); }

DataDirectory::DataDirectory() {
    existedBefore_ = fs::is_directory(path());
    fs::create_directories(path());
    for (const fs::directory_entry& entry : fs::directory_iterator(path())) {
        if (entry.is_regular_file()) {
            savedFiles_[entry.path()] = readBytes(entry.path());
        } else {
            foreignEntries_.insert(entry.path());
        }
    }
}

DataDirectory::~DataDirectory() {
    clear();
    for (const auto& [file, bytes] : savedFiles_) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::error_code ignored;
    if (!existedBefore_) fs::remove_all(path(), ignored);
}

void DataDirectory::clear() const noexcept {
    std::error_code ignored;
    std::vector<fs::path> made;
    for (fs::directory_iterator it(path(), ignored), end; it != end; it.increment(ignored)) {
        if (foreignEntries_.count(it->path()) == 0) made.push_back(it->path());
    }
    for (const fs::path& entry : made) fs::remove_all(entry, ignored);
}

void DataDirectory::writeFile(const std::string& name, const std::string& bytes) const {
    writeBytes(fileOf(name), bytes);
}

std::optional<std::string> DataDirectory::readFile(const std::string& name) const {
    return readIfPresent(fileOf(name));
}

// ---- WorkFolder ----

WorkFolder::WorkFolder() {
    static unsigned folderCount = 0;
    const std::wstring name = L"trimdesk-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++folderCount);
    path_ = fs::temp_directory_path() / name;
    fs::remove_all(path_);
    fs::create_directories(path_);
}

WorkFolder::~WorkFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void WorkFolder::addCalibrators(const std::vector<std::string>& programs) const {
    for (const std::string& program : programs) {
        fs::copy_file(standinDirectory() / program, path_ / program,
                      fs::copy_options::overwrite_existing);
    }
}

void WorkFolder::writeFile(const std::string& name, const std::string& bytes) const {
    writeBytes(path_ / name, bytes);
}

std::optional<std::string> WorkFolder::readFile(const std::string& name) const {
    return readIfPresent(path_ / name);
}

bool WorkFolder::exists(const std::string& name) const { return fs::exists(path_ / name); }

void WorkFolder::remove(const std::string& name) const { fs::remove(path_ / name); }

void WorkFolder::clear() const {
    for (const fs::directory_entry& entry : fs::directory_iterator(path_)) {
        fs::remove_all(entry.path());
    }
}

std::string WorkFolder::programOutput() const {
    return readIfPresent(path_ / kProgramOutput).value_or("");
}

std::vector<std::string> WorkFolder::calibratorRuns() const {
    std::vector<std::string> runs;
    std::ifstream log(path_ / "calibrator_runs.log");
    for (std::string line; std::getline(log, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) runs.push_back(line);
    }
    return runs;
}

// ---- DialogWindow ----

HWND DialogWindow::control(int id) const {
    HWND control = GetDlgItem(window_, id);
    if (control == nullptr) {
        throw DriverError("dialog " + hexHandle(window_) + " has no control " + std::to_string(id));
    }
    return control;
}

std::string DialogWindow::caption() const { return windowText(window_); }

std::string DialogWindow::text(int id) const { return windowText(control(id)); }

bool DialogWindow::isChecked(int id) const {
    DWORD_PTR state = 0;
    if (!SendMessageTimeoutW(control(id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &state)) {
        throw DriverError("no answer to BM_GETCHECK from control " + std::to_string(id));
    }
    return state == BST_CHECKED;
}

void DialogWindow::postClick(int id) const {
    HWND button = control(id);
    if (!PostMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button))) {
        throw DriverError("cannot post a click on control " + std::to_string(id));
    }
}

void DialogWindow::postButtonClick(int id) const {
    if (!PostMessageW(control(id), BM_CLICK, 0, 0)) {
        throw DriverError("cannot post BM_CLICK to control " + std::to_string(id));
    }
}

void DialogWindow::postMouseClick(int id) const {
    HWND target = control(id);
    const LPARAM insideTheButton = MAKELPARAM(3, 3);
    if (!PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, insideTheButton) ||
        !PostMessageW(target, WM_LBUTTONUP, 0, insideTheButton)) {
        throw DriverError("cannot post a mouse click to control " + std::to_string(id));
    }
}

void DialogWindow::setText(int id, const std::string& text) const {
    const std::wstring wide = widen(text);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) ||
        result != TRUE) {
        throw DriverError("cannot set the text of control " + std::to_string(id));
    }
}

void DialogWindow::postKeyCommand(int id) const {
    // The dialog manager names the button of that id when there is one, as it does for Enter
    // on a dialog whose default button is OK.
    const LPARAM button = reinterpret_cast<LPARAM>(GetDlgItem(window_, id));
    if (!PostMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), button)) {
        throw DriverError("cannot post command " + std::to_string(id));
    }
}

// ---- TrimdeskProcess ----

TrimdeskProcess::TrimdeskProcess(const WorkFolder& folder) {
    launch(folder);
    try {
        mainDialog_ = waitForDialog(kMainCaption);
        waitIdle();
    } catch (...) {
        kill();
        closeHandles();
        throw;
    }
}

// The program's console output, and that of the cmd.exe and calibrators it starts, goes to a
// file of the working folder: a process that held the test's own output would keep ctest
// waiting, and cmd.exe's complaints stay readable.
void TrimdeskProcess::launch(const WorkFolder& folder) {
    keepOwnOutputFromChildren();
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inheritable, OPEN_EXISTING, 0, nullptr);
    HANDLE output =
        CreateFileW((folder.path() / WorkFolder::kProgramOutput).c_str(), FILE_APPEND_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::wstring program = trimdeskProgram().wstring();
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    const bool started =
        CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       folder.path().wstring().c_str(), &startup, &process_) != FALSE;
    const DWORD error = GetLastError();
    CloseHandle(input);
    CloseHandle(output);
    if (!started) {
        throw DriverError("cannot start " + narrow(program) + ", error " + std::to_string(error));
    }
}

TrimdeskProcess::~TrimdeskProcess() {
    kill();
    closeHandles();
}

void TrimdeskProcess::closeHandles() {
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

void TrimdeskProcess::kill() {
    if (!isRunning()) return;
    // The calibrator first: with its parent gone it would no longer be found.
    for (DWORD child : descendantsOf(process_.dwProcessId)) terminateProcessById(child);
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, static_cast<DWORD>(kExitTimeout.count()));
}

bool TrimdeskProcess::isRunning() const {
    return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD TrimdeskProcess::waitForExit() {
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(kExitTimeout.count())) !=
        WAIT_OBJECT_0) {
        throw DriverError("trimdesk.exe still runs after " + std::to_string(kExitTimeout.count()) +
                          " ms");
    }
    DWORD status = 0;
    GetExitCodeProcess(process_.hProcess, &status);
    return status;
}

void TrimdeskProcess::click(const DialogWindow& dialog, int id) {
    dialog.postClick(id);
    waitIdle();
}

void TrimdeskProcess::clickButton(const DialogWindow& dialog, int id) {
    dialog.postButtonClick(id);
    waitIdle();
}

void TrimdeskProcess::pressKey(int commandId) {
    mainDialog_.postKeyCommand(commandId);
    waitIdle();
}

// Nothing when the main window is already gone, that is when the program is ending.
HWND TrimdeskProcess::idleMarkerWindow() const {
    return GetDlgItem(mainDialog_.handle(), kIdleMarkerControl);
}

bool TrimdeskProcess::postIdleMarker() {
    HWND marker = idleMarkerWindow();
    ++idleMarker_;
    return marker != nullptr &&
           PostMessageW(marker, EM_SETLIMITTEXT, kFirstIdleMarker + idleMarker_, 0) != FALSE;
}

bool TrimdeskProcess::idleMarkerHandled() const {
    HWND marker = idleMarkerWindow();
    if (marker == nullptr) return true;
    DWORD_PTR limit = 0;
    const bool answered =
        SendMessageTimeoutW(marker, EM_GETLIMITTEXT, 0, 0, SMTO_ABORTIFHUNG, 100, &limit) != 0;
    return answered && limit == kFirstIdleMarker + idleMarker_;
}

bool TrimdeskProcess::calibratorRunning() const {
    return !descendantsOf(process_.dwProcessId).empty();
}

void TrimdeskProcess::waitIdle() {
    if (!isRunning() || !postIdleMarker()) return;
    const auto hardDeadline = Clock::now() + kCalibratorTimeout;
    auto deadline = Clock::now() + kIdleTimeout;
    while (isRunning() && !idleMarkerHandled()) {
        // A calibrator blocks the program's thread for as long as it runs.
        if (calibratorRunning()) deadline = std::min(hardDeadline, Clock::now() + kIdleTimeout);
        if (Clock::now() >= deadline) throw DriverError("trimdesk.exe did not become idle");
        std::this_thread::sleep_for(kPollInterval);
    }
}

namespace {

struct DialogSearch {
    DWORD processId;
    std::vector<HWND> found;
};

// A plain function: on i686 the callback must be stdcall, which a lambda is not.
BOOL CALLBACK collectProcessDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<DialogSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) && className(window) == L"#32770") {
        search->found.push_back(window);
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> TrimdeskProcess::topLevelDialogs() const {
    DialogSearch search{process_.dwProcessId, {}};
    EnumWindows(collectProcessDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

DialogWindow TrimdeskProcess::waitForDialog(const std::string& caption) {
    HWND found = nullptr;
    const bool appeared = waitUntil(
        [&] {
            for (HWND window : topLevelDialogs()) {
                if (tryWindowText(window) == caption) found = window;
            }
            return found != nullptr || !isRunning();
        },
        kStartTimeout);
    if (!appeared || found == nullptr) {
        throw DriverError("no dialog \"" + caption + "\" of trimdesk.exe appeared");
    }
    knownDialogs_.insert(found);
    return DialogWindow(found);
}

std::optional<MessageBoxInfo> TrimdeskProcess::findMessageBox() const {
    for (HWND window : topLevelDialogs()) {
        if (knownDialogs_.count(window) != 0) continue;
        std::optional<std::string> caption = tryWindowText(window);
        std::optional<std::string> text = tryWindowText(GetDlgItem(window, 0xFFFF));
        if (caption && text) return MessageBoxInfo{window, *caption, *text};
    }
    return std::nullopt;
}

MessageBoxInfo TrimdeskProcess::waitForMessageBox() {
    std::optional<MessageBoxInfo> box;
    waitUntil([&] { return (box = findMessageBox()).has_value() || !isRunning(); }, kIdleTimeout);
    if (!box) throw DriverError("trimdesk.exe shows no message box");
    return *box;
}

void TrimdeskProcess::closeMessageBox(const MessageBoxInfo& box) {
    PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box.window, IDOK)));
    if (!waitUntil([&] { return !IsWindow(box.window) || !isRunning(); }, kIdleTimeout)) {
        throw DriverError("the message box \"" + box.text + "\" did not close");
    }
    waitIdle();
}

namespace {

bool showsCaptureFileNotFound(const TrimdeskProcess& program) {
    const std::optional<MessageBoxInfo> box = program.findMessageBox();
    return box && box->text.rfind("ОШИБКА: программа не может найти файл calib_", 0) == 0;
}

}  // namespace

bool calibratorStartFailed(const WorkFolder& folder, const TrimdeskProcess& program,
                           const std::string& expectedRun) {
    const std::vector<std::string> runs = folder.calibratorRuns();
    if (std::find(runs.begin(), runs.end(), expectedRun) != runs.end()) return false;
    return showsCaptureFileNotFound(program);
}

bool calibratorStartFailed(const WorkFolder& folder, const TrimdeskProcess& program,
                           std::size_t runsBefore) {
    return folder.calibratorRuns().size() <= runsBefore && showsCaptureFileNotFound(program);
}

bool waitForCalibratorRuns(const WorkFolder& folder, const TrimdeskProcess& program,
                           std::size_t runs) {
    bool noted = false;
    waitUntil(
        [&] {
            noted = folder.calibratorRuns().size() >= runs;
            return noted || program.findMessageBox().has_value() || !program.isRunning();
        },
        kCalibratorTimeout);
    return noted;
}

}  // namespace e2e
