#include "program_identity.h"

#include <climits>
#include <unistd.h>

namespace pelorin::monitor {

std::string ProgramFilePath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  return std::string(path, static_cast<size_t>(length));
}

// Program files here carry no version information: the version is the one
// the program was built with.
std::string ProgramVersionText() {
  return FormatVersionText(PELORIN_VERSION_MAJOR, PELORIN_VERSION_MINOR, PELORIN_VERSION_PATCH,
                           PELORIN_VERSION_TWEAK);
}

}  // namespace pelorin::monitor
