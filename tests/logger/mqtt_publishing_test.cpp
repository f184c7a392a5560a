#include "bounded_command.h"
#include "logger_run_fixture.h"
#include "mqtt_broker.h"
#include "mqtt_watcher.h"
#include "sim_process.h"
#include "test_certificates.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace pelorin::logger {
namespace {

using test::MqttWatcher;
using Messages = MqttWatcher::Messages;
using namespace std::chrono_literals;

size_t Count(const Messages& messages, const std::string& topic, const std::string& payload = {}) {
  return static_cast<size_t>(std::count_if(messages.begin(), messages.end(), [&](const test::ReceivedMessage& m) {
    return m.topic.starts_with(topic) && (payload.empty() || m.payload == payload);
  }));
}

std::string LastStatus(const Messages& messages, const std::string& prefix) {
  for (auto m = messages.rbegin(); m != messages.rend(); ++m) {
    if (m->topic == prefix + "/status") return m->payload;
  }
  return {};
}

// A field of a CSV line, or of a JSON message's flat text.
std::string Field(const std::string& line, size_t index) {
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) start = line.find(',', start) + 1;
  return line.substr(start, line.find(',', start) - start);
}

std::string JsonText(const std::string& json, const std::string& name) {
  const size_t at = json.find("\"" + name + "\":");
  const size_t start = at + name.size() + 3;
  const bool quoted = json[start] == '"';
  const size_t end = quoted ? json.find('"', start + 1) : json.find_first_of(",}", start);
  return json.substr(start + quoted, end - start - quoted);
}

class MqttPublishingTest : public LoggerRunTest {
 protected:
  LoggerOptions Publishing(const std::string& simPort, int brokerPort) {
    LoggerOptions options = TcpOptions(simPort);
    options.mqtt.emplace();
    options.mqtt->host = "127.0.0.1";
    options.mqtt->port = brokerPort;
    options.mqtt->topicPrefix = "site/gw";
    return options;
  }

  // A broker on TLS with a certificate of a CA of the test's own, which the
  // logger is given.
  test::MqttBrokerSettings TlsBroker() {
    certificates_ = test::MakeTestCertificates(folder_.path());
    test::MqttBrokerSettings settings;
    settings.caFile = certificates_.caFile;
    settings.certFile = certificates_.serverCertFile;
    settings.keyFile = certificates_.serverKeyFile;
    return settings;
  }
  LoggerOptions TlsPublishing(const std::string& simPort, int brokerPort) {
    LoggerOptions options = Publishing(simPort, brokerPort);
    options.mqtt->tls = true;
    options.mqtt->caFile = certificates_.caFile;
    return options;
  }

  static RunTiming QuickPublishing() {
    RunTiming timing = Quick();
    timing.publish.firstPause = 200ms;
    timing.publish.longestPause = 1s;
    return timing;
  }

  test::TestCertificates certificates_;
};

// Every report of a session reaches the broker as the CSV holds it, each
// message held to the schema; a clean stop leaves "offline" retained.
TEST_F(MqttPublishingTest, EveryReportArrivesAsTheCsvHoldsItAndAStopSaysOffline) {
  test::MqttBroker broker;
  MqttWatcher watcher(broker.port(), "site/gw/#");
  test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "100", "--count", "300"});
  Start(Publishing(sim.endpoint(), broker.port()), QuickPublishing());
  ASSERT_TRUE(watcher.WaitFor([](const Messages& m) { return Count(m, "site/gw/node/") >= 300; }))
      << Count(watcher.messages(), "site/gw/node/") << " messages\n" << broker.Log();
  Stop();
  EXPECT_TRUE(watcher.WaitFor([](const Messages& m) { return LastStatus(m, "site/gw") == "offline"; }));
  EXPECT_NE(LineWith("stopped;").find("300 published, 0 not published"), std::string::npos)
      << LineWith("stopped;");

  const std::vector<std::string> csv = CsvLines();
  ASSERT_EQ(csv.size(), 301u);
  const std::string payloads = folder_.path() + "/messages.jsonl";
  std::ofstream lines(payloads);
  size_t record = 1;
  for (const test::ReceivedMessage& message : watcher.messages()) {
    if (!message.topic.starts_with("site/gw/node/")) continue;
    EXPECT_TRUE(message.retained);
    lines << message.payload << "\n";
    // The record's date, time, node and ID; the values' digits are the
    // formatter's own test.
    const std::string& row = csv[record++];
    const std::string time = JsonText(message.payload, "time");
    EXPECT_EQ(Field(row, 0), time.substr(0, 4) + "/" + time.substr(5, 2) + "/" + time.substr(8, 2));
    EXPECT_EQ(Field(row, 1), time.substr(11, 8));
    EXPECT_EQ(Field(row, 2), JsonText(message.payload, "node"));
    EXPECT_EQ(message.topic, "site/gw/node/" + Field(row, 2));
    EXPECT_EQ(Field(row, 4), JsonText(message.payload, "id"));
  }
  lines.close();
  const test::CommandResult valid = test::RunCommand(
      {"/usr/bin/python3", PELORIN_JSON_VALIDATOR, PELORIN_REPORT_SCHEMA, payloads}, 60s);
  EXPECT_EQ(valid.exitCode, 0) << valid.output;
  EXPECT_EQ(valid.output.find("invalid"), std::string::npos) << valid.output;

  MqttWatcher later(broker.port(), "site/gw/status");
  EXPECT_TRUE(later.WaitFor([](const Messages& m) { return !m.empty() && m.back().retained; }));
  EXPECT_EQ(LastStatus(later.messages(), "site/gw"), "offline");
}

// While the broker is away the CSV stays whole; the queue keeps what it can
// hold, and what it could not is counted and told once the broker is back.
// Over TLS, where a broker's crash ends the TLS session mid-stream.
TEST_F(MqttPublishingTest, ABrokerOutageKeepsTheCsvWholeAndCountsWhatTheQueueCouldNotHold) {
  test::MqttBroker broker(TlsBroker());
  MqttWatcher watcher(broker.port(), "site/gw/#", {certificates_.caFile, "", ""});
  test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "100"});
  LoggerOptions options = TlsPublishing(sim.endpoint(), broker.port());
  options.mqtt->queue = 20;
  options.mqtt->qos = 1;
  Start(options, QuickPublishing());
  ASSERT_TRUE(watcher.WaitFor([](const Messages& m) { return Count(m, "site/gw/node/") >= 10; }));
  broker.Kill();
  ASSERT_TRUE(Said("lost the MQTT broker at mqtts://127.0.0.1:"));
  // Reports beyond the queue's bound come meanwhile.
  const size_t before = CsvLines().size();
  for (int i = 0; i < 200 && CsvLines().size() < before + 100; ++i) std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(Said("cannot reach the MQTT broker at mqtts://127.0.0.1:"));
  broker.Start();
  ASSERT_TRUE(Said("reconnected to the MQTT broker")) << broker.Log();
  const uint64_t dropped = NumberBefore(LineWith("reconnected"), "reports were not published");
  EXPECT_GE(dropped, 80u) << LineWith("reconnected");
  EXPECT_TRUE(watcher.WaitFor([](const Messages& m) { return Count(m, "site/gw/status", "online") >= 2; }));
  Stop();

  const std::string stopped = LineWith("stopped;");
  const uint64_t decoded = NumberBefore(stopped, "reports decoded");
  EXPECT_EQ(CsvLines().size(), decoded + 1);
  EXPECT_NE(stopped.find(std::to_string(decoded) + " written, 0 not written"), std::string::npos) << stopped;
  EXPECT_EQ(NumberBefore(stopped, "published, ") + NumberBefore(stopped, "not published"), decoded) << stopped;
  // A queue of 20 may overflow again while the backlog is sent, on a busy machine.
  EXPECT_GE(NumberBefore(stopped, "not published"), dropped) << stopped;
}

// A logger that dies is told by the broker's last will: "offline", retained.
TEST_F(MqttPublishingTest, ALoggerKilledLeavesItsLastWill) {
  test::MqttBroker broker;
  MqttWatcher watcher(broker.port(), "site/killed/status");
  test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "20"});
  const std::string url = "mqtt://127.0.0.1:" + std::to_string(broker.port());
  const std::string gateway = "127.0.0.1:" + sim.endpoint();
  const char* arguments[] = {PELORIN_LOGGER_PATH, "--tcp", gateway.c_str(), "--mqtt", url.c_str(),
                             "--mqtt-topic", "site/killed", "--quiet", nullptr};
  pid_t logger = -1;
  ASSERT_EQ(posix_spawn(&logger, PELORIN_LOGGER_PATH, nullptr, nullptr, const_cast<char**>(arguments), environ), 0);
  const bool online = watcher.WaitFor([](const Messages& m) { return LastStatus(m, "site/killed") == "online"; });
  kill(logger, SIGKILL);
  waitpid(logger, nullptr, 0);
  ASSERT_TRUE(online);
  EXPECT_TRUE(watcher.WaitFor([](const Messages& m) { return LastStatus(m, "site/killed") == "offline"; }));
  MqttWatcher later(broker.port(), "site/killed/status");
  EXPECT_TRUE(later.WaitFor([](const Messages& m) {
    return m.size() == 1 && m[0].payload == "offline" && m[0].retained;
  }));
}

// Over TLS with a password: the right ones publish; a wrong password and a
// certificate of another CA are told, and tried again.
TEST_F(MqttPublishingTest, TlsWithAPasswordPublishesAndARefusalIsToldAndTriedAgain) {
  test::MqttBrokerSettings settings = TlsBroker();
  settings.allowAnonymous = false;
  settings.users = {{"site", "s3cret"}};
  test::MqttBroker broker(settings);
  MqttWatcher watcher(broker.port(), "site/gw/#", {certificates_.caFile, "site", "s3cret"});
  test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "20"});
  LoggerOptions options = TlsPublishing(sim.endpoint(), broker.port());
  options.mqtt->user = "site";

  options.mqtt->password = "guess";
  Start(options, QuickPublishing());
  EXPECT_TRUE(Said("refused the login: not authorised", 2)) << LineWith("MQTT");
  Stop();

  options.mqtt->password = "s3cret";
  options.mqtt->caFile = certificates_.otherCaFile;
  Start(options, QuickPublishing());
  EXPECT_TRUE(Said("certificate verify failed", 2)) << LineWith("MQTT");
  Stop();
  EXPECT_EQ(Count(watcher.messages(), "site/gw/"), 0u);

  options.mqtt->caFile = certificates_.caFile;
  Start(options, QuickPublishing());
  EXPECT_TRUE(watcher.WaitFor([](const Messages& m) { return Count(m, "site/gw/node/") >= 5; }));
  EXPECT_TRUE(Said("connected to the MQTT broker at mqtts://127.0.0.1:"));
  Stop();
}

// Home Assistant finds a node's channels, and finds them again when it
// restarts.
TEST_F(MqttPublishingTest, DiscoveryConfigsComeWithTheFirstReportAndWhenHomeAssistantReturns) {
  test::MqttBroker broker;
  MqttWatcher watcher(broker.port(), "ha/#");
  test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "20", "--fixed-report"});
  LoggerOptions options = Publishing(sim.endpoint(), broker.port());
  options.mqtt->discoveryPrefix = "ha";
  Start(options, QuickPublishing());
  // Node 26: five inputs, volts, and a temperature whose wire is broken.
  const auto configs = [](const Messages& m) { return Count(m, "ha/") - Count(m, "ha/status"); };
  ASSERT_TRUE(watcher.WaitFor([&](const Messages& m) { return configs(m) >= 8; }));
  std::this_thread::sleep_for(300ms);  // no config is sent twice for the same node
  const Messages first = watcher.messages();
  ASSERT_EQ(configs(first), 8u);
  EXPECT_EQ(Count(first, "ha/binary_sensor/"), 6u);
  EXPECT_EQ(Count(first, "ha/sensor/"), 2u);
  for (const test::ReceivedMessage& message : first) {
    EXPECT_TRUE(message.retained) << message.topic;
    EXPECT_NE(message.payload.find("\"site/gw/status\""), std::string::npos) << message.payload;
  }
  const test::CommandResult online = test::RunCommand({"/usr/bin/mosquitto_pub", "-h", "127.0.0.1", "-p",
                                                       std::to_string(broker.port()), "-t", "ha/status", "-m",
                                                       "online"},
                                                      30s);
  ASSERT_EQ(online.exitCode, 0) << online.output;
  EXPECT_TRUE(watcher.WaitFor([&](const Messages& m) { return configs(m) >= 16; }));
  Stop();
}

}  // namespace
}  // namespace pelorin::logger
