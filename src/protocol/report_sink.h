#pragma once

#include "node_report.h"

#include <chrono>
#include <ctime>
#include <string_view>

namespace pelorin {

// What the frame handler needs of the monitor window. Every call comes on the
// link's receive thread and must return without waiting for the window thread.
class ReportSink {
 public:
  virtual RowValues& Rows() = 0;
  // Texts in UTF-8: the node status line and the receive time.
  virtual void SetNodeStatus(std::string_view text) = 0;
  virtual void SetReceiveTime(std::string_view text) = 0;
  // Asks the window to render its five rows from Rows() again.
  virtual void RequestRowRefresh() = 0;
  // The reports of one read from the gateway have all been handed over, and
  // the receive thread goes on to wait for more.
  virtual void ReportsHandedOver() {}
  // Hands the report to the CSV log, which writes it while logging is on.
  virtual void AppendRecord(const NodeReport& report) = 0;
  // The system clock, not time(): Windows' C library asks for the time zone
  // in time(), which costs more than the rest of a report under Wine.
  virtual std::time_t Now() {
    return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  }

 protected:
  ~ReportSink() = default;
};

}  // namespace pelorin
