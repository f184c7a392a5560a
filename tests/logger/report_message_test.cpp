#include "discovery_messages.h"
#include "gateway_topic_name.h"
#include "local_time.h"
#include "record_format.h"
#include "report_message.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace pelorin::mqtt {
namespace {

using nlohmann::json;

// The process's zone, as TZ names it: each test has a process of its own.
void UseZone(const char* zone) {
  setenv("TZ", zone, 1);
  tzset();
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// The message carries the CSV record's values for the same report, field by field.
void ExpectTheRecordsValues(const json& message, const NodeReport& report, const RowNames& rows) {
  const std::vector<std::string> csv = Fields(FormatRecordLine(report));
  std::string stamp = message["time"].get<std::string>().substr(0, 19);
  std::replace(stamp.begin(), stamp.end(), '-', '/');
  std::replace(stamp.begin(), stamp.end(), 'T', ',');
  EXPECT_EQ(stamp, csv[0] + ',' + csv[1]);
  EXPECT_EQ(message["node"], std::stoi(csv[2]));
  EXPECT_EQ(message["model"], csv[3]);
  EXPECT_EQ(message["id"], std::stoi(csv[4]));
  // Each record line's pair of fields ends with a comma, so the last field is empty.
  ASSERT_EQ(csv.size(), 6 + 2 * (message["digital"].size() + message["analog"].size()));
  size_t field = 5;
  for (const json& state : message["digital"]) {
    EXPECT_EQ(state.get<bool>() ? "1" : "0", csv[field]);
    field += 2;
  }
  for (const json& channel : message["analog"]) {
    if (channel.contains("wire_break")) {
      EXPECT_EQ(csv[field], "断線");
    } else if (channel["value"].is_null()) {
      EXPECT_EQ(csv[field] + csv[field + 1], "");
    } else {
      EXPECT_EQ(channel["value"].get<double>(), std::strtod(csv[field].c_str(), nullptr)) << csv[field];
      EXPECT_EQ(channel["unit"], csv[field + 1] == "℃" ? "°C" : csv[field + 1]);
    }
    field += 2;
  }
  EXPECT_EQ(message["rows"], json(rows));
}

// One verdict per line, "valid" or "invalid: WHY", from the schema validator.
std::vector<std::string> SchemaVerdicts(const std::vector<std::string>& messages) {
  test::TemporaryFolder folder;
  const std::string path = folder.path() + "/messages.jsonl";
  {
    std::ofstream lines(path);
    for (const std::string& message : messages) lines << message << '\n';
  }
  const std::string command =
      "/usr/bin/python3 " PELORIN_JSON_VALIDATOR " " PELORIN_REPORT_SCHEMA " " + path + " 2>&1";
  std::vector<std::string> verdicts;
  FILE* output = popen(command.c_str(), "r");
  char line[4096];
  while (output != nullptr && std::fgets(line, sizeof line, output) != nullptr) {
    verdicts.emplace_back(line, std::strcspn(line, "\n"));
  }
  if (output != nullptr) pclose(output);
  return verdicts;
}

NodeReport Report(int32_t node, int32_t id, ModelIndex model, std::vector<int32_t> digital,
                  std::vector<AnalogRecord> analog) {
  NodeReport report;
  report.node = node;
  report.id = id;
  report.model = model;
  report.digitalCount = static_cast<int32_t>(digital.size());
  std::copy(digital.begin(), digital.end(), report.digital.begin());
  report.analogCount = static_cast<int32_t>(analog.size());
  std::copy(analog.begin(), analog.end(), report.analog.begin());
  return report;
}

TEST(ReportMessage, HoldsTheCsvRecordsValuesAndMeetsTheSchema) {
  const RowNames plain = {"入力 1", "入力 2", "入力 3", "入力 4", "入力 5"};
  const RowNames japanese = {"温度", "湿度 (外)", "C:\\ログ", "圧力", "ポンプ"};
  const struct {
    const char* name;
    const char* zone;  // POSIX rules: no zone files needed
    int month, day;    // a second of its own, never one an earlier zone converted
    const char* offset;
    NodeReport report;
    RowNames rows;
  } cases[] = {
      {"digital only", "JST-9", 1, 1, "+09:00", Report(26, 3, 2, {1, 0, 1, 1, 0}, {}), plain},
      {"volts, milliamperes, degrees", "UTC0", 1, 2, "+00:00",
       Report(4, 47, 1, {}, {{2, 0x400000}, {4, 0x200000}, {6, 0x00FA00}, {1, 0x7FFFFF}}), japanese},
      {"a broken wire beside a reading", "NST3:30", 1, 3, "-03:30",
       Report(255, -208, 3, {0, 0, 1}, {{6, 0x800000}, {6, 0x7FFFFF}, {0, 0x123456}}), plain},
      {"no analog channel, a model without a name", "CET-1CEST,M3.5.0,M10.5.0/3", 1, 4, "+01:00",
       Report(-15, 0, 16, {}, {}), japanese},
      {"negative values in summer time", "CET-1CEST,M3.5.0,M10.5.0/3", 7, 1, "+02:00",
       Report(7, 1, 4, {1, 1}, {{3, 0xF00000}, {6, 0xFFFF00}, {5, 0xFFFFFF}}), plain},
      {"readings the CSV leaves empty", "JST-9", 1, 5, "+09:00",
       Report(9, 2, 9, {0, 1, 0}, {{9, 0x000100}, {2, 0x1000000}, {2, 0x800000}}), plain},
  };
  std::vector<std::string> messages;
  for (auto c : cases) {
    SCOPED_TRACE(c.name);
    UseZone(c.zone);
    c.report.timestamp = test::LocalTime(2026, c.month, c.day, 7, 19, 50);
    messages.push_back(FormatReportMessage(c.report, c.rows));
    const json message = json::parse(messages.back());
    ExpectTheRecordsValues(message, c.report, c.rows);
    EXPECT_TRUE(message["time"].get<std::string>().ends_with(c.offset)) << message["time"];
  }

  // The schema holds a message to its form: these break it.
  const json sample = json::parse(messages[1]);
  std::vector<json> broken(4, sample);
  broken[0]["analog"][2]["unit"] = "℃";
  broken[1]["analog"][0]["wire_break"] = true;
  broken[2]["time"] = "2026-01-02T07:19:50";
  broken[3].erase("rows");
  for (const json& message : broken) messages.push_back(message.dump());

  const std::vector<std::string> verdicts = SchemaVerdicts(messages);
  ASSERT_EQ(verdicts.size(), messages.size()) << (verdicts.empty() ? "" : verdicts.front());
  for (size_t i = 0; i < messages.size(); ++i) {
    const bool valid = i < std::size(cases);
    EXPECT_EQ(verdicts[i].starts_with("valid"), valid) << verdicts[i] << "\n" << messages[i];
  }
}

// Reads "value_json.analog[2]" out of a template: which part of the report it shows.
std::string TemplateReads(const std::string& valueTemplate) {
  std::smatch match;
  return std::regex_search(valueTemplate, match, std::regex(R"(value_json\.(\w+\[\d+\]))")) ? match[1].str()
                                                                                            : "";
}

TEST(DiscoveryMessages, OneDeviceWhoseEntitiesReadTheirChannelsFromTheReport) {
  const RowNames rows = {"ポンプ", "", "扉", "圧力", "電流"};
  // Volts, milliamperes, a temperature, a broken wire, a type without a unit.
  const NodeReport report =
      Report(26, 3, 3, {1, 0, 1}, {{2, 0x400000}, {4, 0x200000}, {6, 0x00FA00}, {6, 0x800000}, {9, 0x100}});
  const json reportJson = json::parse(FormatReportMessage(report, rows));
  const std::string stem = "homeassistant/%s/pelorin_127_0_0_10_10003_node26_";
  const struct {
    const char* component;
    const char* object;
    const char* name;
    const char* reads;
    const char* deviceClass;  // or nullptr
    const char* unit;         // or nullptr
  } expected[] = {
      {"binary_sensor", "digital1", "ポンプ", "digital[0]", nullptr, nullptr},
      {"binary_sensor", "digital2", "Digital 2", "digital[1]", nullptr, nullptr},
      {"binary_sensor", "digital3", "扉", "digital[2]", nullptr, nullptr},
      {"sensor", "analog1", "圧力", "analog[0]", "voltage", "V"},
      {"sensor", "analog2", "電流", "analog[1]", "current", "mA"},
      {"sensor", "analog3", "Analog 3", "analog[2]", "temperature", "°C"},
      {"binary_sensor", "analog3_wire_break", "Analog 3 wire break", "analog[2]", "problem", nullptr},
      {"sensor", "analog4", "Analog 4", "analog[3]", "temperature", "°C"},
      {"binary_sensor", "analog4_wire_break", "Analog 4 wire break", "analog[3]", "problem", nullptr},
  };
  const std::vector<MqttMessage> messages =
      DiscoveryMessages(report, "homeassistant", "pelorin/127.0.0.10_10003", rows);
  ASSERT_EQ(messages.size(), std::size(expected));
  std::set<std::string> uniqueIds;
  for (size_t i = 0; i < messages.size(); ++i) {
    const auto& want = expected[i];
    SCOPED_TRACE(messages[i].topic);
    const json config = json::parse(messages[i].payload);
    std::string topic = stem + want.object + "/config";
    topic.replace(topic.find("%s"), 2, want.component);
    EXPECT_EQ(messages[i].topic, topic);
    EXPECT_TRUE(messages[i].retain);
    EXPECT_EQ(config["name"], want.name);
    EXPECT_EQ(config.value("device_class", ""), want.deviceClass ? want.deviceClass : "");
    EXPECT_EQ(config.value("unit_of_measurement", ""), want.unit ? want.unit : "");
    EXPECT_EQ(config["state_topic"], "pelorin/127.0.0.10_10003/node/26");
    EXPECT_EQ(config["availability_topic"], "pelorin/127.0.0.10_10003/status");
    EXPECT_EQ(config["payload_available"], "online");
    EXPECT_EQ(config["payload_not_available"], "offline");
    EXPECT_EQ(config["device"], json::parse(messages[0].payload)["device"]);
    EXPECT_TRUE(uniqueIds.insert(config["unique_id"].get<std::string>()).second);
    // The template reads the channel's own entry of the report message.
    const std::string reads = TemplateReads(config["value_template"]);
    ASSERT_EQ(reads, want.reads) << config["value_template"];
    const size_t bracket = reads.find('[');
    const json& entry = reportJson.at(reads.substr(0, bracket)).at(std::stoul(reads.substr(bracket + 1)));
    if (want.unit != nullptr) {
      EXPECT_EQ(entry["unit"], want.unit);
      EXPECT_TRUE(config["value_template"].get<std::string>().ends_with(".value | default(None) }}"));
    } else {
      EXPECT_TRUE(config["value_template"].get<std::string>().starts_with("{{ 'ON' if value_json."));
      EXPECT_EQ(config["payload_on"], "ON");
    }
  }
  const json device = json::parse(messages[0].payload)["device"];
  EXPECT_EQ(device["identifiers"], json::array({"pelorin_127_0_0_10_10003_node26"}));
  EXPECT_EQ(device["model"], reportJson["model"]);
  EXPECT_EQ(device["manufacturer"], "Pelorin");
}

TEST(GatewayTopicName, IsOneReadableTopicLevel) {
  const struct {
    const char* tcpHost;  // or nullptr: a serial device
    const char* gateway;
    const char* level;
  } cases[] = {
      {"127.0.0.10", "10003", "127.0.0.10_10003"},
      {"localhost", "502", "localhost_502"},
      {nullptr, "/dev/ttyUSB0", "ttyUSB0"},
      {nullptr, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
       "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
      {nullptr, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0",
       "pci-0000:00:14.0-usb-0:2:1.0-port0"},
      {nullptr, "COM3", "COM3"},
      {nullptr, "\\\\.\\COM10", "COM10"},
      {nullptr, "/tmp/my gw#1+2/", "my_gw_1_2"},
      {nullptr, "/dev/ttyあ", "tty___"},
      {nullptr, "/", "_"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(
        c.tcpHost != nullptr ? TcpGatewayTopicName(c.tcpHost, c.gateway) : SerialGatewayTopicName(c.gateway),
        c.level)
        << c.gateway;
  }
}

}  // namespace
}  // namespace pelorin::mqtt
