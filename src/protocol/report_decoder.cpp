#include "report_decoder.h"

#include "local_time_of.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pelorin {

namespace {

constexpr int32_t kHeaderSize = 8;
constexpr int32_t kRecordSize = 7;

// Reads a hexadecimal field as strtol/strtoul read it (white space, sign,
// either case, an optional 0x, stop at the first non-digit, no digits give 0),
// but only within the field's own characters.
template <size_t N>
const char* FieldText(const uint8_t* field, char (&text)[N + 1]) {
  std::memcpy(text, field, N);
  text[N] = '\0';
  return text;
}

int32_t ReadSignedHex2(const uint8_t* field) {
  char text[3];
  return static_cast<int32_t>(std::strtol(FieldText<2>(field, text), nullptr, 16));
}

// A leading minus negates the value modulo 2^32, like a 32-bit strtoul.
uint32_t ReadUnsignedHex6(const uint8_t* field) {
  char text[7];
  return static_cast<uint32_t>(std::strtoul(FieldText<6>(field, text), nullptr, 16));
}

}  // namespace

bool ParseNodeReport(const uint8_t* frame, int32_t length, NodeReport* report) {
  if (length < kHeaderSize + 1) return false;
  const int32_t digitalBytes = frame[6] - 0x20;
  // A count byte below 0x20 means no analog record at all.
  const int32_t records = std::max(frame[7] - 0x20, 0);
  // A frame from the link has at most 127 bytes and so at most 16 records.
  if (digitalBytes < 0 || records > kMaxAnalogRecords) return false;
  if (length < kHeaderSize + 1 + digitalBytes + kRecordSize * records) return false;

  report->node = ReadSignedHex2(frame);
  report->id = 0x2F - frame[4];
  report->model = frame[5] - 0x20;

  report->digitalCount = 0;
  if (digitalBytes == 2) {
    const int32_t inputs = DigitalInputCount(report->model);
    for (int32_t i = 0; i < inputs; ++i) {
      const uint8_t byte = frame[kHeaderSize + i / 4];
      report->digital[static_cast<size_t>(i)] = (byte >> (i % 4)) & 1;
    }
    report->digitalCount = inputs;
  }

  report->analogCount = records;
  for (int32_t j = 0; j < records; ++j) {
    const uint8_t* record = frame + kHeaderSize + digitalBytes + kRecordSize * j;
    report->analog[static_cast<size_t>(j)] = {record[0] - 0x20, ReadUnsignedHex6(record + 1)};
  }
  return true;
}

void DecodeNodeReport(ReportSink& sink, const uint8_t* frame, int32_t length) {
  NodeReport report;
  report.timestamp = sink.Now();
  if (!ParseNodeReport(frame, length, &report)) return;

  RowValues& rows = sink.Rows();
  rows.BeginReport();
  rows.Clear();
  for (int32_t i = 0; i < report.digitalCount; ++i) {
    rows.digital[static_cast<size_t>(i)].store(report.digital[static_cast<size_t>(i)]);
  }
  for (int32_t j = 0; j < report.analogCount && j < kRowCount; ++j) {
    const AnalogRecord& record = report.analog[static_cast<size_t>(j)];
    rows.channelType[static_cast<size_t>(j)].store(record.channelType);
    rows.raw[static_cast<size_t>(j)].store(record.raw);
  }
  rows.EndReport();

  sink.SetNodeStatus(FormatNodeStatus(report));
  sink.SetReceiveTime(FormatReceiveTime(sink.Now()));
  sink.RequestRowRefresh();
  sink.AppendRecord(report);
}

std::string FormatNodeStatus(const NodeReport& report) {
  char text[96];
  std::snprintf(text, sizeof text, "node : [ %d ]    /    %s    ID : %d    ", report.node,
                ModelName(report.model).c_str(), report.id);
  return text;
}

std::string FormatReceiveTime(std::time_t when) {
  char text[64];
  std::strftime(text, sizeof text, "受信 : %Y/%m/%d %H:%M:%S", &LocalTimeOf(when));
  return text;
}

}  // namespace pelorin
