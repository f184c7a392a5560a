#include "fd_channel.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pelorin::sim {

FdChannel::FdChannel(int fd, bool isSocket) : fd_(fd), isSocket_(isSocket) {
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

FdChannel::~FdChannel() { close(fd_); }

SimChannel::Ready FdChannel::Wait(bool wantWrite, int timeoutMs) {
  pollfd p{fd_, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
  Ready ready;
  if (poll(&p, 1, timeoutMs) < 0) {
    ready.gone = errno != EINTR;
    return ready;
  }
  ready.readable = (p.revents & POLLIN) != 0;
  ready.writable = (p.revents & POLLOUT) != 0;
  ready.gone = !ready.readable && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  return ready;
}

long FdChannel::Read(uint8_t* buffer, size_t size) {
  const ssize_t n = read(fd_, buffer, size);
  if (n > 0) return n;
  if (n == 0) return isSocket_ ? -1 : 0;
  return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

long FdChannel::Write(const uint8_t* bytes, size_t size) {
  const ssize_t n = write(fd_, bytes, size);
  if (n >= 0) return n;
  return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

bool FdChannel::ResetOnClose() {
  if (!isSocket_) return false;
  const linger reset{1, 0};
  return setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset) == 0;
}

}  // namespace pelorin::sim
