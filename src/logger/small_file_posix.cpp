#include "small_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace pelorin::logger {

int32_t ReadSmallFile(const std::string& path, size_t limit, std::string* contents) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int32_t error = 0;
  char buffer[4096];
  while (contents->size() <= limit) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    contents->append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return error;
}

}  // namespace pelorin::logger
