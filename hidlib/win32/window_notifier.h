// Announces each queued packet to the host's window with a posted message, so the reader
// never waits for the host's message loop.
#pragma once

#include "notifier.h"

class WindowNotifier : public PacketNotifier {
  public:
    void packetQueued(const NotifyTarget& target) override;
};
