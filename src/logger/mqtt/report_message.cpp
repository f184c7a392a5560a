#include "report_message.h"

#include "channel_types.h"
#include "home_assistant_unit.h"
#include "local_time_of.h"
#include "models.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace pelorin::mqtt {

namespace {

// The zone's offset from UTC at that second: its local clock reading counted
// as if it were UTC, less the second itself. Plain arithmetic, so it holds on
// every platform's C library and in summer time alike.
long UtcOffsetSeconds(const std::tm& local, std::time_t when) {
  using namespace std::chrono;
  const sys_days date = year{local.tm_year + 1900} / month{static_cast<unsigned>(local.tm_mon + 1)} /
                        day{static_cast<unsigned>(local.tm_mday)};
  const seconds asUtc =
      date.time_since_epoch() + hours{local.tm_hour} + minutes{local.tm_min} + seconds{local.tm_sec};
  return static_cast<long>((asUtc - seconds{when}).count());
}

// "2026-12-06T07:19:50+09:00": the CSV record's date and time, with the offset.
void AppendIsoLocalTime(std::time_t when, std::string* out) {
  const std::tm& local = LocalTimeOf(when);
  char text[40];
  size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const long offsetMinutes = UtcOffsetSeconds(local, when) / 60;
  const long magnitude = std::labs(offsetMinutes);
  length += static_cast<size_t>(std::snprintf(text + length, sizeof text - length, "%c%02ld:%02ld",
                                              offsetMinutes < 0 ? '-' : '+', magnitude / 60,
                                              magnitude % 60));
  out->append(text, length);
}

// A JSON string of text that is ASCII or valid UTF-8, as model names are.
void AppendJsonString(std::string_view text, std::string* out) {
  out->push_back('"');
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out->append(escaped);
    } else {
      out->push_back(c);
    }
  }
  out->push_back('"');
}

void AppendInteger(int32_t value, std::string* out) {
  char digits[16];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  out->append(digits, end);
}

// The CSV record's own digits ("%7.3f" and alike, without the padding),
// which are a JSON number as they stand: the message and the CSV carry one
// value.
void AppendAnalogChannel(const AnalogRecord& record, std::string* out) {
  const AnalogText text = FormatAnalog(record.channelType, record.raw);
  switch (text.kind) {
    case AnalogText::Kind::WireBreak:  // only temperature channels tell of one
      out->append("{\"wire_break\":true,\"unit\":");
      AppendJsonString(kCelsius, out);
      break;
    case AnalogText::Kind::NoValue:
      out->append("{\"value\":null");
      break;
    case AnalogText::Kind::Value: {
      std::string_view number = text.number;
      number.remove_prefix(std::min(number.find_first_not_of(' '), number.size()));
      out->append("{\"value\":").append(number).append(",\"unit\":");
      AppendJsonString(HomeAssistantUnit(text.unit), out);
      break;
    }
  }
  out->push_back('}');
}

}  // namespace

ReportMessageFormat::ReportMessageFormat(const std::array<std::string, kRowCount>& rowNames)
    // Names are UTF-8 already; a stray byte becomes U+FFFD rather than an exception.
    : rows_(nlohmann::json(rowNames).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)) {}

void ReportMessageFormat::Format(const NodeReport& report, std::string* message) const {
  message->clear();
  message->append("{\"node\":");
  AppendInteger(report.node, message);
  message->append(",\"id\":");
  AppendInteger(report.id, message);
  message->append(",\"model\":");
  AppendJsonString(ModelName(report.model), message);
  message->append(",\"time\":\"");
  AppendIsoLocalTime(report.timestamp, message);
  message->append("\",\"digital\":[");
  for (int32_t i = 0; i < report.digitalCount; ++i) {
    if (i > 0) message->push_back(',');
    message->append(report.digital[static_cast<size_t>(i)] != 0 ? "true" : "false");
  }
  message->append("],\"analog\":[");
  for (int32_t j = 0; j < report.analogCount; ++j) {
    if (j > 0) message->push_back(',');
    AppendAnalogChannel(report.analog[static_cast<size_t>(j)], message);
  }
  message->append("],\"rows\":").append(rows_).push_back('}');
}

std::string FormatReportMessage(const NodeReport& report,
                                const std::array<std::string, kRowCount>& rowNames) {
  std::string message;
  ReportMessageFormat(rowNames).Format(report, &message);
  return message;
}

}  // namespace pelorin::mqtt
