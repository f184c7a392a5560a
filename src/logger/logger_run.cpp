#include "logger_run.h"

#include "link_error.h"
#include "report_session.h"
#include "system_message.h"

#include <algorithm>
#include <cstdio>

namespace pelorin::logger {

namespace {

std::string Seconds(std::chrono::milliseconds pause) {
  const auto count = pause.count();
  return count % 1000 == 0 ? std::to_string(count / 1000) + " s" : std::to_string(count) + " ms";
}

}  // namespace

std::string DescribeFailure(int32_t code) {
  static constexpr struct {
    int32_t code;
    const char* meaning;
  } kLinkFailures[] = {
      {LinkError::NotConnected, "not connected"}, {LinkError::NotOpen, "the link is not open"},
      {LinkError::Timeout, "no answer in time"},  {LinkError::CommandError, "the command is too long"},
      {LinkError::BufferError, "a frame too long"}, {LinkError::Abort, "aborted"},
  };
  for (const auto& failure : kLinkFailures) {
    if (failure.code == code) return "error " + std::to_string(code) + ": " + failure.meaning;
  }
  return "error " + std::to_string(code) + ": " + SystemMessage(code);
}

LoggerRun::LoggerRun(const LoggerOptions& options, Say say, RunTiming timing, Show show)
    : options_(options),
      say_(std::move(say)),
      timing_(std::move(timing)),
      show_(std::move(show)),
      log_([this](int32_t error, size_t unwritten) {
        // The log's watch thread: Run tells it and tries the file again.
        logError_.store(error);
        logUnwritten_.fetch_add(unwritten);
        logFailed_.store(true);
        stopped_.notify_all();
      }) {
  if (options_.useTcp) {
    link_.useTcp = 1;
    link_.SetHostName(options_.host);
    link_.SetPortText(options_.port);
  } else {
    link_.useTcp = 0;
    link_.comPort = SerialPortNumber(ports_, options_.serialDevice);
    link_.serialSpeed = options_.speed.value_or(0);
  }
  for (int row = 0; row < 5; ++row) log_.SetRowName(row, options_.rowNames[static_cast<size_t>(row)]);
}

LoggerRun::~LoggerRun() {
  protocol::CloseReportSession(link_);
  log_.Close();
}

void LoggerRun::RequestStop() {
  {
    std::lock_guard lock(waitMutex_);
    stop_.store(true);
  }
  link_.abortRequested = 1;
  stopped_.notify_all();
}

int LoggerRun::Run() {
  OpenLog();
  std::chrono::milliseconds pause = timing_.firstPause;
  while (!Stopping()) {
    const bool brought = RunSession();
    if (Stopping()) break;
    if (brought) pause = timing_.firstPause;
    say_("next try in " + Seconds(pause), false);
    WaitUntil(Clock::now() + pause);
    if (!brought) pause = std::min(pause * 2, timing_.longestPause);
  }
  protocol::CloseReportSession(link_);
  FollowTheDay();
  log_.Close();
  LookAfterLog();
  say_("stopped; " + std::to_string(sink_.reports()) + " reports decoded", false);
  return 0;
}

bool LoggerRun::RunSession() {
  const std::string gateway = options_.useTcp ? options_.host + ":" + options_.port : options_.serialDevice;
  if (const int32_t code = protocol::OpenReportSession(link_, sink_); code != 0) {
    say_("cannot reach the gateway at " + gateway + ": " + DescribeFailure(code), false);
    return false;
  }
  say_("session opened with the gateway at " + gateway, false);
  // Reports may come before the answer to the start command is seen.
  const uint64_t first = sink_.reports();
  if (Stopping()) {
    protocol::CloseReportSession(link_);
    return false;
  }
  if (const int32_t code = protocol::StartReports(link_, timing_.commandWaitSeconds); code != 0) {
    if (!Stopping()) say_("the gateway did not answer the start command: " + DescribeFailure(code), false);
    return false;
  }
  say_("start command answered", false);

  uint64_t seen = first;
  Clock::time_point lastReport = Clock::now();
  const auto silence = std::chrono::seconds(options_.silenceSeconds);
  std::string lost;
  while (!Stopping()) {
    WaitUntil(Clock::now() + std::chrono::milliseconds(100));
    if (const uint64_t now = sink_.reports(); now != seen) {
      seen = now;
      lastReport = Clock::now();
    }
    if (link_.connectionLost()) {
      lost = "the gateway closed the connection";
      break;
    }
    if (Clock::now() - lastReport >= silence) {
      lost = "no report for " + std::to_string(options_.silenceSeconds) + " s";
      break;
    }
  }
  protocol::CloseReportSession(link_);
  const uint64_t brought = sink_.reports() - first;
  if (!lost.empty()) {
    say_("gateway lost: " + lost + "; " + std::to_string(brought) + " reports in this session", false);
  }
  return brought > 0;
}

void LoggerRun::WaitUntil(Clock::time_point until) {
  for (;;) {
    LookAfterLog();
    ShowView();
    std::unique_lock lock(waitMutex_);
    const Clock::time_point wake = logDown_ ? std::min(until, nextLogTry_) : until;
    stopped_.wait_until(lock, wake, [&] { return Stopping() || logFailed_.load(); });
    if (Stopping() || Clock::now() >= until) return;
  }
}

// Digits that change more often than this cannot be read anyway.
constexpr int kViewsPerSecond = 4;

void LoggerRun::ShowView() {
  if (!show_ || Clock::now() < nextView_) return;
  RowValues::Snapshot rows;
  std::string status, time;
  if (!sink_.TakeView(&rows, &status, &time)) return;
  show_(rows, status, time);
  nextView_ = Clock::now() + std::chrono::milliseconds(1000 / kViewsPerSecond);
}

std::string DatedPath(const std::string& path, int day) {
  char date[24];
  std::snprintf(date, sizeof date, "-%04d-%02d-%02d", day / 10000, day / 100 % 100, day % 100);
  const size_t name = path.find_last_of("/\\") + 1;  // 0 without a folder
  const size_t dot = path.rfind('.');
  const size_t at = dot != std::string::npos && dot > name ? dot : path.size();
  return path.substr(0, at) + date + path.substr(at);
}

std::string LoggerRun::LogPath(int day) const {
  return options_.daily ? DatedPath(options_.csvPath, day) : options_.csvPath;
}

void LoggerRun::OpenLog() {
  UseDay(LoggerSink::DayOf(timing_.clock()));
  OpenLogFile();
}

void LoggerRun::UseDay(int day) {
  sink_.SetLogDay(day);
  logPath_ = LogPath(day);
}

bool LoggerRun::OpenLogFile() {
  const int32_t code = log_.Open(logPath_);
  if (code == 0) return true;
  say_("cannot open the log file " + logPath_ + ": " + DescribeFailure(code) +
           "; trying again every " + Seconds(timing_.logRetry),
       true);
  RetryLogLater();
  return false;
}

void LoggerRun::RetryLogLater() {
  logDown_ = true;
  nextLogTry_ = Clock::now() + timing_.logRetry;
}

// Tells a write failure once, tries a failed file again every logRetry, and
// tells its recovery once, with the reports that did not reach the file.
void LoggerRun::LookAfterLog() {
  if (logFailed_.exchange(false)) {
    say_("cannot write the log file " + logPath_ + ": " + DescribeFailure(logError_.load()) +
             "; " + std::to_string(logUnwritten_.exchange(0)) +
             " reports not written; trying again every " + Seconds(timing_.logRetry),
         true);
    RetryLogLater();
  }
  FollowTheDay();
  if (!logDown_ || Stopping() || Clock::now() < nextLogTry_) return;
  if (log_.Open(logPath_) != 0) {
    RetryLogLater();
    return;
  }
  logDown_ = false;
  say_("the log file " + logPath_ + " is written again; " +
           std::to_string(sink_.TakeUnwritten()) + " reports could not be written meanwhile",
       true);
}

// A report of a new day waits, held by the sink, for its day's file; a log
// that is down opens it at its next try.
void LoggerRun::FollowTheDay() {
  const std::optional<int> day = sink_.HeldDay();
  if (!day) return;
  log_.Close();
  UseDay(*day);
  if (!logDown_ && OpenLogFile()) say_("logging into " + logPath_, false);
  sink_.DeliverHeld();
}

}  // namespace pelorin::logger
