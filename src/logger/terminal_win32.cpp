#include "terminal.h"

#include <io.h>
#include <windows.h>

namespace pelorin::logger {

// A console takes cursor movements once asked to (Windows 10 and later), and
// UTF-8 once its output code page is 65001.
bool IsInteractiveTerminal(std::FILE* stream) {
  if (_isatty(_fileno(stream)) == 0) return false;
  const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (!GetConsoleMode(console, &mode) ||
      !SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    return false;
  }
  SetConsoleOutputCP(CP_UTF8);
  return true;
}

}  // namespace pelorin::logger
