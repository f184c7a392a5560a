#pragma once

#include <cstddef>
#include <cstdint>

namespace pelorin::sim {

// The simulator's end of one connection to the monitor: a connected socket or
// a pseudo terminal's master, never blocking.
class SimChannel {
 public:
  virtual ~SimChannel() = default;

  struct Ready {
    bool readable = false;
    bool writable = false;
    bool gone = false;  // the peer hung up, or the wait itself failed
  };
  // Waits up to timeoutMs for bytes to read, and for room to write when asked.
  virtual Ready Wait(bool wantWrite, int timeoutMs) = 0;
  // Bytes moved; 0 when none can move now; -1 when the peer is gone.
  virtual long Read(uint8_t* buffer, size_t size) = 0;
  virtual long Write(const uint8_t* bytes, size_t size) = 0;
  // Makes the close that follows a connection reset, like a gateway's power
  // cut; false where the channel has no such thing.
  virtual bool ResetOnClose() { return false; }
};

}  // namespace pelorin::sim
