#pragma once

#include "mqtt_settings.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin::logger {

// What pelorin-logger is told on its command line.
struct LoggerOptions {
  bool useTcp = false;
  std::string host;          // --tcp HOST:PORT
  std::string port;
  std::string serialDevice;  // --serial DEVICE
  std::optional<int> speed;  // --speed BAUD; without it the port keeps its own
  std::string csvPath;       // empty when only publishing
  std::array<std::string, 5> rowNames{"入力 1", "入力 2", "入力 3", "入力 4", "入力 5"};
  bool daily = false;
  int keepDays = 0;  // with daily files: older ones are removed; 0 keeps all
  int silenceSeconds = 60;
  bool quiet = false;
  std::optional<mqtt::MqttSettings> mqtt;
};

// The outcome of reading the command line: run with the options, or print
// text (the usage or the version) and end, or say in one line what is wrong.
struct ParsedArguments {
  enum class Action { Run, PrintAndExit, Refuse } action = Action::Refuse;
  LoggerOptions options;
  std::string text;
};

// A TCP port given as text: a whole number from 1 to 65535, or nothing.
std::optional<int> PortNumber(std::string_view text);

// versionText is the program's version as the window shows it.
ParsedArguments ParseArguments(int argc, const char* const* argv, const std::string& versionText);

}  // namespace pelorin::logger
