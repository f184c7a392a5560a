#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace pelorin::test {

struct ReceivedMessage {
  std::string topic;
  std::string payload;
  bool retained = false;  // as the publisher sent it, or kept by the broker
};

struct MqttWatcherSettings {
  std::string caFile;  // TLS when set, the broker's certificate checked against it
  std::string user;
  std::string password;
};

// A subscriber on 127.0.0.1 (libmosquitto, MQTT 5) that records every message
// under a topic filter. The retained flag is the publisher's: the subscription
// asks for "retain as published". It subscribes again when the broker comes
// back, so it outlives a broker's restart, also over TLS (where libmosquitto's
// own network thread gives up when the broker vanishes mid-stream).
class MqttWatcher {
 public:
  using Messages = std::vector<ReceivedMessage>;
  static constexpr std::chrono::seconds kBound{20};

  // Returns once subscribed; throws std::runtime_error when not within kBound.
  MqttWatcher(int port, const std::string& topicFilter, const MqttWatcherSettings& settings = {});
  ~MqttWatcher();
  MqttWatcher(const MqttWatcher&) = delete;
  MqttWatcher& operator=(const MqttWatcher&) = delete;

  // True as soon as the messages so far satisfy the predicate, false when
  // they still do not after the bound.
  bool WaitFor(const std::function<bool(const Messages&)>& predicate,
               std::chrono::milliseconds bound = kBound);
  Messages messages() const;

 private:
  void Run(int port);
  void Close();
  static void OnConnect(mosquitto* client, void* self, int reasonCode);
  static void OnSubscribe(mosquitto* client, void* self, int id, int count, const int* grantedQos);
  static void OnMessage(mosquitto* client, void* self, const mosquitto_message* message);

  std::string topicFilter_;
  mosquitto* client_ = nullptr;
  std::atomic<bool> stopping_{false};
  std::thread network_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Messages messages_;
  bool subscribed_ = false;
  std::string failure_;  // the last refusal, for the constructor's exception
};

}  // namespace pelorin::test
