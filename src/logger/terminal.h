#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace pelorin::logger {

// A terminal that shows the rows, for as long as this lives: the stream is
// one that takes UTF-8 text and cursor movements. On Windows the console is
// asked for cursor movements, and its mode is put back when this ends, so
// that the window the program ran in is left as it was found. A null stream
// is no terminal.
class InteractiveTerminal {
 public:
  explicit InteractiveTerminal(std::FILE* stream);
  ~InteractiveTerminal();
  InteractiveTerminal(const InteractiveTerminal&) = delete;
  InteractiveTerminal& operator=(const InteractiveTerminal&) = delete;

  bool ready() const { return ready_; }

 private:
  bool ready_ = false;
  // The console and the mode it was found in: Windows only.
  [[maybe_unused]] std::uintptr_t console_ = 0;
  [[maybe_unused]] std::uint32_t foundMode_ = 0;
};

// Writes UTF-8 text and flushes it. A Windows console takes it as UTF-16,
// so that it shows unchanged whatever the console's code page; files, pipes
// and terminals elsewhere get the UTF-8 bytes.
void WriteText(std::FILE* stream, std::string_view utf8);

}  // namespace pelorin::logger
