#include "day_files.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace pelorin::logger {

namespace {

struct NameParts {
  std::string folder;  // with its separator; empty for the working folder
  std::string stem;
  std::string extension;
};

NameParts Split(const std::string& path) {
  const size_t name = path.find_last_of("/\\") + 1;  // 0 without a folder
  const size_t dot = path.rfind('.');
  const size_t at = dot != std::string::npos && dot > name ? dot : path.size();
  return {path.substr(0, name), path.substr(name, at - name), path.substr(at)};
}

std::filesystem::path Utf8Path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// The day of a name "STEM-yyyy-mm-ddEXTENSION", or 0 for any other name.
int DayOfName(const std::string& name, const NameParts& parts) {
  constexpr size_t kDate = 11;  // "-yyyy-mm-dd"
  if (name.size() != parts.stem.size() + kDate + parts.extension.size() ||
      name.compare(0, parts.stem.size(), parts.stem) != 0 ||
      name.compare(name.size() - parts.extension.size(), std::string::npos, parts.extension) != 0) {
    return 0;
  }
  const std::string date = name.substr(parts.stem.size(), kDate);
  constexpr std::string_view kShape = "-dddd-dd-dd";
  for (size_t i = 0; i < kDate; ++i) {
    const bool digit = date[i] >= '0' && date[i] <= '9';
    if (kShape[i] == 'd' ? !digit : date[i] != kShape[i]) return 0;
  }
  const int year = std::stoi(date.substr(1, 4));
  const unsigned month = static_cast<unsigned>(std::stoi(date.substr(6, 2)));
  const unsigned day = static_cast<unsigned>(std::stoi(date.substr(9, 2)));
  if (!std::chrono::year_month_day{std::chrono::year(year), std::chrono::month(month), std::chrono::day(day)}.ok()) {
    return 0;
  }
  return year * 10000 + static_cast<int>(month * 100 + day);
}

}  // namespace

std::string DatedPath(const std::string& path, int day) {
  char date[24];
  std::snprintf(date, sizeof date, "-%04d-%02d-%02d", day / 10000, day / 100 % 100, day % 100);
  const NameParts parts = Split(path);
  return parts.folder + parts.stem + date + parts.extension;
}

int DaysBefore(int day, int days) {
  using namespace std::chrono;
  const sys_days from{year(day / 10000) / month(static_cast<unsigned>(day / 100 % 100)) /
                      std::chrono::day(static_cast<unsigned>(day % 100))};
  const year_month_day before{from - std::chrono::days(days)};
  return static_cast<int>(before.year()) * 10000 + static_cast<int>(unsigned(before.month())) * 100 +
         static_cast<int>(unsigned(before.day()));
}

std::vector<std::string> DayFilesBefore(const std::string& path, int day) {
  const NameParts parts = Split(path);
  std::vector<std::string> found;
  std::error_code error;
  const std::filesystem::path folder = Utf8Path(parts.folder.empty() ? "." : parts.folder);
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::u8string name8 = entry->path().filename().u8string();
    const std::string name(name8.begin(), name8.end());
    const int dated = DayOfName(name, parts);
    if (dated != 0 && dated < day && entry->is_regular_file(error)) found.push_back(parts.folder + name);
  }
  return found;
}

}  // namespace pelorin::logger
