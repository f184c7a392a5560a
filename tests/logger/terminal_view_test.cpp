#include "terminal_view.h"

#include <gtest/gtest.h>

#include <string>

namespace pelorin::logger {
namespace {

// The view shows each row as the window does, redraws itself in place only
// when something changed, and lets event lines scroll above it.
TEST(TerminalView, RowsAreDrawnInPlaceWithEventsAbove) {
  std::string written;
  TerminalView view({"温度", "B", "C", "D", ""}, [&](std::string_view text) { written.append(text); });
  RowValues::Snapshot rows{};
  rows.digital = {RowValues::kNone, 1, 0, RowValues::kNone, RowValues::kNone};
  rows.raw = {0x400000, RowValues::kNoRaw, RowValues::kNoRaw, RowValues::kNoRaw, RowValues::kNoRaw};
  rows.channelType = {2, 0, 0, 0, 0};
  const std::string drawn =
      "node : [ 26 ]  受信 : 2026/12/08 23:59:58\n"
      "    5.0000 V  温度\n"
      "           \x1b[1;31m■\x1b[0m  B\n"
      "           □  C\n"
      "           \x1b[2m■\x1b[0m  D\n"
      "           \x1b[2m■\x1b[0m  \n";

  view.Show(rows, "node : [ 26 ]", "受信 : 2026/12/08 23:59:58");
  EXPECT_EQ(written, drawn);
  written.clear();
  view.Show(rows, "node : [ 26 ]", "受信 : 2026/12/08 23:59:58");
  EXPECT_EQ(written, "");
  view.Event("gateway lost");
  EXPECT_EQ(written, "\x1b[6F\x1b[Jgateway lost\n" + drawn);
}

// The value column is right-aligned in terminal cells: ℃ takes one, as the
// squares do, and each kanji of a broken wire's text two.
TEST(TerminalView, ValuesAlignByTheCellsTheyTake) {
  std::string written;
  TerminalView view({"A", "B", "C", "D", "E"}, [&](std::string_view text) { written.append(text); });
  RowValues::Snapshot rows{};
  rows.digital = {RowValues::kNone, RowValues::kNone, 0, RowValues::kNone, RowValues::kNone};
  rows.raw = {0x100000, 0x7FFFFF, RowValues::kNoRaw, 0x400000, RowValues::kNoRaw};
  rows.channelType = {6, 6, 0, 2, 0};
  view.Show(rows, "s", "t");
  EXPECT_EQ(written,
            "s  t\n"
            "    409.60 ℃  A\n"
            "        断線  B\n"
            "           □  C\n"
            "    5.0000 V  D\n"
            "           \x1b[2m■\x1b[0m  E\n");
}

}  // namespace
}  // namespace pelorin::logger
