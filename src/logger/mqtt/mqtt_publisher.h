#pragma once

#include "mqtt_settings.h"
#include "node_report.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace pelorin::mqtt {

// Whether this build can publish to a broker at all.
bool MqttBuilt();

// What became of the reports given to the publisher.
struct PublishCounts {
  uint64_t published = 0;     // taken by the broker (QoS 1: acknowledged)
  uint64_t notPublished = 0;  // dropped while the broker was away, or left at the stop
};

// The publisher's waits; tests shorten them.
struct PublishTiming {
  std::chrono::milliseconds firstPause{1000};    // before the next try to reach the broker
  std::chrono::milliseconds longestPause{60000};
  std::chrono::milliseconds steadyConnection{10000};  // after which the pause starts afresh
};

// Publishes every report to an MQTT broker, from a thread of its own: the
// receive thread only puts the report into a bounded queue and never waits
// for the network. Keeps a retained "online"/"offline" status (with the
// broker's last will for a death), each node's latest report retained, and
// Home Assistant's discovery configs when asked. A broker that cannot be
// reached, refuses the login or fails the certificate check is told in one
// line and tried again after a pause that doubles from the first to the
// longest. While it is away the oldest reports beyond the queue's bound are
// dropped, counted, and told once the broker is back.
class MqttPublisher {
 public:
  using Tell = std::function<void(std::string_view line, bool failure)>;

  MqttPublisher(MqttSettings settings, std::array<std::string, kRowCount> rowNames, Tell tell,
                PublishTiming timing = {});
  ~MqttPublisher();
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Starts the publishing thread; false (and told) when it cannot.
  bool Start();
  // Any thread, any time: queues the report.
  void Publish(const NodeReport& report);
  // Publishes what is queued and "offline", within the bound, and ends the
  // thread; what is left counts as not published.
  void Stop(std::chrono::milliseconds bound);

  PublishCounts counts() const;
  // "mqtts://HOST:PORT", for event lines.
  std::string BrokerName() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pelorin::mqtt
