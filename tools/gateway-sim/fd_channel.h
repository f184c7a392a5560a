#pragma once

#include "sim_channel.h"

namespace pelorin::sim {

// A POSIX descriptor as a channel: a socket, whose read of 0 bytes means the
// peer is gone, or a pty master, where it means nothing yet. Owns the
// descriptor.
class FdChannel : public SimChannel {
 public:
  FdChannel(int fd, bool isSocket);
  ~FdChannel() override;
  FdChannel(const FdChannel&) = delete;
  FdChannel& operator=(const FdChannel&) = delete;

  Ready Wait(bool wantWrite, int timeoutMs) override;
  long Read(uint8_t* buffer, size_t size) override;
  long Write(const uint8_t* bytes, size_t size) override;
  bool ResetOnClose() override;

 private:
  int fd_;
  bool isSocket_;
};

}  // namespace pelorin::sim
