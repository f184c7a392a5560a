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

// The termios constant of a line speed; B0 for one that termios lacks.
speed_t TermiosSpeed(int32_t speed) {
  static constexpr struct {
    int32_t bits;
    speed_t constant;
  } kSpeeds[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
                 {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
                 {230400, B230400}, {460800, B460800}, {921600, B921600}};
  for (const auto& entry : kSpeeds) {
    if (entry.bits == speed) return entry.constant;
  }
  return B0;
}

// Exclusive use (TIOCEXCL and an exclusive flock), non-blocking, raw 8N1
// without flow control, at the speed asked for or the one the device has.
int32_t OpenDeviceNode(const char* deviceNode, int32_t speed, int* fd) {
  *fd = open(deviceNode, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (*fd < 0) return LastErrno();
  int32_t error = 0;
  termios settings{};
  if (flock(*fd, LOCK_EX | LOCK_NB) < 0) {
    error = errno == EWOULDBLOCK ? EBUSY : LastErrno();
  } else if (ioctl(*fd, TIOCEXCL) < 0 || tcgetattr(*fd, &settings) < 0) {
    error = LastErrno();
  } else if (speed != 0 && TermiosSpeed(speed) == B0) {
    error = EINVAL;
  } else {
    const speed_t inSpeed = speed != 0 ? TermiosSpeed(speed) : cfgetispeed(&settings);
    const speed_t outSpeed = speed != 0 ? TermiosSpeed(speed) : cfgetospeed(&settings);
    cfmakeraw(&settings);
    // cfmakeraw leaves the stop bits and all flow control but IXON as the last
    // program set them; the gateway's line is 8N1 without flow control, and
    // RTS/CTS towards a gateway that never raises CTS would hold every write.
    settings.c_cflag &= ~(CSTOPB | CRTSCTS);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
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
int32_t OpenSerialPort(const SerialPortRegistry& ports, int32_t comPort, int32_t speed,
                       [[maybe_unused]] int writeMsPerByte, SerialHandle* port) {
  const auto node = ports.DeviceNode(comPort);
  if (!node) return ENOENT;
  return OpenDeviceNode(node->c_str(), speed, port);
}

int32_t WriteSerial(SerialHandle fd, const uint8_t* bytes, size_t length, int timeoutMs,
                    bool* cutShort) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  size_t written = 0;
  const auto fail = [&](int32_t code) {
    *cutShort = written > 0;
    return code;
  };
  *cutShort = false;
  while (written < length) {
    const ssize_t n = write(fd, bytes + written, length - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return fail(LastErrno());
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    if (left.count() <= 0) return fail(ETIMEDOUT);
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      return fail(LastErrno());
    }
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return fail(EIO);
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
