#include "simulated_board.h"

#include "runtime_objects.h"

#include "commands.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

constexpr std::uint8_t kPatternReport = 0x01;
constexpr std::uint8_t kSimulatorVersion[] = {0x03, 0x00};
constexpr std::size_t kMostAnswerBytes = kMaxPayloadLength;  // the count byte comes after them
// A reader further behind than this (the board was away, the host's system was busy) gets the
// next report at once and the schedule starts again from there, as a real board does not
// keep what nobody read.
constexpr std::chrono::milliseconds kMostLag{50};
const std::string kUnplugSetting = "unplug-after:";

// Rises from 0 to 65535 and falls back within the period.
std::uint16_t triangle(std::uint64_t milliseconds, std::uint64_t period) {
    const std::uint64_t phase = milliseconds % period;
    const std::uint64_t half = period / 2;
    const std::uint64_t rising = phase < half ? phase : period - phase;
    return static_cast<std::uint16_t>(rising * 65535 / half);
}

void putLittleEndian(std::uint8_t* at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool readMilliseconds(const std::string& digits, long& milliseconds) {
    if (digits.empty() || digits.size() > 9) return false;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    milliseconds = std::atol(digits.c_str());
    return milliseconds > 0;
}

}  // namespace

Simulation simulationFromSetting(const std::string& setting) {
    Simulation simulation;
    if (setting.empty()) return simulation;
    if (setting.compare(0, kUnplugSetting.size(), kUnplugSetting) == 0) {
        long milliseconds = 0;
        simulation.absent = !readMilliseconds(setting.substr(kUnplugSetting.size()), milliseconds);
        simulation.unplugAfter = std::chrono::milliseconds(milliseconds);
        return simulation;
    }
    std::ifstream file(setting, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    RecordingError error;
    RecordingError cutLine;
    simulation.absent = !file ||
                        !readRecording(text.str(), simulation.recording, error, &cutLine) ||
                        simulation.recording.empty();
    if (cutLine.line != 0) {
        simulation.note =
            setting + ": line " + std::to_string(cutLine.line) + " passed over, " + cutLine.reason;
    }
    return simulation;
}

// A handle on the board as it was plugged in; it dies when the board goes away.
class SimulatedBoard::Device : public HidDevice {
  public:
    Device(SimulatedBoard& board, long plugging) : board(board), plugging(plugging) {}
    TransferResult read(Report& report, unsigned timeoutMs, StopSignal& stop) override {
        return board.read(plugging, report, timeoutMs, stop);
    }
    TransferResult write(const Report& report, unsigned, StopSignal& stop) override {
        return board.write(plugging, report, stop);
    }

  private:
    SimulatedBoard& board;
    const long plugging;
};

class SimulatedBoard::List : public HidInterfaceList {
  public:
    List(SimulatedBoard& board, long plugging) : board(board), plugging(plugging) {}
    bool openInterface(std::size_t index, HidInterface& opened) override {
        if (index > 0 || plugging < 0) return false;
        opened.device = std::make_unique<Device>(board, plugging);
        opened.vendorId = board.model.vendorId;
        opened.productId = board.model.productId;
        opened.path = "simulated";
        return true;
    }

  private:
    SimulatedBoard& board;
    const long plugging;
};

SimulatedBoard::SimulatedBoard(const BoardVariant& model, Simulation simulation)
    : model(model), simulation(std::move(simulation)) {
    // Here, in Init, where a failure to make them can still be reported.
    makeReady(changed, lock);
    loadEeprom();
}

// An EEPROM file that is missing or of another size leaves the EEPROM zeroed, as a new board's.
void SimulatedBoard::loadEeprom() {
    if (simulation.eepromFile.empty()) return;
    std::ifstream file(simulation.eepromFile, std::ios::binary);
    std::array<std::uint8_t, 256> stored{};
    file.read(reinterpret_cast<char*>(stored.data()), stored.size());
    if (file.gcount() == static_cast<std::streamsize>(stored.size()) && file.peek() == EOF) {
        eeprom = stored;
    }
}

void SimulatedBoard::saveEeprom() const {
    if (simulation.eepromFile.empty()) return;
    std::ofstream file(simulation.eepromFile, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(eeprom.data()), eeprom.size());
}

std::unique_ptr<HidInterfaceList> SimulatedBoard::listPresentInterfaces() {
    return std::make_unique<List>(*this, currentPlugging(Clock::now()));
}

TransferResult SimulatedBoard::read(long plugging, Report& report, unsigned timeoutMs,
                                    StopSignal& stop) {
    StopSignal::WakeUp wakeUp(stop, [this] {
        std::lock_guard<std::mutex> guard(lock);
        changed.notify_all();
    });
    std::unique_lock<std::mutex> guard(lock);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (stop.requested()) return TransferResult::Stopped;
        if (currentPlugging(now) != plugging) return TransferResult::Failed;  // unplugged
        if (!answers.empty()) {
            report = answers.front();
            answers.pop_front();
            return TransferResult::Completed;
        }
        const Clock::time_point due = nextDue();
        if (due <= now) {
            if (now - due > kMostLag) scheduleStart += now - due;
            report = nextReport();
            return TransferResult::Completed;
        }
        if (now >= deadline) return TransferResult::TimedOut;
        changed.wait_until(guard, std::min({due, deadline, nextPresenceChange(now)}));
    }
}

TransferResult SimulatedBoard::write(long plugging, const Report& report, StopSignal& stop) {
    std::lock_guard<std::mutex> guard(lock);
    if (stop.requested()) return TransferResult::Stopped;
    if (currentPlugging(Clock::now()) != plugging) return TransferResult::Failed;
    takeCommand(report);
    changed.notify_all();
    return TransferResult::Completed;
}

long SimulatedBoard::currentPlugging(Clock::time_point now) const {
    if (simulation.absent) return -1;
    if (simulation.unplugAfter.count() == 0) return 0;
    const long period = static_cast<long>((now - plugged) / simulation.unplugAfter);
    return period % 2 == 0 ? period / 2 : -1;
}

SimulatedBoard::Clock::time_point SimulatedBoard::nextPresenceChange(Clock::time_point now) const {
    if (simulation.unplugAfter.count() == 0) return Clock::time_point::max();
    return plugged + simulation.unplugAfter * ((now - plugged) / simulation.unplugAfter + 1);
}

// The payload sits at report bytes 1 to n, and n in the last byte.
void SimulatedBoard::takeCommand(const Report& report) {
    const std::uint8_t* payload = &report[1];
    const std::uint8_t address = payload[1];
    const std::uint8_t count = payload[2];
    switch (payload[0]) {
        case CmdWrite: ++blocksTaken; break;
        case CmdQueryVersion:
            answer({CmdQueryVersion, kSimulatorVersion[0], kSimulatorVersion[1]});
            break;
        case CmdEepromWrite:
            for (std::size_t i = 0; i < std::min<std::size_t>(count, kMaxEepromWriteCount); ++i) {
                eeprom[(address + i) % eeprom.size()] = payload[3 + i];
            }
            saveEeprom();
            answer({CmdEepromWrite, address, count});
            break;
        case CmdEepromRead: {
            std::uint8_t bytes[kMostAnswerBytes];
            const std::size_t given = std::min<std::size_t>(count, kMostAnswerBytes - 3);
            for (std::size_t i = 0; i < given; ++i)
                bytes[i] = eeprom[(address + i) % eeprom.size()];
            answer({CmdEepromRead, address, count}, bytes, given);
            break;
        }
        case CmdEnterBootloader: answer({CmdEnterBootloader}); break;
        default: break;  // not a command of the board's: no answer, as from a real one
    }
}

void SimulatedBoard::answer(std::initializer_list<std::uint8_t> head, const std::uint8_t* tail,
                            std::size_t tailSize) {
    Report report{};
    std::copy(head.begin(), head.end(), report.begin() + 1);
    std::copy_n(tail, tailSize, report.begin() + 1 + head.size());
    report[kReportSize - 1] = static_cast<std::uint8_t>(head.size() + tailSize);
    answers.push_back(report);
}

// The pattern comes every kPatternInterval; a recording as it was recorded, starting again
// a millisecond after its last report.
SimulatedBoard::Clock::time_point SimulatedBoard::nextDue() const {
    const std::vector<RecordedReport>& recording = simulation.recording;
    if (recording.empty()) return scheduleStart + kPatternInterval * scheduled;
    const std::chrono::milliseconds round(recording.back().milliseconds -
                                          recording.front().milliseconds + 1);
    const RecordedReport& next = recording[scheduled % recording.size()];
    return scheduleStart + round * (scheduled / recording.size()) +
           std::chrono::milliseconds(next.milliseconds - recording.front().milliseconds);
}

Report SimulatedBoard::nextReport() {
    Report report{};
    const std::vector<RecordedReport>& recording = simulation.recording;
    if (recording.empty()) {
        report = patternReport();
    } else {
        const ReportData& data = recording[scheduled % recording.size()].data;
        std::copy(data.begin(), data.end(), report.begin() + 1);
    }
    ++scheduled;
    ++reportsSent;
    return report;
}

Report SimulatedBoard::patternReport() const {
    Report report{};
    std::uint8_t* data = &report[1];
    const std::uint64_t milliseconds = scheduled;  // one report a millisecond
    data[0] = kPatternReport;
    putLittleEndian(data + 1, reportsSent, 4);
    const std::uint64_t periods[] = {4000, 5000, 6000, 7000, 8000};  // one for each control
    for (int control = 0; control < 5; ++control) {
        putLittleEndian(data + 5 + 2 * control, triangle(milliseconds, periods[control]), 2);
    }
    data[15] = static_cast<std::uint8_t>(milliseconds / 1000 % 7);
    data[16] = blocksTaken;
    data[kReportDataSize - 1] = 17;
    return report;
}
