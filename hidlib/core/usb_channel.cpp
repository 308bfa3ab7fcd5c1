#include "usb_channel.h"

#include "commands.h"

CUsbChannel::CUsbChannel(HidBackend& backend, const BoardVariant& variant, unsigned ioTimeoutMs)
    : device(backend, ioTimeoutMs), variant(variant) {
    device.SetDeviceIds(variant.vendorId, variant.productId);
}

bool CUsbChannel::Write(const std::uint8_t* block) {
    return Submit(makeWritePayload(block, variant.writeBlockSize));
}

bool CUsbChannel::QueryVersion() { return Submit(makeQueryVersionPayload()); }

bool CUsbChannel::WriteEEPROM(const std::uint8_t* data, std::uint8_t address, std::uint8_t count) {
    if (count == 0) return true;  // nothing to write is written
    if (count > kMaxEepromWriteCount) return false;
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
