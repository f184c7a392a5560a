#include "record_format.h"

#include "channel_types.h"
#include "local_time_of.h"
#include "models.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace pelorin {

namespace {

void AppendNumber(int32_t value, std::string* out) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out->append(digits, end);
}

}  // namespace

std::string FormatHeaderLine(const RowNames& rowNames) {
  std::string line = "日付,時刻,ノード番号,機種,ID";
  for (const std::string& name : rowNames) {
    line += ',';
    line += name;
    line += ',';
  }
  return line;
}

void AppendRecordLine(const NodeReport& report, std::string* out) {
  char stamp[32];
  out->append(stamp, std::strftime(stamp, sizeof stamp, "%Y/%m/%d,%H:%M:%S,", &LocalTimeOf(report.timestamp)));
  AppendNumber(report.node, out);
  *out += ',';
  *out += ModelName(report.model);
  *out += ',';
  AppendNumber(report.id, out);
  *out += ',';
  for (int32_t i = 0; i < report.digitalCount; ++i) {
    AppendNumber(report.digital[static_cast<size_t>(i)], out);
    *out += ",,";
  }
  for (int32_t j = 0; j < report.analogCount; ++j) {
    const AnalogRecord& record = report.analog[static_cast<size_t>(j)];
    const AnalogText text = FormatAnalog(record.channelType, record.raw);
    switch (text.kind) {
      case AnalogText::Kind::WireBreak:
        *out += kWireBreakText;
        *out += ",,";
        break;
      case AnalogText::Kind::NoValue:
        *out += ",,";
        break;
      case AnalogText::Kind::Value:
        *out += text.number;
        *out += ',';
        *out += text.unit;
        *out += ',';
        break;
    }
  }
}

std::string FormatRecordLine(const NodeReport& report) {
  std::string line;
  AppendRecordLine(report, &line);
  return line;
}

}  // namespace pelorin
