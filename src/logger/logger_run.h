#pragma once

#include "csv_log.h"
#include "gateway_link.h"
#include "log_keeper.h"
#include "logger_options.h"
#include "logger_sink.h"
#include "mqtt_publisher.h"
#include "repeated_lines.h"
#include "report_session.h"
#include "serial_ports.h"
#include "service_notice.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace pelorin::logger {

// The waits of an unattended run; tests shorten them.
struct RunTiming {
  std::chrono::milliseconds firstPause{1000};  // before the next session
  std::chrono::milliseconds longestPause{60000};
  std::chrono::milliseconds logRetry{10000};   // a log file that failed is tried again
  std::chrono::milliseconds logReminder{600000};  // a log failure that lasts is told again
  std::chrono::milliseconds summary{3600000};     // a line of counts, so that a quiet log shows life
  int32_t commandWaitSeconds = 5;
  mqtt::PublishTiming publish;
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
// The run's own thread looks after the log meanwhile (see LogKeeper): a log
// file that fails stops nothing. Lines that repeat are told with their count
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

  // Runs until RequestStop; then reads what the link holds, closes the link
  // and the log. Returns the program's exit status.
  int Run();
  // From any thread: Run returns within about two seconds, every report
  // decoded so far written or counted.
  void RequestStop();
  // From any thread: the log file is closed and opened again at its path
  // (log rotation's signal), no report lost meanwhile.
  void RequestReopen();

  // The session's thread: tells what became of the gateway.
  void SessionChanged(const protocol::SessionEvent& event) override;

 private:
  using Clock = std::chrono::steady_clock;

  // What other threads ask of the run, and what the session's thread counts
  // for the summaries; guarded by sharedMutex_.
  struct Shared {
    bool stop = false;
    bool reopen = false;
    uint64_t sessions = 0;  // started
    uint64_t losses = 0;    // of a gateway that had been started
  };

  // Until a stop; looks after the log meanwhile.
  void LookAfterLogUntilStopped();
  // Say and Show from the run's thread and the session's.
  void Tell(std::string_view line, bool failure = false);
  // The counts of repeated lines that have waited long enough.
  void TellRepeats();
  std::string GatewayName() const;
  // With --mqtt: the publisher, not yet started.
  std::unique_ptr<mqtt::MqttPublisher> MakePublisher();
  bool Stopping();
  // Shows the latest report, at most kViewsPerSecond times a second.
  void ShowView();
  // A line of what came of the last summary's period, when one has passed.
  void SummarizeWhenDue();
  // "3960 written, 0 not written; 3960 published, 0 not published", of the
  // outlets in use, less what was counted before.
  std::string Outcome(const LogCounts& logged, const mqtt::PublishCounts& published) const;

  const LoggerOptions options_;
  const Say say_;
  const RunTiming timing_;
  const Show show_;

  SerialPortRegistry ports_;
  GatewayLink link_{ports_};
  CsvLog log_;
  const bool logging_ = !options_.csvPath.empty();
  std::unique_ptr<mqtt::MqttPublisher> publisher_ = MakePublisher();
  LoggerSink sink_{log_, options_.daily, timing_.clock, {logging_, publisher_.get()}};
  LogKeeper keeper_;
  protocol::ReportSession session_;

  std::mutex tellMutex_;
  RepeatedLines repeated_;  // under tellMutex_
  ServiceNotice notice_{GatewayName()};
  std::mutex sharedMutex_;
  std::condition_variable requested_;
  Shared shared_;

  // Run's own.
  Clock::time_point nextView_;
  Clock::time_point nextSummary_;
  LogCounts summarized_;
  mqtt::PublishCounts summarizedPublished_;
  Shared summarizedShared_;
  // The session's thread only.
  bool started_ = false;           // the gateway answered a start command once
  uint64_t reportsBeforeLoss_ = 0;  // reports decoded up to the last loss
};

// The COM number by which the link opens the device named on the command line.
int32_t SerialPortNumber(SerialPortRegistry& ports, const std::string& device);

}  // namespace pelorin::logger
