#include "logger_sink.h"

namespace pelorin::logger {

void LoggerSink::AppendRecord(const NodeReport& report) {
  if (!log_.Append(report)) unwritten_.fetch_add(1);
  reports_.fetch_add(1);
}

}  // namespace pelorin::logger
