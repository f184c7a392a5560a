#pragma once

#include <array>
#include <optional>
#include <string>

namespace pelorin::logger {

// Where and how the logger publishes its reports to an MQTT broker.
struct MqttOptions {
  bool tls = false;             // mqtts://
  std::string host;             // --mqtt mqtt[s]://HOST[:PORT]
  int port = 1883;              // 8883 with TLS
  std::string topicPrefix;      // --mqtt-topic; by default pelorin/GATEWAY
  std::string user;             // --mqtt-user
  std::string password;         // read from --mqtt-password-file, never the command line
  std::string caFile;           // --mqtt-ca; empty: the system's CAs
  std::string certFile;         // --mqtt-cert and --mqtt-key: a client certificate
  std::string keyFile;
  int qos = 0;                  // --mqtt-qos, of the reports
  size_t queue = 10000;         // --mqtt-queue: reports kept while the broker is away
  std::optional<std::string> discoveryPrefix;  // --mqtt-discovery [PREFIX]
};

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
  std::optional<MqttOptions> mqtt;
};

// The outcome of reading the command line: run with the options, or print
// text (the usage or the version) and end, or say in one line what is wrong.
struct ParsedArguments {
  enum class Action { Run, PrintAndExit, Refuse } action = Action::Refuse;
  LoggerOptions options;
  std::string text;
};

// versionText is the program's version as the window shows it.
ParsedArguments ParseArguments(int argc, const char* const* argv, const std::string& versionText);

}  // namespace pelorin::logger
