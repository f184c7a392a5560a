#include "serial_device_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace pelorin::logger {

std::string SerialDeviceProblem(const std::string& device) {
  struct stat status {};
  if (stat(device.c_str(), &status) != 0) return {};
  const std::string refused = "--serial: " + device + " is no serial device";
  if (S_ISREG(status.st_mode)) return refused + " but a regular file";
  if (S_ISDIR(status.st_mode)) return refused + " but a folder";
  if (!S_ISCHR(status.st_mode)) return refused;
  // Only a terminal device answers tcgetattr. One that cannot be opened now
  // (busy, or not ours) is left to the link, which tells why as it tries.
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  termios settings{};
  const bool terminal = tcgetattr(fd, &settings) == 0;
  close(fd);
  return terminal ? std::string() : refused + " but a device of another kind";
}

}  // namespace pelorin::logger
