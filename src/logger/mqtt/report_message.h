#pragma once

#include "node_report.h"

#include <array>
#include <string>

namespace pelorin::mqtt {

// The JSON message of one report (docs/report.schema.json), UTF-8: node, ID,
// model name, the local reception time in ISO 8601 with its UTC offset, the
// digital inputs as booleans, each analog channel as its value and unit (or a
// broken wire, or null when the CSV shows nothing), and the five row names.
// Values are the CSV record's own: the same conversion and the same digits.
std::string FormatReportMessage(const NodeReport& report, const std::array<std::string, kRowCount>& rowNames);

// The same, for a stream of reports: the row names are made JSON once, and
// the message's buffer is used again.
class ReportMessageFormat {
 public:
  explicit ReportMessageFormat(const std::array<std::string, kRowCount>& rowNames);
  void Format(const NodeReport& report, std::string* message) const;

 private:
  std::string rows_;  // the JSON array of the row names
};

}  // namespace pelorin::mqtt
