// When a row's text is told: a table of looks at one row, in time order.

#include "row_announcer.h"

#include <gtest/gtest.h>

namespace pelorin::monitor {
namespace {

TEST(RowAnnouncer, TellsANewTextOnceTheCalmIntervalHasPassed) {
  using std::chrono::milliseconds;
  const struct {
    int atMs;
    const char* text;
    bool told;
  } looks[] = {
      {0, "", false},           // nothing shown yet
      {10, " 1.0000 V", true},  // the first words
      {400, " 2.0000 V", false},
      {999, " 3.0000 V", false},
      {1010, " 3.0000 V", true},  // the last of the burst, at the next look
      {1500, " 3.0000 V", false},
      {5000, " 3.0000 V", false},  // unchanged is never told again
      {5001, "オフ", true},
  };
  RowAnnouncer announcer;
  const RowAnnouncer::Clock::time_point start;
  for (const auto& look : looks) {
    EXPECT_EQ(announcer.Due(2, look.text, start + milliseconds(look.atMs)), look.told) << look.atMs;
  }
  announcer.Forget();
  EXPECT_TRUE(announcer.Due(2, "オフ", start + milliseconds(5002)));
}

}  // namespace
}  // namespace pelorin::monitor
