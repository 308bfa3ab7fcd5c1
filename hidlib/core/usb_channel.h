// The library's one object. This is its output side: the commands, the routing of their
// payloads, and the one-slot PendingOutput through which Write blocks travel to the board.
#pragma once

#include "hid_backend.h"
#include "manual_reset_event.h"
#include "report.h"
#include "timing.h"
#include "usbhidioc.h"
#include "variant.h"

#include <cstdint>
#include <mutex>

class CUsbChannel {
  public:
    // The backend must outlive the channel.
    CUsbChannel(HidBackend& backend, const BoardVariant& variant,
                unsigned ioTimeoutMs = kIoTimeoutMs);
    CUsbChannel(const CUsbChannel&) = delete;
    CUsbChannel& operator=(const CUsbChannel&) = delete;

    // Stores the variant's block size of bytes for the worker to send; never waits for the board.
    bool Write(const std::uint8_t* block);
    // These go out at once in the caller's thread and report whether the board took the report.
    bool QueryVersion();
    bool WriteEEPROM(const std::uint8_t* data, std::uint8_t address, std::uint8_t count);
    bool ReadEEPROM(std::uint8_t address, std::uint8_t count);
    bool EnterBootloader();

    bool Submit(const Payload& payload);
    // The worker's step: takes the pending payload, if any, and writes it; a failure drops it.
    void sendPendingOutput();
    bool writeRequested() const { return writeRequest.isSet(); }

    CUsbhidioc& deviceLink() { return device; }

  private:
    void storePendingOutput(const Payload& payload);
    Payload takePendingOutput();

    CUsbhidioc device;
    const BoardVariant& variant;
    // Held around every report write, so at most one output report is in flight. The only lock
    // ever held while another is taken: WriteReport takes deviceLock under it.
    std::mutex sendLock;
    std::mutex pendingLock;  // guards PendingOutput
    EventGroup workerEvents;
    // Signalled while PendingOutput holds a payload not yet taken for sending.
    ManualResetEvent writeRequest{workerEvents};
    Payload PendingOutput;  // the latest CmdWrite payload
};
