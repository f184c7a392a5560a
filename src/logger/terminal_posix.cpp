#include "terminal.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace pelorin::logger {

// A "dumb" terminal moves no cursor.
bool IsInteractiveTerminal(std::FILE* stream) {
  const char* type = std::getenv("TERM");
  return isatty(fileno(stream)) != 0 && type != nullptr && std::strcmp(type, "dumb") != 0;
}

}  // namespace pelorin::logger
