#pragma once

#include <string>
#include <vector>

namespace pelorin::logger {

// A daily file's path: the date before the file name's extension
// ("log.csv" and 20261208 give "log-2026-12-08.csv").
std::string DatedPath(const std::string& path, int day);

// The day (yyyymmdd) that many days before another.
int DaysBefore(int day, int days);

// The daily files of the log at path (the names DatedPath gives it, and no
// other) dated before the day, in their folder as it is now. Paths are UTF-8.
std::vector<std::string> DayFilesBefore(const std::string& path, int day);

}  // namespace pelorin::logger
