#include "report_message.h"

#include "channel_types.h"
#include "home_assistant_unit.h"
#include "local_time_of.h"
#include "models.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <chrono>
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
std::string IsoLocalTime(std::time_t when) {
  const std::tm& local = LocalTimeOf(when);
  char text[40];
  size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const long offsetMinutes = UtcOffsetSeconds(local, when) / 60;
  const long magnitude = std::labs(offsetMinutes);
  std::snprintf(text + length, sizeof text - length, "%c%02ld:%02ld", offsetMinutes < 0 ? '-' : '+',
                magnitude / 60, magnitude % 60);
  return text;
}

// The CSV record's text read back as a number, so that both carry one value.
double PrintedValue(std::string_view number) {
  number.remove_prefix(std::min(number.find_first_not_of(' '), number.size()));
  double value = 0.0;
  std::from_chars(number.data(), number.data() + number.size(), value);
  return value;
}

nlohmann::ordered_json AnalogChannel(const AnalogRecord& record) {
  const AnalogText text = FormatAnalog(record.channelType, record.raw);
  switch (text.kind) {
    case AnalogText::Kind::WireBreak:  // only temperature channels tell of one
      return {{"wire_break", true}, {"unit", kCelsius}};
    case AnalogText::Kind::NoValue:
      return {{"value", nullptr}};
    case AnalogText::Kind::Value:
      break;
  }
  return {{"value", PrintedValue(text.number)}, {"unit", HomeAssistantUnit(text.unit)}};
}

}  // namespace

std::string FormatReportMessage(const NodeReport& report,
                                const std::array<std::string, kRowCount>& rowNames) {
  nlohmann::ordered_json digital = nlohmann::ordered_json::array();
  for (int32_t i = 0; i < report.digitalCount; ++i) {
    digital.push_back(report.digital[static_cast<size_t>(i)] != 0);
  }
  nlohmann::ordered_json analog = nlohmann::ordered_json::array();
  for (int32_t j = 0; j < report.analogCount; ++j) {
    analog.push_back(AnalogChannel(report.analog[static_cast<size_t>(j)]));
  }
  const nlohmann::ordered_json message = {
      {"node", report.node},
      {"id", report.id},
      {"model", ModelName(report.model)},
      {"time", IsoLocalTime(report.timestamp)},
      {"digital", std::move(digital)},
      {"analog", std::move(analog)},
      {"rows", rowNames},
  };
  // Names are UTF-8 already; a stray byte becomes U+FFFD rather than an exception.
  return message.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace pelorin::mqtt
