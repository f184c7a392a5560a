#pragma once

#include "node_report.h"

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace pelorin::logger {

// The logger's view on a terminal: the status line and the receive time, then
// the five rows as the window shows them (a red square for an input that is
// on, a white one for off, a dim one before any report; or the converted value
// with its unit), redrawn in place. Event lines scroll above it.
class TerminalView {
 public:
  using Write = std::function<void(std::string_view)>;

  TerminalView(const std::array<std::string, 5>& rowNames, Write write)
      : rowNames_(rowNames), write_(std::move(write)) {}

  void Event(std::string_view line);
  void Show(const RowValues::Snapshot& rows, std::string_view status, std::string_view time);

 private:
  // Takes the view drawn last off the screen.
  std::string Erase() const;

  const std::array<std::string, 5> rowNames_;
  const Write write_;
  std::string view_;   // as drawn last
  size_t lines_ = 0;   // its lines
};

}  // namespace pelorin::logger
