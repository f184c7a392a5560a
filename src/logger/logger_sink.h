#pragma once

#include "csv_log.h"
#include "report_sink.h"

#include <atomic>
#include <cstdint>

namespace pelorin::logger {

// Where the logger's decoded reports go: each into the log, and counted, so
// that the logger can tell a gateway that has gone quiet and how many reports
// the log could not take.
class LoggerSink : public ReportSink {
 public:
  explicit LoggerSink(CsvLog& log) : log_(log) {}

  RowValues& Rows() override { return rows_; }
  void SetNodeStatus(std::string_view) override {}
  void SetReceiveTime(std::string_view) override {}
  void RequestRowRefresh() override {}
  void AppendRecord(const NodeReport& report) override;

  // Reports decoded so far.
  uint64_t reports() const { return reports_.load(); }
  // Reports that the log did not take (it was closed) since the last call.
  uint64_t TakeUnwritten() { return unwritten_.exchange(0); }

 private:
  CsvLog& log_;
  RowValues rows_;
  std::atomic<uint64_t> reports_{0};
  std::atomic<uint64_t> unwritten_{0};
};

}  // namespace pelorin::logger
