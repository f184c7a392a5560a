#pragma once

#include "csv_log.h"
#include "gateway_link.h"
#include "logger_options.h"
#include "logger_sink.h"
#include "repeated_lines.h"
#include "report_session.h"
#include "serial_ports.h"
#include "service_notice.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace pelorin::logger {

// The waits of an unattended run; tests shorten them.
struct RunTiming {
  std::chrono::milliseconds firstPause{1000};  // before the next session
  std::chrono::milliseconds longestPause{60000};
  std::chrono::milliseconds logRetry{10000};   // a log file that failed is tried again
  int32_t commandWaitSeconds = 5;
  // The time that reports are stamped with, and that names daily files.
  LoggerSink::Clock clock = [] {
    return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  };
};

// A session with the gateway for as long as the program runs, kept by the
// report session on a thread of its own: it opens the link, sends the start
// command and logs every report; a gateway that is lost (its connection
// closed or broken, its serial device gone, or nothing heard for the
// silence) is told and tried again after a pause that doubles from the first
// to the longest, and starts from the first again after a steady session.
// The run looks after the log meanwhile: a log file that cannot be opened or
// written stops nothing; it is tried again every logRetry, and every failure
// and recovery is told once. Lines that repeat are told with their count
// (RepeatedLines); a service manager that listens is told how the run does.
class LoggerRun : public protocol::SessionObserver {
 public:
  // say gets one line per event, without its end of line; failure says
  // whether it tells of a problem (shown even when quiet).
  using Say = std::function<void(std::string_view line, bool failure)>;

  // show gets the latest report's view a few times a second, if given.
  using Show = std::function<void(const RowValues::Snapshot& rows, std::string_view status,
                                  std::string_view time)>;

  LoggerRun(const LoggerOptions& options, Say say, RunTiming timing = {}, Show show = {});
  ~LoggerRun();
  LoggerRun(const LoggerRun&) = delete;
  LoggerRun& operator=(const LoggerRun&) = delete;

  // Runs until RequestStop; then closes the link and the log. Returns the
  // program's exit status.
  int Run();
  // From any thread: Run returns within about two seconds, every report
  // decoded so far in the log.
  void RequestStop();
  // From any thread: the log file is closed and opened again at its path
  // (log rotation's signal), no report lost meanwhile.
  void RequestReopen();

  // The session's thread: tells what became of the gateway.
  void SessionChanged(const protocol::SessionEvent& event) override;

 private:
  using Clock = std::chrono::steady_clock;

  // Until a stop; looks after the log meanwhile.
  void LookAfterLogUntilStopped();
  // Say and Show from the run's thread and the session's.
  void Tell(std::string_view line, bool failure = false);
  // The counts of repeated lines that have waited long enough.
  void TellRepeats();
  std::string GatewayName() const;
  bool Stopping() const { return stop_.load(); }
  void OpenLog();
  void ReopenLog();
  // The log's day, and with it the file's path.
  void UseDay(int day);
  // Opens the file at the path; a failure is told and tried again later.
  bool OpenLogFile();
  void RetryLogLater();
  // Tells a write failure, opens the file of a new day, tries a failed file
  // again.
  void LookAfterLog();
  void FollowTheDay();
  // Shows the latest report, at most kViewsPerSecond times a second.
  void ShowView();
  // The path of the file for the log's day.
  std::string LogPath(int day) const;

  const LoggerOptions options_;
  const Say say_;
  const RunTiming timing_;
  const Show show_;

  SerialPortRegistry ports_;
  GatewayLink link_{ports_};
  CsvLog log_;
  LoggerSink sink_{log_, options_.daily, timing_.clock};
  protocol::ReportSession session_;

  std::mutex tellMutex_;
  RepeatedLines repeated_;  // under tellMutex_
  ServiceNotice notice_{GatewayName()};
  std::atomic<bool> stop_{false};
  std::atomic<bool> reopen_{false};
  std::mutex waitMutex_;
  std::condition_variable stopped_;

  // A write failure, told by the log's watch thread.
  std::atomic<bool> logFailed_{false};
  std::atomic<int32_t> logError_{0};
  std::atomic<uint64_t> logUnwritten_{0};
  // Run's own.
  bool logDown_ = false;
  Clock::time_point nextLogTry_;
  std::string logPath_;
  Clock::time_point nextView_;
  // The session's thread only.
  bool started_ = false;           // the gateway answered a start command once
  uint64_t reportsBeforeLoss_ = 0;  // reports decoded up to the last loss
};

// The COM number by which the link opens the device named on the command line.
int32_t SerialPortNumber(SerialPortRegistry& ports, const std::string& device);

// A daily file's path: the date before the file name's extension
// ("log.csv" and 20261208 give "log-2026-12-08.csv").
std::string DatedPath(const std::string& path, int day);

}  // namespace pelorin::logger
