#include "log_keeper.h"

#include "day_files.h"
#include "failure_text.h"

#include <filesystem>
#include <system_error>

namespace pelorin::logger {

namespace {

std::string Count(uint64_t reports) { return std::to_string(reports) + " reports"; }

// What the log keeps through a failure, for the lines that say so.
std::string Kept() {
  return "reports are kept, up to " + std::to_string(CsvLog::kQueueBytes >> 20) + " MiB of them";
}

}  // namespace

LogKeeper::LogKeeper(const LoggerOptions& options, LogTiming timing, CsvLog& log,
                     LoggerSink& sink, Tell tell)
    : options_(options), timing_(timing), log_(log), sink_(sink), tell_(std::move(tell)) {}

void LogKeeper::Open() {
  UseDay(LoggerSink::DayOf(sink_.Now()));
  OpenFile();
}

void LogKeeper::UseDay(int day) {
  sink_.SetLogDay(day);
  path_ = options_.daily ? DatedPath(options_.csvPath, day) : options_.csvPath;
  if (options_.daily && options_.keepDays > 0) RemoveOldDays(day);
}

bool LogKeeper::OpenFile() {
  const int32_t code = log_.Open(path_);
  if (code == 0) {
    nextOpen_.reset();
    return true;
  }
  nextOpen_ = Clock::now() + timing_.retry;
  if (!trouble_ || trouble_->path != path_) {
    Begin("cannot open the log file " + path_ + ": " + DescribeLogFailure(code),
          "; trying again every " + Seconds(timing_.retry));
  }
  return false;
}

void LogKeeper::Begin(std::string reason, std::string_view line) {
  const LogCounts counts = Counts();
  tell_(reason + std::string(line), true);
  lastReason_ = reason;
  trouble_ = Trouble{path_, std::move(reason), counts.notWritten, counts.written, Clock::now()};
}

void LogKeeper::Reopen() {
  if (nextOpen_) {
    nextOpen_ = Clock::now();  // tried at once
    return;
  }
  sink_.Hold();
  CloseFile();
  if (OpenFile()) tell_("reopened the log file " + path_, false);
  sink_.DeliverHeld();
}

void LogKeeper::LookAfter() {
  FollowTheDay();
  if (nextOpen_ && Clock::now() >= *nextOpen_) OpenFile();
  if (nextOpen_) return;  // told when it could not be opened
  const CsvLog::Health health = log_.health();
  const LogCounts counts = CountsOf(health);
  if (!trouble_) {
    if (health.error != 0) {
      Begin("cannot write the log file " + path_ + ": " + DescribeLogFailure(health.error),
            "; " + Kept() + ", and it is tried again every " + Seconds(timing_.retry));
    } else if (health.stalled) {
      Begin("cannot write the log file " + path_ + ": the file system did not answer within " +
                Seconds(CsvLog::kStallLimit),
            "; " + Kept() + " until it does");
    }
    return;
  }
  if (counts.written > trouble_->writtenBefore && health.error == 0 && !health.stalled) {
    tell_("the log file " + path_ + " is written again; " +
              Count(counts.notWritten - trouble_->notWrittenBefore) +
              " could not be written meanwhile",
          true);
    trouble_.reset();
  } else if (Clock::now() - trouble_->told >= timing_.reminder) {
    tell_("still " + trouble_->reason + "; " +
              Count(counts.notWritten - trouble_->notWrittenBefore) + " not written so far",
          true);
    trouble_->told = Clock::now();
  }
}

LogKeeper::Clock::time_point LogKeeper::NextTry() const {
  return nextOpen_.value_or(Clock::time_point::max());
}

// A report of a new day waits, held by the sink, for its day's file.
void LogKeeper::FollowTheDay() {
  const std::optional<int> day = sink_.HeldDay();
  if (!day) return;
  CloseFile();
  UseDay(*day);
  if (OpenFile()) tell_("logging into " + path_, false);
  sink_.DeliverHeld();
}

// What the file did not take before it closed is told under its own name;
// a failure of it ends with it.
void LogKeeper::CloseFile() {
  const uint64_t before = log_.health().lost;
  log_.Close();
  const uint64_t lost = log_.health().lost - before;
  if (lost > 0) {
    const std::string reason = trouble_ && trouble_->path == path_
                                   ? trouble_->reason
                                   : "the file system did not answer within " +
                                         Seconds(CsvLog::kStallLimit);
    tell_("closed the log file " + path_ + " without its last " + Count(lost) + " (" + reason + ")",
          true);
    lastReason_ = reason;
  }
  if (trouble_ && trouble_->path == path_) trouble_.reset();
}

void LogKeeper::Close() {
  do {
    FollowTheDay();
  } while (sink_.HeldDay());
  CloseFile();
}

LogCounts LogKeeper::Counts() const { return CountsOf(log_.health()); }

LogCounts LogKeeper::CountsOf(const CsvLog::Health& health) const {
  return {sink_.reports(), health.written, health.lost + sink_.refused()};
}

std::string LogKeeper::Outcome() const {
  const LogCounts counts = Counts();
  // Once closed, every report decoded is either in a file or not written.
  const uint64_t notWritten = counts.decoded > counts.written ? counts.decoded - counts.written : 0;
  std::string text = std::to_string(counts.written) + " written, " + std::to_string(notWritten) +
                     " not written";
  if (notWritten > 0 && !lastReason_.empty()) text += " (" + lastReason_ + ")";
  return text;
}

void LogKeeper::RemoveOldDays(int today) {
  for (const std::string& old : DayFilesBefore(options_.csvPath, DaysBefore(today, options_.keepDays))) {
    std::error_code error;
    std::filesystem::remove(std::filesystem::path(std::u8string(old.begin(), old.end())), error);
    if (error) {
      tell_("cannot remove the old day file " + old + ": " + DescribeFailure(error.value()), true);
    } else {
      tell_("removed the old day file " + old + " (more than " +
                std::to_string(options_.keepDays) + " days old)",
            false);
    }
  }
}

}  // namespace pelorin::logger
