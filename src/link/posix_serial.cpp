#include "serial_io.h"

#include "link_error.h"
#include "posix_descriptor.h"
#include "serial_ports.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace pelorin {

namespace {

// Exclusive use (TIOCEXCL and an exclusive flock), non-blocking, raw mode.
int32_t OpenDeviceNode(const char* deviceNode, int* fd) {
  *fd = open(deviceNode, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (*fd < 0) return LastErrno();
  int32_t error = 0;
  termios settings{};
  if (flock(*fd, LOCK_EX | LOCK_NB) < 0) {
    error = errno == EWOULDBLOCK ? EBUSY : LastErrno();
  } else if (ioctl(*fd, TIOCEXCL) < 0 || tcgetattr(*fd, &settings) < 0) {
    error = LastErrno();
  } else {
    const speed_t inSpeed = cfgetispeed(&settings);
    const speed_t outSpeed = cfgetospeed(&settings);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, inSpeed);
    cfsetospeed(&settings, outSpeed);
    if (tcsetattr(*fd, TCSANOW, &settings) < 0) error = LastErrno();
  }
  if (error != 0) CloseDescriptor(*fd);
  return error;
}

}  // namespace

// Writes wait for the line themselves (WriteSerial), so the per-byte time-out
// is taken by the caller's timeoutMs.
int32_t OpenSerialPort(const SerialPortRegistry& ports, int32_t comPort,
                       [[maybe_unused]] int writeMsPerByte, SerialHandle* port) {
  const auto node = ports.DeviceNode(comPort);
  if (!node) return ENOENT;
  return OpenDeviceNode(node->c_str(), port);
}

int32_t WriteSerial(SerialHandle fd, const uint8_t* bytes, size_t length, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  size_t written = 0;
  while (written < length) {
    const ssize_t n = write(fd, bytes + written, length - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return LastErrno();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    if (left.count() <= 0) return ETIMEDOUT;
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      return LastErrno();
    }
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return EIO;
  }
  return 0;
}

int32_t SerialBytesWaiting(SerialHandle fd, int* count) {
  return DescriptorBytesWaiting(fd, count);
}

long ReadSerialWaiting(SerialHandle fd, uint8_t* buffer, size_t capacity) {
  const ssize_t n = read(fd, buffer, capacity);
  if (n >= 0) return n;
  if (errno == EAGAIN || errno == EINTR) return -LinkError::NoData;
  return -LastErrno();
}

InputReadiness WaitForSerialInput(SerialHandle fd, const WakeEvent& wake, int timeoutMs) {
  return WaitForDescriptor(fd, wake, timeoutMs);
}

void CloseSerialDevice(SerialHandle& fd) {
  if (fd < 0) return;
  ioctl(fd, TIOCNXCL);
  CloseDescriptor(fd);
}

}  // namespace pelorin
