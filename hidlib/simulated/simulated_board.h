// A board that exists only in software, for host programmers without a trainer: the simulated
// DLLs use it instead of the system's HID devices. It sends input reports at the real board's
// rate (a pattern of its own, or a replayed recording), answers the commands in a convention of
// its own, and can vanish and come back.
//
// The simulator's convention (the real board's answers are its firmware's business):
// - A pattern report: byte 0 is 0x01; bytes 1 to 4 count the reports sent (32 bits, low byte
//   first); bytes 5 to 14 hold five 16-bit values (low byte first) that rise and fall slowly,
//   one for each analogue control; byte 15 a gear position 0 to 6 that changes every second;
//   byte 16 the number of Write blocks taken (modulo 256). 17 meaningful bytes.
// - Answers, which come before the next pattern report, start with the command's code:
//   version 0x0A, 0x03, 0x00 (the simulator's version 3.00);
//   EEPROM read 0x06, address, count, then that many bytes of a 256-byte EEPROM (at most 60,
//   since a packet holds 63 meaningful bytes; addresses wrap at 256);
//   EEPROM write 0x05, address, count, after the bytes were stored (and, with an EEPROM file,
//   saved there);
//   boot loader 0x73. A Write block is taken and counted; it gets no answer.
#pragma once

#include "hid_backend.h"
#include "recording.h"
#include "variant.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct Simulation {
    // Replayed with their timing, looping, instead of the pattern when not empty.
    std::vector<RecordedReport> recording;
    // When not zero the board vanishes after this long, comes back after as long again, and
    // so on.
    std::chrono::milliseconds unplugAfter{0};
    // The board never appears: what an unreadable setting gives, so a mistake shows at once.
    bool absent = false;
    // Where the EEPROM keeps its 256 bytes from one run to the next, as the board's own does
    // when switched off; empty for an EEPROM that lives only as long as the board object.
    std::string eepromFile;
    // What reading the setting has to say though the setting was used: a recording's last
    // line, cut short, that was passed over.
    std::string note;
};

// Reads the setting of the environment variable HBV_SIMULATION: empty for the pattern,
// "unplug-after:MS" for the pattern with the board vanishing, or the path of a recording.
Simulation simulationFromSetting(const std::string& setting);

class SimulatedBoard : public HidBackend {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kPatternInterval{1};

    // The board appears with its model's ids from now on.
    SimulatedBoard(const BoardVariant& model, Simulation simulation);

    std::unique_ptr<HidInterfaceList> listPresentInterfaces() override;

  private:
    class Device;
    class List;

    TransferResult read(long plugging, Report& report, unsigned timeoutMs, StopSignal& stop);
    TransferResult write(long plugging, const Report& report, StopSignal& stop);
    // Which presence of the board it is now, counted from 0; -1 while it is away.
    long currentPlugging(Clock::time_point now) const;
    Clock::time_point nextPresenceChange(Clock::time_point now) const;
    void takeCommand(const Report& report);
    void loadEeprom();
    void saveEeprom() const;
    void answer(std::initializer_list<std::uint8_t> head, const std::uint8_t* tail = nullptr,
                std::size_t tailSize = 0);
    Clock::time_point nextDue() const;
    Report nextReport();
    Report patternReport() const;

    const BoardVariant& model;
    const Simulation simulation;
    const Clock::time_point plugged = Clock::now();

    std::mutex lock;
    std::condition_variable changed;
    std::deque<Report> answers;  // guarded by lock, as everything below
    std::array<std::uint8_t, 256> eeprom{};
    std::uint32_t reportsSent = 0;
    std::uint8_t blocksTaken = 0;
    Clock::time_point scheduleStart = plugged;  // when report 0 of the schedule is due
    std::uint64_t scheduled = 0;                // reports of the schedule sent so far
};
