#include "logger_run.h"

#include "failure_text.h"
#include "link_error.h"
#include "thread_name.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <thread>

namespace pelorin::logger {

namespace {

protocol::SessionPacing Pacing(const RunTiming& timing, const LoggerOptions& options) {
  protocol::SessionPacing pacing;
  pacing.firstPause = timing.firstPause;
  pacing.longestPause = timing.longestPause;
  pacing.commandWaitSeconds = timing.commandWaitSeconds;
  pacing.silence = std::chrono::seconds(options.silenceSeconds);
  return pacing;
}

}  // namespace

LoggerRun::LoggerRun(const LoggerOptions& options, Say say, RunTiming timing, Show show)
    : options_(options),
      say_(std::move(say)),
      timing_(std::move(timing)),
      show_(std::move(show)),
      log_([this](int32_t error, size_t unwritten) {
        // The log's watch thread: Run tells it and tries the file again.
        logError_.store(error);
        logUnwritten_.fetch_add(unwritten);
        std::lock_guard lock(waitMutex_);
        logFailed_.store(true);
        stopped_.notify_all();
      }),
      session_(link_, sink_, *this, Pacing(timing_, options_)) {
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
  session_.EndKeeping();
  session_.Close();
  log_.Close();
}

void LoggerRun::RequestStop() {
  std::lock_guard lock(waitMutex_);
  stop_.store(true);
  stopped_.notify_all();
}

void LoggerRun::RequestReopen() {
  std::lock_guard lock(waitMutex_);
  reopen_.store(true);
  stopped_.notify_all();
}

int LoggerRun::Run() {
  OpenLog();
  std::thread keeper;
  try {
    keeper = std::thread([this] {
      NameThisThread("pelorin-session");
      session_.Keep();
    });
  } catch (const std::system_error& error) {
    Tell("cannot start the session's thread: " + DescribeFailure(error.code().value()), true);
    log_.Close();
    return 1;
  }
  notice_.Ready();
  LookAfterLogUntilStopped();
  notice_.Stopping();
  // An attempt to reach the gateway is aborted; what the link has already
  // decoded is in the log.
  session_.EndKeeping();
  keeper.join();
  session_.Close();
  FollowTheDay();
  log_.Close();
  LookAfterLog();
  Tell("stopped; " + std::to_string(sink_.reports()) + " reports decoded");
  return 0;
}

std::string LoggerRun::GatewayName() const {
  return options_.useTcp ? options_.host + ":" + options_.port : options_.serialDevice;
}

void LoggerRun::SessionChanged(const protocol::SessionEvent& event) {
  using Kind = protocol::SessionEvent::Kind;
  switch (event.kind) {
    case Kind::Started:
      Tell((started_ ? "reconnected to the gateway at " : "connected to the gateway at ") +
           GatewayName() + "; start command answered");
      started_ = true;
      notice_.Connected();
      return;
    case Kind::TryFailed:
      Tell((event.opened ? "the gateway at " + GatewayName() + " did not answer the start command: "
                         : "cannot reach the gateway at " + GatewayName() + ": ") +
           DescribeFailure(event.code) + "; next try in " + Seconds(event.nextTry));
      notice_.NotReached(DescribeFailure(event.code));
      return;
    case Kind::Lost:
    case Kind::Silent: {
      std::string why = "nothing heard from the gateway for " +
                        std::to_string(options_.silenceSeconds) + " s";
      if (event.kind == Kind::Lost) {
        why = event.code == LinkError::NotConnected ? "the gateway closed the connection"
              : options_.useTcp ? "the connection broke (" + DescribeFailure(event.code) + ")"
                                : "the serial device is gone (" + DescribeFailure(event.code) + ")";
      }
      const uint64_t reports = sink_.reports();
      Tell("gateway lost: " + why + "; " + std::to_string(reports - reportsBeforeLoss_) +
           " reports in this session; reconnecting" +
           (event.nextTry.count() > 0 ? " in " + Seconds(event.nextTry) : ""));
      reportsBeforeLoss_ = reports;
      notice_.Lost(why);
      return;
    }
  }
}

void LoggerRun::Tell(std::string_view line, bool failure) {
  std::lock_guard lock(tellMutex_);
  for (const RepeatedLines::Line& told : repeated_.Take(line, failure)) say_(told.text, told.failure);
}

void LoggerRun::TellRepeats() {
  std::lock_guard lock(tellMutex_);
  for (const RepeatedLines::Line& told : repeated_.TakeDue()) say_(told.text, told.failure);
}

void LoggerRun::LookAfterLogUntilStopped() {
  while (!Stopping()) {
    if (reopen_.exchange(false)) ReopenLog();
    LookAfterLog();
    ShowView();
    TellRepeats();
    notice_.Tick(sink_.reports());
    std::unique_lock lock(waitMutex_);
    // A report of a new day waits for its file, and the view for its turn:
    // a look ten times a second.
    Clock::time_point wake = Clock::now() + std::chrono::milliseconds(100);
    if (logDown_) wake = std::min(wake, nextLogTry_);
    stopped_.wait_until(lock, wake,
                        [&] { return Stopping() || reopen_.load() || logFailed_.load(); });
  }
}

// Digits that change more often than this cannot be read anyway.
constexpr int kViewsPerSecond = 4;

void LoggerRun::ShowView() {
  if (!show_ || Clock::now() < nextView_) return;
  RowValues::Snapshot rows;
  std::string status, time;
  if (!sink_.TakeView(&rows, &status, &time)) return;
  {
    std::lock_guard lock(tellMutex_);
    show_(rows, status, time);
  }
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

void LoggerRun::ReopenLog() {
  if (logDown_) {
    nextLogTry_ = Clock::now();  // tried at once
    return;
  }
  sink_.Hold();
  log_.Close();
  if (OpenLogFile()) Tell("reopened the log file " + logPath_);
  sink_.DeliverHeld();
}

void LoggerRun::UseDay(int day) {
  sink_.SetLogDay(day);
  logPath_ = LogPath(day);
}

bool LoggerRun::OpenLogFile() {
  const int32_t code = log_.Open(logPath_);
  if (code == 0) return true;
  Tell("cannot open the log file " + logPath_ + ": " + DescribeFailure(code) +
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
    Tell("cannot write the log file " + logPath_ + ": " + DescribeFailure(logError_.load()) +
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
  Tell("the log file " + logPath_ + " is written again; " +
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
  if (!logDown_ && OpenLogFile()) Tell("logging into " + logPath_);
  sink_.DeliverHeld();
}

}  // namespace pelorin::logger
