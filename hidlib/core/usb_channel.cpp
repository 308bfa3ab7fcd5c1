#include "usb_channel.h"

#include "commands.h"
#include "runtime_objects.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <new>

CUsbChannel::CUsbChannel(HidBackend& backend, const BoardVariant& variant, PacketNotifier& notifier,
                         NotifyTarget target, unsigned ioTimeoutMs)
    : device(backend, ioTimeoutMs), variant(variant), notifier(&notifier), target(target) {
    // Before any worker runs, so that a failure leaves nothing to stop.
    makeLocksReady();
    StartWorkers();
}

// Every lock the workers, the exports and Done take, made now: none of them can fail later.
void CUsbChannel::makeLocksReady() {
    makeReady(sendLock);
    makeReady(pendingLock);
    workerEvents.makeReady();
    device.makeReady();
}

CUsbChannel::CUsbChannel(HidBackend& backend, const BoardVariant& variant, unsigned ioTimeoutMs)
    : device(backend, ioTimeoutMs), variant(variant), notifier(nullptr) {
    device.SetDeviceIds(variant.vendorId, variant.productId);
}

std::unique_ptr<CUsbChannel> CUsbChannel::create(HidBackend& backend, const BoardVariant& variant,
                                                 PacketNotifier& notifier, NotifyTarget target,
                                                 unsigned ioTimeoutMs) noexcept {
    try {
        auto channel =
            std::make_unique<CUsbChannel>(backend, variant, notifier, target, ioTimeoutMs);
        if (channel->workersRunning()) return channel;
    } catch (...) {
        // Out of memory or of the runtime's objects: no channel, and nothing of it left.
    }
    return nullptr;
}

CUsbChannel::~CUsbChannel() {
    stopEvent.set();
    // The workers may be waiting for the board in a read or a write; Done never waits for it.
    device.StopTransfers();
    if (readerThread.joinable()) readerThread.join();
    if (writerThread.joinable()) writerThread.join();
}

void CUsbChannel::StartWorkers() {
    device.SetDeviceIds(variant.vendorId, variant.productId);
    if (!readerThread.joinable()) readerThread = startThread(&CUsbChannel::ReaderThread);
    if (variant.hasWriterThread && !writerThread.joinable()) {
        writerThread = startThread(&CUsbChannel::WriterThread);
    }
}

bool CUsbChannel::workersRunning() const {
    return readerThread.joinable() && (!variant.hasWriterThread || writerThread.joinable());
}

// std::thread reports a thread that cannot be started only by throwing; the channel is then
// without it, which workersRunning tells Init.
std::thread CUsbChannel::startThread(void (CUsbChannel::*work)()) {
    try {
        return std::thread(work, this);
    } catch (const std::exception&) {
        return std::thread();
    }
}

void CUsbChannel::ReaderThread() {
    while (!stopEvent.isSet()) {
        try {
            readerStep();
        } catch (...) {
            // Out of memory this time, or anything else thrown, means a pause and another try,
            // not a lost thread or host; a block that could not be sent is dropped, like one
            // whose write fails.
            std::this_thread::sleep_for(std::chrono::milliseconds(kRetryDelayMs));
        }
    }
}

void CUsbChannel::readerStep() {
    // The pause before the next attempt, cut short by Done.
    if (!readIntoQueue()) stopEvent.waitFor(std::chrono::milliseconds(kRetryDelayMs));
    if (!variant.hasWriterThread && writeRequest.isSet()) sendPendingOutput();
}

bool CUsbChannel::readIntoQueue() {
    InputPacket* fresh = packets.reserve();
    if (!fresh || !device.ReadReport(fresh->data)) return false;
    queuePacket(*fresh);
    return true;
}

void CUsbChannel::WriterThread() {
    for (;;) {
        try {
            // The stop event comes first, so a stop request wins over a pending block.
            if (ManualResetEvent::waitForAny({&stopEvent, &writeRequest}) == 0) return;
            sendPendingOutput();
        } catch (...) {
            // As in the reader: the block is dropped, and the writer goes on after a pause.
            if (stopEvent.isSet()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(kRetryDelayMs));
        }
    }
}

void CUsbChannel::queuePacket(InputPacket& packet) {
    packet.count = packet.data[kReportDataSize - 1];
    packets.publish();
    // After the append, so the host's window always finds the packet its message announces.
    if (notifier && target.wanted()) notifier->packetQueued(target);
}

// A null pointer from the host is refused rather than followed: the host's own mistake must not
// end its process, nor cost it a packet or send the board a block of whatever lies at address 0.

std::int32_t CUsbChannel::GetPacket(std::uint8_t* buffer) {
    if (buffer == nullptr || packets.looksEmpty()) return 0;
    return static_cast<std::int32_t>(packets.takeOldest(buffer));
}

bool CUsbChannel::Write(const std::uint8_t* block) {
    if (block == nullptr) return false;
    return Submit(makeWritePayload(block, variant.writeBlockSize));
}

bool CUsbChannel::QueryVersion() { return Submit(makeQueryVersionPayload()); }

bool CUsbChannel::WriteEEPROM(const std::uint8_t* data, std::uint8_t address, std::uint8_t count) {
    if (count == 0) return true;  // nothing to write is written
    if (count > kMaxEepromWriteCount || data == nullptr) return false;
    return Submit(makeEepromWritePayload(data, address, count));
}

bool CUsbChannel::ReadEEPROM(std::uint8_t address, std::uint8_t count) {
    if (count == 0) return true;
    if (count > kMaxEepromReadCount) return false;
    return Submit(makeEepromReadPayload(address, count));
}

bool CUsbChannel::EnterBootloader() { return Submit(makeEnterBootloaderPayload()); }

bool CUsbChannel::Submit(const Payload& payload) {
    if (payload.bytes[0] == CmdWrite) {
        storePendingOutput(payload);
        return true;
    }
    std::lock_guard<std::mutex> sending(sendLock);
    return device.WriteReport(payload);
}

void CUsbChannel::sendPendingOutput() {
    Payload outgoing = takePendingOutput();
    if (outgoing.length == 0) return;
    std::lock_guard<std::mutex> sending(sendLock);
    device.WriteReport(outgoing);  // not retried: the next Write brings a newer block
}

// A newer block replaces one not yet sent.
void CUsbChannel::storePendingOutput(const Payload& payload) {
    std::lock_guard<std::mutex> guard(pendingLock);
    PendingOutput = payload;
    // Signalled under the lock: a send step that already took this payload cannot see the
    // request afterwards and send the same block twice.
    writeRequest.set();
}

// Back to idle at the moment of copying, so a Write that arrives during the following report
// write stays pending and goes out with the next send step.
Payload CUsbChannel::takePendingOutput() {
    std::lock_guard<std::mutex> guard(pendingLock);
    if (!writeRequest.isSet()) return Payload{};
    writeRequest.reset();
    return PendingOutput;
}
