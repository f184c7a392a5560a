#include "terminal.h"

#include "wide_text.h"

#include <io.h>
#include <windows.h>

#include <string>

namespace pelorin::logger {

namespace {

// The stream's console, or nothing when it is a file, a pipe or no stream.
HANDLE ConsoleOf(std::FILE* stream) {
  if (stream == nullptr || _isatty(_fileno(stream)) == 0) return nullptr;
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

// A console takes cursor movements once asked to (Windows 10 and later). Its
// code page is never changed: the text reaches it as UTF-16 (WriteText).
InteractiveTerminal::InteractiveTerminal(std::FILE* stream) {
  const HANDLE console = ConsoleOf(stream);
  DWORD mode = 0;
  if (console == nullptr || !GetConsoleMode(console, &mode) ||
      !SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    return;
  }
  console_ = reinterpret_cast<std::uintptr_t>(console);
  foundMode_ = mode;
  ready_ = true;
}

InteractiveTerminal::~InteractiveTerminal() {
  if (ready_) SetConsoleMode(reinterpret_cast<HANDLE>(console_), foundMode_);
}

// Bytes the stream still buffers go first, so that the order holds.
void WriteText(std::FILE* stream, std::string_view utf8) {
  const HANDLE console = ConsoleOf(stream);
  if (console == nullptr) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
    return;
  }
  std::fflush(stream);
  const std::wstring text = pelorin::Widen(utf8);
  for (size_t done = 0; done < text.size();) {
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + done, static_cast<DWORD>(text.size() - done),
                       &written, nullptr) ||
        written == 0) {
      return;
    }
    done += written;
  }
}

}  // namespace pelorin::logger
