#include "virtual_board.h"

#include <algorithm>

class VirtualBoard::List : public HidInterfaceList {
  public:
    List(VirtualBoard& board, std::vector<std::size_t> present)
        : board(board), present(std::move(present)) {}
    bool openInterface(std::size_t index, HidInterface& opened) override {
        if (index >= present.size()) return false;
        board.openInterface(present[index], opened);
        return true;
    }

  private:
    VirtualBoard& board;
    std::vector<std::size_t> present;
};

class VirtualBoard::Device : public HidDevice {
  public:
    Device(VirtualBoard& board, int handle) : board(board), handle(handle) {}
    ~Device() override { board.close(handle); }
    TransferResult read(Report& report, unsigned timeoutMs, StopSignal& stop) override {
        return board.read(handle, report, timeoutMs, stop);
    }
    TransferResult write(const Report& report, unsigned timeoutMs, StopSignal& stop) override {
        return board.write(handle, report, timeoutMs, stop);
    }

  private:
    VirtualBoard& board;
    int handle;
};

std::size_t VirtualBoard::addInterface(std::uint16_t vendorId, std::uint16_t productId,
                                       Access access) {
    std::lock_guard<std::mutex> guard(lock);
    interfaces.push_back(Interface{vendorId, productId, access});
    return interfaces.size() - 1;
}

void VirtualBoard::unplug(std::size_t interfaceIndex) {
    std::lock_guard<std::mutex> guard(lock);
    interfaces.at(interfaceIndex).present = false;
    ++interfaces[interfaceIndex].plugCount;
    changed.notify_all();
}

void VirtualBoard::replug(std::size_t interfaceIndex) {
    std::lock_guard<std::mutex> guard(lock);
    interfaces.at(interfaceIndex).present = true;
}

void VirtualBoard::sendInputReport(const Report& report, std::size_t interfaceIndex) {
    std::lock_guard<std::mutex> guard(lock);
    for (Handle& handle : handles) {
        if (handle.interfaceIndex != interfaceIndex || !alive(handle)) continue;
        if (handle.inputBuffer.size() == kInputBufferDepth) handle.inputBuffer.pop_front();
        handle.inputBuffer.push_back(report);
    }
    changed.notify_all();
}

bool VirtualBoard::waitUntilOpen(std::size_t interfaceIndex, std::chrono::milliseconds limit) {
    Lock guard(lock);
    return changed.wait_for(guard, limit, [&] {
        return std::any_of(handles.begin(), handles.end(), [&](const Handle& handle) {
            return handle.interfaceIndex == interfaceIndex && alive(handle);
        });
    });
}

bool VirtualBoard::waitForRoom(std::size_t interfaceIndex, std::chrono::milliseconds limit) {
    Lock guard(lock);
    return changed.wait_for(guard, limit, [&] {
        return std::none_of(handles.begin(), handles.end(), [&](const Handle& handle) {
            return handle.interfaceIndex == interfaceIndex && alive(handle) &&
                   handle.inputBuffer.size() == kInputBufferDepth;
        });
    });
}

std::size_t VirtualBoard::bufferedReports() const {
    std::lock_guard<std::mutex> guard(lock);
    std::size_t buffered = 0;
    for (const Handle& handle : handles) {
        if (alive(handle)) buffered += handle.inputBuffer.size();
    }
    return buffered;
}

int VirtualBoard::reportsRead() const {
    std::lock_guard<std::mutex> guard(lock);
    return readsWithReport;
}

void VirtualBoard::injectFault(Direction direction, Fault fault) {
    std::lock_guard<std::mutex> guard(lock);
    faults.emplace_back(direction, fault);
}

void VirtualBoard::holdNext(Direction direction) {
    std::lock_guard<std::mutex> guard(lock);
    holds[static_cast<int>(direction)] = Hold{true, false, false};
}

bool VirtualBoard::waitUntilHeld(Direction direction, std::chrono::milliseconds limit) {
    Lock guard(lock);
    const Hold& hold = holds[static_cast<int>(direction)];
    return changed.wait_for(guard, limit, [&] { return hold.inFlight; });
}

void VirtualBoard::releaseHeld(Direction direction) {
    std::lock_guard<std::mutex> guard(lock);
    holds[static_cast<int>(direction)].released = true;
    changed.notify_all();
}

bool VirtualBoard::waitForReads(int count, std::chrono::milliseconds limit) {
    Lock guard(lock);
    return changed.wait_for(guard, limit, [&] { return readsBegun >= count; });
}

bool VirtualBoard::waitForWrites(std::size_t count, std::chrono::milliseconds limit) {
    Lock guard(lock);
    return changed.wait_for(guard, limit, [&] { return written.size() >= count; });
}

bool VirtualBoard::waitForSearches(int count, std::chrono::milliseconds limit) {
    Lock guard(lock);
    return changed.wait_for(guard, limit, [&] { return searches >= count; });
}

bool VirtualBoard::waitForOpens(std::size_t interfaceIndex, int count,
                                std::chrono::milliseconds limit) {
    Lock guard(lock);
    return changed.wait_for(guard, limit,
                            [&] { return interfaces.at(interfaceIndex).opens >= count; });
}

std::vector<VirtualBoard::WrittenReport> VirtualBoard::writtenReports() const {
    std::lock_guard<std::mutex> guard(lock);
    return written;
}

int VirtualBoard::searchCount() const {
    std::lock_guard<std::mutex> guard(lock);
    return searches;
}

int VirtualBoard::opensOf(std::size_t interfaceIndex) const {
    std::lock_guard<std::mutex> guard(lock);
    return interfaces.at(interfaceIndex).opens;
}

bool VirtualBoard::isOpen(int handle) const {
    std::lock_guard<std::mutex> guard(lock);
    return handles.at(handle).open;
}

int VirtualBoard::openHandleCount() const {
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<int>(
        std::count_if(handles.begin(), handles.end(), [](const Handle& h) { return h.open; }));
}

bool VirtualBoard::closedUnderTransfer() const {
    std::lock_guard<std::mutex> guard(lock);
    return closedInFlight;
}

int VirtualBoard::mostWritesInFlight() const {
    std::lock_guard<std::mutex> guard(lock);
    return mostWrites;
}

std::unique_ptr<HidInterfaceList> VirtualBoard::listPresentInterfaces() {
    std::lock_guard<std::mutex> guard(lock);
    ++searches;
    changed.notify_all();
    std::vector<std::size_t> present;
    for (std::size_t index = 0; index < interfaces.size(); ++index) {
        if (interfaces[index].present) present.push_back(index);
    }
    return std::make_unique<List>(*this, std::move(present));
}

bool VirtualBoard::openInterface(std::size_t interfaceIndex, HidInterface& opened) {
    std::lock_guard<std::mutex> guard(lock);
    Interface& target = interfaces[interfaceIndex];
    if (!target.present || target.access == Access::CannotOpen) return false;
    ++target.opens;
    const int handle = static_cast<int>(handles.size());
    handles.push_back(Handle{interfaceIndex, target.plugCount, true, 0, {}});
    if (target.access == Access::AttributesUnreadable) {
        handles.back().open = false;  // opened, then closed again by the search
        return false;
    }
    try {
        opened.device = std::make_unique<Device>(*this, handle);
    } catch (...) {
        handles.back().open = false;  // as a system whose device object cannot be made
        throw;
    }
    opened.vendorId = target.vendorId;
    opened.productId = target.productId;
    changed.notify_all();
    return true;
}

void VirtualBoard::close(int handle) {
    std::lock_guard<std::mutex> guard(lock);
    Handle& closing = handles.at(handle);
    if (closing.transfersInFlight > 0) closedInFlight = true;
    closing.open = false;
    closing.inputBuffer.clear();
}

TransferResult VirtualBoard::read(int handle, Report& report, unsigned timeoutMs,
                                  StopSignal& stop) {
    StopSignal::WakeUp wakeUp(stop, [this] { wakeWaiters(); });
    Lock guard(lock);
    Handle& reading = handles.at(handle);
    if (stop.requested()) return TransferResult::Stopped;
    ++reading.transfersInFlight;
    ++readsBegun;
    changed.notify_all();
    TransferResult result = TransferResult::Completed;
    Fault fault;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!stopIfHeld(guard, Direction::Read, stop)) {
        result = TransferResult::Stopped;
    } else if (takeFault(Direction::Read, fault)) {
        result = faultResult(guard, fault, timeoutMs, stop);
    } else if (!changed.wait_until(guard, deadline, [&] {
                   return !reading.inputBuffer.empty() || !alive(reading) || stop.requested();
               })) {
        result = TransferResult::TimedOut;  // nothing arrived: a board that sends nothing
    } else if (!alive(reading)) {
        result = TransferResult::Failed;
    } else if (reading.inputBuffer.empty()) {
        result = TransferResult::Stopped;
    } else {
        report = reading.inputBuffer.front();
        reading.inputBuffer.pop_front();
        ++readsWithReport;
        changed.notify_all();
    }
    --reading.transfersInFlight;
    return result;
}

TransferResult VirtualBoard::write(int handle, const Report& report, unsigned timeoutMs,
                                   StopSignal& stop) {
    StopSignal::WakeUp wakeUp(stop, [this] { wakeWaiters(); });
    Lock guard(lock);
    Handle& writing = handles.at(handle);
    if (stop.requested()) return TransferResult::Stopped;
    ++writing.transfersInFlight;
    mostWrites = std::max(mostWrites, ++writesInFlight);
    TransferResult result = TransferResult::Completed;
    Fault fault;
    if (!stopIfHeld(guard, Direction::Write, stop)) {
        result = TransferResult::Stopped;
    } else if (takeFault(Direction::Write, fault)) {
        result = faultResult(guard, fault, timeoutMs, stop);
    } else if (!alive(writing)) {
        result = TransferResult::Failed;
    } else {
        written.push_back(WrittenReport{writing.interfaceIndex, handle, report});
        changed.notify_all();
    }
    --writesInFlight;
    --writing.transfersInFlight;
    return result;
}

// Runs on the thread that requests stop, which holds no lock of the board's.
void VirtualBoard::wakeWaiters() {
    std::lock_guard<std::mutex> guard(lock);
    changed.notify_all();
}

// Returns false when stop was requested while the transfer was held.
bool VirtualBoard::stopIfHeld(Lock& guard, Direction direction, const StopSignal& stop) {
    Hold& hold = holds[static_cast<int>(direction)];
    if (!hold.armed) return true;
    hold.armed = false;
    hold.inFlight = true;
    changed.notify_all();
    changed.wait(guard, [&] { return hold.released || stop.requested(); });
    hold.inFlight = false;
    return hold.released;
}

bool VirtualBoard::takeFault(Direction direction, Fault& fault) {
    auto found = std::find_if(faults.begin(), faults.end(),
                              [&](const auto& entry) { return entry.first == direction; });
    if (found == faults.end()) return false;
    fault = found->second;
    faults.erase(found);
    return true;
}

TransferResult VirtualBoard::faultResult(Lock& guard, Fault fault, unsigned timeoutMs,
                                         const StopSignal& stop) {
    if (fault == Fault::CompleteWithError) return TransferResult::Failed;
    // A stalled transfer sees nothing the test does; it only lets the board be used meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (changed.wait_until(guard, deadline, [&] { return stop.requested(); })) {
        return TransferResult::Stopped;
    }
    return TransferResult::TimedOut;
}

bool VirtualBoard::alive(const Handle& handle) const {
    const Interface& owner = interfaces[handle.interfaceIndex];
    return handle.open && owner.present && owner.plugCount == handle.plugCount;
}
