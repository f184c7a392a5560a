#pragma once

#include "logger_options.h"

#include <CLI/CLI.hpp>

#include <string>

namespace pelorin::logger {

// The --mqtt options as they come, before they are checked.
struct MqttArguments {
  std::string url;
  std::string topic;
  std::string passwordFile;
  std::string discovery;
  mqtt::MqttSettings settings;
};

// Declares the --mqtt options on the command line's parser.
void AddMqttOptions(CLI::App& app, MqttArguments* arguments);

// With --mqtt, fills options->mqtt: the broker from its URL, the default
// topic from the gateway, the password from its file. An empty string, or
// what is wrong in one line. The gateway must have been checked before.
std::string CheckMqtt(const CLI::App& app, MqttArguments& arguments, LoggerOptions* options);

}  // namespace pelorin::logger
