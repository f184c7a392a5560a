#pragma once

#include "node_report.h"

#include <array>
#include <string>

namespace pelorin {

using RowNames = std::array<std::string, kRowCount>;  // UTF-8

// "日付,時刻,ノード番号,機種,ID" and a pair of fields per row, the first
// named after the row: ",入力 1,,入力 2,...,入力 5,". UTF-8, no line end.
std::string FormatHeaderLine(const RowNames& rowNames);

// One record, UTF-8, no line end: local date and time, node, model name and
// ID, then a pair of fields per digital state ("1,,") and per analog record
// (value and unit, "断線," for a broken wire, or two empty fields).
std::string FormatRecordLine(const NodeReport& report);

// Appends the record line to out (the same text as FormatRecordLine).
void AppendRecordLine(const NodeReport& report, std::string* out);

}  // namespace pelorin
