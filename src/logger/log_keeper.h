#pragma once

#include "csv_log.h"
#include "logger_options.h"
#include "logger_sink.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin::logger {

// What became of the reports: every one decoded is written or not written
// once the log is closed.
struct LogCounts {
  uint64_t decoded = 0;
  uint64_t written = 0;
  uint64_t notWritten = 0;  // known so far
};

// The waits of the log's upkeep; tests shorten them.
struct LogTiming {
  std::chrono::milliseconds retry{10000};        // a file that failed is tried again
  std::chrono::milliseconds reminder{600000};    // a failure that lasts is told again
};

// Looks after the logger's CSV log, on the run's thread alone: opens the
// file (of the day, with daily files, removing those past keepDays), follows
// the day, opens the file again on request, and tells each failure once, its
// recovery once a write has succeeded, and a reminder with the running count
// while it lasts. The log keeps the reports through a failure, up to its
// queue's bound; a file that cannot be opened refuses them.
class LogKeeper {
 public:
  using Tell = std::function<void(std::string_view line, bool failure)>;

  LogKeeper(const LoggerOptions& options, LogTiming timing, CsvLog& log, LoggerSink& sink,
            Tell tell);

  void Open();
  // Closes the file and opens it again at its path; nothing is lost meanwhile.
  void Reopen();
  // A turn of the run: the day, a failed file's next try, what the log says.
  void LookAfter();
  // When LookAfter has something to do next, at the latest.
  std::chrono::steady_clock::time_point NextTry() const;
  // Every report held for its day is written, or counted as not written.
  void Close();

  LogCounts Counts() const;
  // "3960 written, 0 not written", with the last failure's reason when
  // reports were not written.
  std::string Outcome() const;

 private:
  using Clock = std::chrono::steady_clock;

  // A failure of the log while it lasts.
  struct Trouble {
    std::string path;
    std::string reason;
    uint64_t notWrittenBefore = 0;
    uint64_t writtenBefore = 0;
    Clock::time_point told;
  };

  LogCounts CountsOf(const CsvLog::Health& health) const;
  void UseDay(int day);
  bool OpenFile();
  void FollowTheDay();
  void CloseFile();
  void Begin(std::string reason, std::string_view line);
  void RemoveOldDays(int today);

  const LoggerOptions& options_;
  const LogTiming timing_;
  CsvLog& log_;
  LoggerSink& sink_;
  const Tell tell_;

  std::string path_;
  std::optional<Clock::time_point> nextOpen_;  // the file could not be opened
  std::optional<Trouble> trouble_;
  std::string lastReason_;  // of the last failure, for the stop line
};

}  // namespace pelorin::logger
