#include "descriptor_wait.h"
#include "posix_descriptor.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pelorin {

int32_t WakeEvent::Create() {
  if (native_ != kNone) return 0;
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return LastErrno();
  native_ = fd;
  return 0;
}

WakeEvent::~WakeEvent() {
  if (native_ >= 0) close(static_cast<int>(native_));
}

void WakeEvent::Signal() const {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(static_cast<int>(native_), &one, sizeof one);
}

void WakeEvent::Drain() const {
  uint64_t count = 0;
  [[maybe_unused]] ssize_t n = read(static_cast<int>(native_), &count, sizeof count);
}

InputReadiness WaitForDescriptor(int fd, const WakeEvent& wake, int timeoutMs) {
  pollfd fds[2] = {{static_cast<int>(wake.native()), POLLIN, 0}, {fd, POLLIN, 0}};
  const nfds_t count = fd >= 0 ? 2 : 1;
  const int n = poll(fds, count, timeoutMs);
  if (n < 0) return errno == EINTR ? InputReadiness::Woken : InputReadiness::Failed;
  if (n == 0) return InputReadiness::TimedOut;
  if (fds[0].revents != 0) {
    wake.Drain();
    return InputReadiness::Woken;
  }
  if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) return InputReadiness::HangUp;
  return InputReadiness::Readable;
}

InputReadiness WaitForWake(const WakeEvent& wake, int timeoutMs) {
  return WaitForDescriptor(-1, wake, timeoutMs);
}

int32_t DescriptorBytesWaiting(int fd, int* count) {
  *count = 0;
  if (ioctl(fd, FIONREAD, count) < 0) {
    *count = 0;
    return LastErrno();
  }
  return 0;
}

void CloseDescriptor(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

int32_t LastErrno() { return errno != 0 ? errno : EIO; }

}  // namespace pelorin
