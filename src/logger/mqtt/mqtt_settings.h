#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace pelorin::mqtt {

// Where and how the logger publishes its reports to an MQTT broker.
struct MqttSettings {
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

}  // namespace pelorin::mqtt
