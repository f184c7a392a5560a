#include "bounded_command.h"
#include "mqtt_broker.h"
#include "mqtt_watcher.h"
#include "temporary_folder.h"
#include "test_certificates.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelorin::test {
namespace {

bool Holds(const MqttWatcher::Messages& messages, const std::string& payload, bool retained) {
  for (const ReceivedMessage& message : messages) {
    if (message.topic == "site/gw/status" && message.payload == payload && message.retained == retained) {
      return true;
    }
  }
  return false;
}

// The fixture the logger's MQTT tests stand on: a TLS broker with a password
// file, the real command-line client publishing to it, and the watcher seeing
// each message with the publisher's retained flag, also after a crash.
TEST(MqttBroker, TlsWithPasswordsSurvivesAKillAndShowsTheRetainedFlag) {
  TemporaryFolder folder;
  const TestCertificates certificates = MakeTestCertificates(folder.path());
  MqttBrokerSettings settings;
  settings.allowAnonymous = false;
  settings.users = {{"logger", "s3cret pass"}};
  settings.caFile = certificates.caFile;
  settings.certFile = certificates.serverCertFile;
  settings.keyFile = certificates.serverKeyFile;
  MqttBroker broker(settings);
  MqttWatcher watcher(broker.port(), "site/#", {certificates.caFile, "logger", "s3cret pass"});

  const auto publish = [&](const std::string& payload, const std::string& ca, const std::string& password,
                           bool retain) {
    std::vector<std::string> command = {"/usr/bin/mosquitto_pub", "-h", "127.0.0.1", "-p",
                                        std::to_string(broker.port()), "--cafile", ca, "-u", "logger", "-P",
                                        password, "-q", "1", "-t", "site/gw/status", "-m", payload};
    if (retain) command.push_back("-r");
    return RunCommand(command, std::chrono::seconds(30));
  };
  ASSERT_EQ(publish("online", certificates.caFile, "s3cret pass", true).exitCode, 0) << broker.Log();
  ASSERT_EQ(publish("passing", certificates.caFile, "s3cret pass", false).exitCode, 0);
  EXPECT_NE(publish("wrong password", certificates.caFile, "guess", true).exitCode, 0);
  EXPECT_NE(publish("unknown CA", certificates.otherCaFile, "s3cret pass", true).exitCode, 0);
  EXPECT_TRUE(watcher.WaitFor([](const MqttWatcher::Messages& messages) {
    return Holds(messages, "online", true) && Holds(messages, "passing", false);
  })) << broker.Log();

  broker.Kill();
  broker.Start();
  ASSERT_EQ(publish("online again", certificates.caFile, "s3cret pass", true).exitCode, 0) << broker.Log();
  EXPECT_TRUE(watcher.WaitFor(
      [](const MqttWatcher::Messages& messages) { return Holds(messages, "online again", true); }))
      << broker.Log();
  for (const ReceivedMessage& message : watcher.messages()) {
    EXPECT_NE(message.payload, "wrong password");
    EXPECT_NE(message.payload, "unknown CA");
  }
}

}  // namespace
}  // namespace pelorin::test
