#include "terminal.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace pelorin::logger {

// A "dumb" terminal moves no cursor; nothing is changed, so nothing is put back.
InteractiveTerminal::InteractiveTerminal(std::FILE* stream) {
  const char* type = std::getenv("TERM");
  ready_ = stream != nullptr && isatty(fileno(stream)) != 0 && type != nullptr &&
           std::strcmp(type, "dumb") != 0;
}

InteractiveTerminal::~InteractiveTerminal() = default;

void WriteText(std::FILE* stream, std::string_view utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

}  // namespace pelorin::logger
