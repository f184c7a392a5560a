#pragma once

#include <ctime>

namespace pelorin::test {

// The time_t of a local date and time, as a report's time stamp holds it.
inline std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

}  // namespace pelorin::test
