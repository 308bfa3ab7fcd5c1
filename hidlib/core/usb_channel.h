// The library's one object, from Init to Done: the device link, the packet queue filled by the
// reader thread, and the output side (the commands, the routing of their payloads, and the
// one-slot PendingOutput through which Write blocks travel to the board).
#pragma once

#include "hid_backend.h"
#include "manual_reset_event.h"
#include "notifier.h"
#include "packet_queue.h"
#include "report.h"
#include "timing.h"
#include "usbhidioc.h"
#include "variant.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class CUsbChannel {
  public:
    // The whole object: starts its worker thread(s) at once. The backend and the notifier must
    // outlive the channel. Tests shorten the time limit; the library never does.
    CUsbChannel(HidBackend& backend, const BoardVariant& variant, PacketNotifier& notifier,
                NotifyTarget target, unsigned ioTimeoutMs = kIoTimeoutMs);
    // Init's way to make it: null when it cannot be made whole, for want of memory or of a
    // worker thread, with nothing it made left behind. A channel without its reader would be
    // deaf, and one without HBV5's writer would take Write blocks that nothing sends: the host
    // is told rather than given an object that only looks alive.
    static std::unique_ptr<CUsbChannel> create(HidBackend& backend, const BoardVariant& variant,
                                               PacketNotifier& notifier, NotifyTarget target,
                                               unsigned ioTimeoutMs = kIoTimeoutMs) noexcept;
    // The output side alone: no worker threads and no notifier. Whoever builds it runs the
    // send step itself; the tests of the output side do.
    CUsbChannel(HidBackend& backend, const BoardVariant& variant,
                unsigned ioTimeoutMs = kIoTimeoutMs);
    // Stops the workers, cutting short a transfer in flight, and joins them; the members then
    // release the packets and close the device.
    ~CUsbChannel();
    CUsbChannel(const CUsbChannel&) = delete;
    CUsbChannel& operator=(const CUsbChannel&) = delete;

    // Starts whichever of the variant's workers does not run yet; a second call starts none.
    void StartWorkers();
    // False when a worker could not be started.
    bool workersRunning() const;

    // Copies the oldest packet's meaningful bytes (at most 64) into buffer and returns their
    // number; 0 with buffer untouched when no packet is queued. Never waits for the board.
    std::int32_t GetPacket(std::uint8_t* buffer);

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
    void ReaderThread();
    void WriterThread();
    void makeLocksReady();
    void readerStep();
    bool readIntoQueue();
    std::thread startThread(void (CUsbChannel::*work)());
    void queuePacket(InputPacket& packet);
    void storePendingOutput(const Payload& payload);
    Payload takePendingOutput();

    CUsbhidioc device;
    CPacketQueue packets;
    const BoardVariant& variant;
    // Held around every report write, so at most one output report is in flight. The only lock
    // ever held while another is taken: WriteReport takes deviceLock under it.
    std::mutex sendLock;
    std::mutex pendingLock;  // guards PendingOutput
    EventGroup workerEvents;
    // Signalled while PendingOutput holds a payload not yet taken for sending.
    ManualResetEvent writeRequest{workerEvents};
    std::thread writerThread;  // runs only in a variant with a writer thread (HBV5)
    Payload PendingOutput;     // the latest CmdWrite payload
    // Signalled once, by the destructor; the workers end at their next look at it.
    ManualResetEvent stopEvent{workerEvents};
    std::thread readerThread;
    PacketNotifier* const notifier;  // null for the output side alone
    const NotifyTarget target;
};
