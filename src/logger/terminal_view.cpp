#include "terminal_view.h"

#include "channel_types.h"
#include "terminal_cells.h"

#include <algorithm>

namespace pelorin::logger {

namespace {

constexpr std::string_view kOn = "\x1b[1;31m■\x1b[0m";
constexpr std::string_view kOff = "□";
constexpr std::string_view kNothing = "\x1b[2m■\x1b[0m";
// The width of the value column, in terminal cells.
constexpr size_t kValueCells = 12;

void AddRow(std::string_view shown, size_t cells, std::string_view name, std::string* view) {
  view->append(kValueCells - std::min(cells, kValueCells), ' ');
  view->append(shown);
  view->append("  ");
  view->append(name);
  view->append("\n");
}

}  // namespace

std::string TerminalView::Erase() const {
  if (lines_ == 0) return {};
  // To the start of the view's first line, then everything below away.
  return "\x1b[" + std::to_string(lines_) + "F\x1b[J";
}

void TerminalView::Event(std::string_view line) {
  std::string out = Erase();
  out.append(line);
  out.append("\n");
  out.append(view_);
  write_(out);
}

void TerminalView::Show(const RowValues::Snapshot& rows, std::string_view status,
                        std::string_view time) {
  std::string view;
  view.append(status);
  view.append("  ");
  view.append(time);
  view.append("\n");
  for (size_t row = 0; row < rowNames_.size(); ++row) {
    if (rows.raw[row] != RowValues::kNoRaw) {
      const std::string value = AnalogRowText(rows.channelType[row], rows.raw[row]);
      AddRow(value, TerminalCells(value), rowNames_[row], &view);
    } else {
      const int32_t state = rows.digital[row];
      AddRow(state == 1 ? kOn : state == 0 ? kOff : kNothing, 1, rowNames_[row], &view);
    }
  }
  if (view == view_) return;
  write_(Erase() + view);
  view_ = std::move(view);
  lines_ = 1 + rowNames_.size();
}

}  // namespace pelorin::logger
