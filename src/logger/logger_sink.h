#pragma once

#include "csv_log.h"
#include "mqtt_publisher.h"
#include "report_sink.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pelorin::logger {

// Where the logger's reports go besides the view: the log, a broker, or both.
struct SinkOutlets {
  bool log = true;
  mqtt::MqttPublisher* publisher = nullptr;
};

// Where the logger's decoded reports go: each into the log, and counted, so
// that the logger can tell a gateway that has gone quiet and how many reports
// the log could not take.
//
// With daily files each report belongs to the file of its own local day. A
// report of another day than the open file's is held, with every report after
// it, until the run has opened that day's file (TakeHeld, DeliverHeld): the
// receive thread never waits for a file to close or open. So are all reports
// while the run opens the log file again (Hold).
class LoggerSink : public ReportSink {
 public:
  using Clock = std::function<std::time_t()>;

  LoggerSink(CsvLog& log, bool daily, Clock clock, SinkOutlets outlets = {})
      : log_(log), daily_(daily), clock_(std::move(clock)), outlets_(outlets) {}

  RowValues& Rows() override { return rows_; }
  void SetNodeStatus(std::string_view text) override;
  void SetReceiveTime(std::string_view text) override;
  void RequestRowRefresh() override { viewChanged_.store(true); }
  void AppendRecord(const NodeReport& report) override;
  std::time_t Now() override { return clock_(); }

  // Reports decoded so far.
  uint64_t reports() const { return reports_.load(); }
  // Reports that the log did not take: it was closed.
  uint64_t refused() const { return refused_.load(); }

  // The latest report's rows, status line and receive time, when a report
  // came since the last call.
  bool TakeView(RowValues::Snapshot* rows, std::string* status, std::string* time);

  // The day (yyyymmdd, local) of a time, and of the open file.
  static int DayOf(std::time_t when);
  void SetLogDay(int day);
  // The day of the first held report, if any; reports keep being held.
  std::optional<int> HeldDay();
  // Holds every report from now on, while the run closes and opens the log.
  void Hold();
  // Into the log that is now open: the held reports, in order, then the
  // receive thread's reports go to the log directly again.
  void DeliverHeld();

 private:
  void Deliver(const NodeReport& report);
  // With daily files, whether the report belongs to the open file's day.
  bool OfLogDay(const NodeReport& report) const;  // mutex_ held

  CsvLog& log_;
  const bool daily_;
  const Clock clock_;
  const SinkOutlets outlets_;
  RowValues rows_;
  std::atomic<uint64_t> reports_{0};
  std::atomic<uint64_t> refused_{0};
  std::atomic<bool> viewChanged_{false};
  std::mutex textMutex_;  // guards the texts
  std::string status_;
  std::string receiveTime_;

  std::mutex mutex_;  // guards what follows
  int logDay_ = 0;
  std::vector<NodeReport> held_;
  bool holding_ = false;     // the run is opening the log again
  bool delivering_ = false;  // the run is putting held reports into the log
};

}  // namespace pelorin::logger
