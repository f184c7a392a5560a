#pragma once

#include "node_report.h"
#include "report_sink.h"

#include <cstdint>
#include <string>

namespace pelorin {

// Reads a "WU" node report frame (terminator included in length). False when
// the frame cannot hold what its header announces: shorter than 9 + A + 7 * B
// bytes, A or B negative, or more records than a frame of 127 bytes holds.
// Never reads beyond the frame.
bool ParseNodeReport(const uint8_t* frame, int32_t length, NodeReport* report);

// Decodes a node report into the sink: replaces the rows, writes the status
// line and the receive time, asks for a row refresh and hands the report to
// the log. A frame that ParseNodeReport refuses changes nothing.
void DecodeNodeReport(ReportSink& sink, const uint8_t* frame, int32_t length);

// "node : [ 26 ]    /    KT-300    ID : 3    "
std::string FormatNodeStatus(const NodeReport& report);
// "受信 : 2026/12/06 07:19:50", in local time.
std::string FormatReceiveTime(std::time_t when);

}  // namespace pelorin
