// How the reader announces a queued packet to the host: on Windows a message posted to the
// host's window. The message carries no packet data; the host fetches packets with GetPacket.
#pragma once

#include <cstdint>

// The start of the private message range (WM_USER). Lower numbers are the system's own
// messages, which the library must never send to the host's window.
constexpr std::uint32_t kFirstPrivateMessage = 0x400;

// Where arrivals are announced: the host's window (0 for none) and its message number.
struct NotifyTarget {
    std::uintptr_t window = 0;
    std::uint32_t message = 0;

    bool wanted() const { return window != 0 && message >= kFirstPrivateMessage; }
};

class PacketNotifier {
  public:
    virtual ~PacketNotifier() = default;
    // Runs on the reader thread once per queued packet, after the packet is in the queue, and
    // only for a wanted target. Must not wait for the host.
    virtual void packetQueued(const NotifyTarget& target) = 0;
};
