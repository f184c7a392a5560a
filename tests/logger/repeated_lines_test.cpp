#include "repeated_lines.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace pelorin::logger {
namespace {

using namespace std::chrono_literals;

std::string Lost(int reports, int pause) {
  return "gateway lost: the gateway closed the connection; " + std::to_string(reports) +
         " reports in this session; reconnecting in " + std::to_string(pause) + " s";
}
const std::string kBack = "reconnected to the gateway at 127.0.0.1:10003; start command answered";
const std::string kCannotOpen = "cannot open the log file /srv/log.csv: error 13: Permission denied";
std::string NotWritten(int reports) {
  return "cannot write the log file /srv/log.csv: error 28: No space left on device; " +
         std::to_string(reports) + " reports not written";
}

// A gateway that drops every connection, a log that fails meanwhile, and a
// repetition that goes on for more than a period; each line comes at its
// second, or (without text) the run's look for counts that are due.
TEST(RepeatedLines, AlikeLinesAreHeldBackAndToldWithTheirCount) {
  const struct {
    int at;
    std::string text;
    bool failure;
    std::vector<std::string> told;
  } steps[] = {
      {0, Lost(1, 1), false, {Lost(1, 1)}},
      {5, kBack, false, {kBack}},
      {10, Lost(3, 2), false, {}},
      {15, kBack, false, {}},
      {20, Lost(2, 4), false, {}},
      // Another kind of line: what was held back comes first.
      {25, kCannotOpen, true,
       {Lost(2, 4) + " (2 times like this in the last 25 s)", kBack,
        kCannotOpen}},
      {30, kCannotOpen, true, {}},
      // Failure lines are alike only when the same: no count of theirs is lost.
      {31, NotWritten(417), true, {kCannotOpen, NotWritten(417)}},
      {32, NotWritten(12), true, {NotWritten(12)}},
      {100, "", false, {}},
      // A period after a kind was last told, its next line is told.
      {700, Lost(5, 60), false, {Lost(5, 60)}},
      {710, Lost(1, 60), false, {}},
      {1299, "", false, {}},
      {1300, "", false, {Lost(1, 60)}},
      {1360, Lost(1, 60), false, {}},
      {1420, Lost(1, 60), false, {}},
      {1890, Lost(1, 60), false, {}},
      {1960, Lost(7, 60), false, {Lost(7, 60) + " (4 times like this in the last 11 min)"}},
  };
  const auto start = std::chrono::steady_clock::time_point{} + 1h;
  auto now = start;
  RepeatedLines repeated([&now] { return now; });
  for (const auto& step : steps) {
    SCOPED_TRACE(step.at);
    now = start + std::chrono::seconds(step.at);
    const std::vector<RepeatedLines::Line> lines =
        step.text.empty() ? repeated.TakeDue() : repeated.Take(step.text, step.failure);
    std::vector<std::string> told;
    for (const RepeatedLines::Line& line : lines) {
      told.push_back(line.text);
      EXPECT_EQ(line.failure, line.text.rfind("cannot", 0) == 0) << line.text;
    }
    EXPECT_EQ(told, step.told);
  }
}

}  // namespace
}  // namespace pelorin::logger
