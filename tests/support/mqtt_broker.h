#pragma once

#include "temporary_folder.h"

#include <string>
#include <utility>
#include <vector>

namespace pelorin::test {

struct MqttBrokerSettings {
  bool allowAnonymous = true;
  std::vector<std::pair<std::string, std::string>> users;  // name and password
  // TLS when certFile is set: the server's certificate, its key and its CA.
  std::string caFile;
  std::string certFile;
  std::string keyFile;
};

// Debian's mosquitto on 127.0.0.1 with a free port and a configuration of
// its own, for the length of a test; run as an unprivileged user when the
// test runs as root. Throws std::runtime_error, with the broker's log, when
// it does not start.
class MqttBroker {
 public:
  explicit MqttBroker(const MqttBrokerSettings& settings = {});
  ~MqttBroker();
  MqttBroker(const MqttBroker&) = delete;
  MqttBroker& operator=(const MqttBroker&) = delete;

  // Ends the broker as a crash would: no clean disconnect, no last will.
  void Kill();
  // Starts it again on the same port (nothing retained survives a kill) and
  // returns once the port accepts connections.
  void Start();

  int port() const { return port_; }
  // What the broker has logged so far, for a failing test's message.
  std::string Log() const;

 private:
  void Stop(int signal);

  TemporaryFolder folder_;
  std::string configPath_;
  std::string logPath_;
  int port_ = 0;
  int process_ = -1;
};

}  // namespace pelorin::test
