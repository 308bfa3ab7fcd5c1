// A HID backend that plays the trainer's board and the system's list of HID interfaces:
// interfaces with chosen ids in a chosen order, scripted input reports, recorded output
// reports, unplug and replug, and faults injected into single transfers. A transfer can be held
// in flight until the test releases it, so tests need no timing to catch one mid-way.
//
// Input is buffered as Windows' HID class driver buffers it: each open handle has a buffer of
// its own, every report the board sends goes into the buffer of every handle open on its
// interface at that moment (none open: it is lost), a read takes the oldest report of its own
// handle's buffer, a full buffer drops its oldest report, and closing a handle discards its
// buffer.
#pragma once

#include "hid_backend.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class VirtualBoard : public HidBackend {
  public:
    enum class Access { Usable, CannotOpen, AttributesUnreadable };
    enum class Direction { Read, Write };
    enum class Fault {
        Stall,             // waits out the whole time limit (or a stop request), then times out
        CompleteWithError  // ends at once with an error
    };

    struct WrittenReport {
        std::size_t interfaceIndex;
        int handle;
        Report bytes;
    };

    // Interfaces are listed in the order they were added; returns the new one's index.
    std::size_t addInterface(std::uint16_t vendorId, std::uint16_t productId,
                             Access access = Access::Usable);
    // An unplugged interface leaves the list, and transfers on its open handles fail; after a
    // replug it is listed again, but old handles stay dead, as on Windows.
    void unplug(std::size_t interfaceIndex);
    void replug(std::size_t interfaceIndex);

    // Windows' default depth of a handle's input buffer (Windows XP and later).
    static constexpr std::size_t kInputBufferDepth = 32;

    // The board sends a report now, on its interface (the first one added unless told).
    void sendInputReport(const Report& report, std::size_t interfaceIndex = 0);
    // Until a handle is open on the interface: reports sent before that are lost.
    bool waitUntilOpen(std::size_t interfaceIndex, std::chrono::milliseconds limit);
    // Until no open handle's buffer on the interface is full, so the next report drops none:
    // how a test sends more reports than a buffer holds without losing any.
    bool waitForRoom(std::size_t interfaceIndex, std::chrono::milliseconds limit);
    // Reports in the buffers of handles that can still be read, not yet read.
    std::size_t bufferedReports() const;
    // Reads that completed with a report, over all handles.
    int reportsRead() const;
    // The next transfer of that direction fails in the given way instead of completing.
    void injectFault(Direction direction, Fault fault);
    // The next transfer of that direction stops once in flight, until released (or until the
    // link's transfers are stopped, as by Done).
    void holdNext(Direction direction);
    bool waitUntilHeld(Direction direction, std::chrono::milliseconds limit);
    void releaseHeld(Direction direction);

    // Wait until that many reads have begun (held ones included), writes have completed or
    // searches have begun.
    // A reader begins its next read only after it has finished with the last one's report.
    bool waitForReads(int count, std::chrono::milliseconds limit);
    bool waitForWrites(std::size_t count, std::chrono::milliseconds limit);
    bool waitForSearches(int count, std::chrono::milliseconds limit);
    bool waitForOpens(std::size_t interfaceIndex, int count, std::chrono::milliseconds limit);

    std::vector<WrittenReport> writtenReports() const;
    int searchCount() const;  // lists taken, one per device search
    int opensOf(std::size_t interfaceIndex) const;
    bool isOpen(int handle) const;
    int openHandleCount() const;
    // True once a handle was closed while a transfer was still in flight on it.
    bool closedUnderTransfer() const;
    int mostWritesInFlight() const;

    std::unique_ptr<HidInterfaceList> listPresentInterfaces() override;

  private:
    class List;
    class Device;

    struct Interface {
        std::uint16_t vendorId;
        std::uint16_t productId;
        Access access;
        bool present = true;
        int plugCount = 0;  // a handle outlives only the plug-in it was opened in
        int opens = 0;
    };
    struct Handle {
        std::size_t interfaceIndex;
        int plugCount;
        bool open = true;
        int transfersInFlight = 0;
        std::deque<Report> inputBuffer;
    };
    struct Hold {
        bool armed = false;
        bool inFlight = false;
        bool released = false;
    };
    using Lock = std::unique_lock<std::mutex>;

    bool openInterface(std::size_t interfaceIndex, HidInterface& opened);
    void close(int handle);
    TransferResult read(int handle, Report& report, unsigned timeoutMs, StopSignal& stop);
    TransferResult write(int handle, const Report& report, unsigned timeoutMs, StopSignal& stop);
    void wakeWaiters();
    bool stopIfHeld(Lock& lock, Direction direction, const StopSignal& stop);
    bool takeFault(Direction direction, Fault& fault);
    TransferResult faultResult(Lock& lock, Fault fault, unsigned timeoutMs, const StopSignal& stop);
    bool alive(const Handle& handle) const;

    mutable std::mutex lock;
    std::condition_variable changed;
    std::vector<Interface> interfaces;
    std::deque<Handle> handles;  // indexed by handle number; references stay valid on growth
    std::vector<WrittenReport> written;
    std::deque<std::pair<Direction, Fault>> faults;
    Hold holds[2];
    int searches = 0;
    int readsBegun = 0;
    int readsWithReport = 0;
    int writesInFlight = 0;
    int mostWrites = 0;
    bool closedInFlight = false;
};
