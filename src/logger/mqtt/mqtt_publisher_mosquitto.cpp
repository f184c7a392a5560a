#include "discovery_messages.h"
#include "mosquitto_failure.h"
#include "mosquitto_socket.h"
#include "mqtt_publisher.h"
#include "pause_text.h"
#include "report_message.h"
#include "report_queue.h"
#include "thread_name.h"

#include <mosquitto.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace pelorin::mqtt {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKeepAliveSeconds = 30;
// Reports handed to the library and not yet written (QoS 0) or acknowledged
// (QoS 1): the library's own queue has no bound, so this is it.
constexpr size_t kInFlight = 100;
// While connected, the queue is looked at this often: reports wait at most
// this long, and a quiet link costs a few wake-ups a second.
constexpr int kTurnMilliseconds = 50;
constexpr std::chrono::seconds kLoginWait{20};
constexpr int kStatusQos = 1;

}  // namespace

bool MqttBuilt() { return true; }

struct MqttPublisher::Impl {
  Impl(MqttSettings settings, std::array<std::string, kRowCount> rowNames, Tell tell, PublishTiming timing)
      : settings(std::move(settings)),
        rowNames(std::move(rowNames)),
        tell(std::move(tell)),
        timing(timing),
        queue(this->settings.queue),
        pause(timing.firstPause) {}

  const MqttSettings settings;
  const std::array<std::string, kRowCount> rowNames;
  const Tell tell;
  const PublishTiming timing;
  ReportQueue queue;
  std::thread thread;

  // The publishing thread's own, callbacks included.
  enum class State { Away, Connecting, Connected } state = State::Away;
  mosquitto* client = nullptr;
  Clock::time_point nextTry;
  Clock::time_point since;
  std::chrono::milliseconds pause;
  bool everConnected = false;
  uint64_t notPublishedTold = 0;
  std::string refusal;   // the broker's answer to the login
  std::string tlsError;  // what the TLS library said last
  std::set<int> ownMessages;  // status and discovery, not reports
  bool answered = false;         // the broker took the login
  bool discoveryWanted = false;  // Home Assistant is back
  int offlineMessage = -1;
  bool offlineDelivered = false;
  size_t inFlight = 0;
  std::map<int32_t, NodeReport> nodes;  // each node's last report, for discovery
  std::vector<NodeReport> taken;
  const ReportMessageFormat format{rowNames};
  std::string topic;
  std::string payload;

  std::string StatusTopic() const { return settings.topicPrefix + "/status"; }
  std::string BrokerName() const {
    const bool v6 = settings.host.find(':') != std::string::npos;
    return std::string(settings.tls ? "mqtts://" : "mqtt://") + (v6 ? "[" : "") + settings.host +
           (v6 ? "]" : "") + ":" + std::to_string(settings.port);
  }

  bool Prepare();
  void Main();
  void Connect();
  void Failed(bool lost, const std::string& reason);
  // Hands queued reports to the library, as many as may be in flight; true
  // when more wait and there is room for them.
  bool SendQueued();
  void SendOwn(const std::string& topic, const std::string& payload, bool retain, int* mid = nullptr);
  void SendDiscovery(const NodeReport& report);
  void Finish();

  void Connected();
  void OnConnect(int code);
  void OnPublish(int mid);
  void OnMessage(const mosquitto_message& message);
};

bool MqttPublisher::Impl::Prepare() {
  static std::once_flag libraryReady;
  std::call_once(libraryReady, [] { mosquitto_lib_init(); });
  client = mosquitto_new(nullptr, true, this);
  if (client == nullptr) {
    tell("cannot publish to " + BrokerName() + ": " + std::system_category().message(errno), true);
    return false;
  }
  mosquitto_connect_callback_set(client, [](mosquitto*, void* self, int code) {
    static_cast<Impl*>(self)->OnConnect(code);
  });
  mosquitto_publish_callback_set(client, [](mosquitto*, void* self, int mid) {
    static_cast<Impl*>(self)->OnPublish(mid);
  });
  mosquitto_message_callback_set(client, [](mosquitto*, void* self, const mosquitto_message* message) {
    static_cast<Impl*>(self)->OnMessage(*message);
  });
  mosquitto_log_callback_set(client, [](mosquitto*, void* self, int level, const char* text) {
    if (level == MOSQ_LOG_ERR) static_cast<Impl*>(self)->tlsError = TlsLibraryError(text);
  });
  int result = mosquitto_will_set(client, StatusTopic().c_str(), 7, "offline", kStatusQos, true);
  if (result == MOSQ_ERR_SUCCESS && !settings.user.empty()) {
    result = mosquitto_username_pw_set(client, settings.user.c_str(),
                                       settings.password.empty() ? nullptr : settings.password.c_str());
  }
  if (result == MOSQ_ERR_SUCCESS && settings.tls) {
    // The system's CAs unless one is given; the broker's name is checked too.
    const char* cert = settings.certFile.empty() ? nullptr : settings.certFile.c_str();
    const char* key = settings.keyFile.empty() ? nullptr : settings.keyFile.c_str();
    result = settings.caFile.empty()
                 ? mosquitto_tls_set(client, nullptr, "/etc/ssl/certs", cert, key, nullptr)
                 : mosquitto_tls_set(client, settings.caFile.c_str(), nullptr, cert, key, nullptr);
    if (result == MOSQ_ERR_SUCCESS) result = mosquitto_tls_insecure_set(client, false);
  }
  if (result != MOSQ_ERR_SUCCESS) {
    tell("cannot publish to " + BrokerName() + ": " + BrokerFailure(result, errno, tlsError, {}), true);
    return false;
  }
  return true;
}

void MqttPublisher::Impl::Main() {
  NameThisThread("pelorin-mqtt");
  while (!queue.StopAsked()) {
    if (state == State::Away) {
      if (Clock::now() < nextTry) {
        queue.WaitUntil(nextTry);
      } else {
        Connect();
      }
      continue;
    }
    const bool more = state == State::Connected && SendQueued();
    const int result = mosquitto_loop(client, more ? 0 : kTurnMilliseconds, 1);
    const int error = errno;
    if (std::exchange(answered, false)) Connected();
    if (std::exchange(discoveryWanted, false)) {
      for (const auto& [node, report] : nodes) SendDiscovery(report);
    }
    if (result != MOSQ_ERR_SUCCESS) {
      Failed(state == State::Connected, BrokerFailure(result, error, tlsError, refusal));
    } else if (const std::string failure = state == State::Connecting ? ConnectFailure(client) : "";
               !failure.empty()) {
      Failed(false, failure);
    } else if (state == State::Connecting && Clock::now() - since > kLoginWait) {
      Failed(false, "no answer to the login in " + protocol::Seconds(kLoginWait));
    } else if (state == State::Connected && pause != timing.firstPause &&
               Clock::now() - since >= timing.steadyConnection) {
      pause = timing.firstPause;
    }
  }
  Finish();
}

void MqttPublisher::Impl::Connect() {
  refusal.clear();
  tlsError.clear();
  const int result = mosquitto_connect_async(client, settings.host.c_str(), settings.port, kKeepAliveSeconds);
  if (result != MOSQ_ERR_SUCCESS) {
    const int error = errno;
    Failed(false, BrokerFailure(result, error, tlsError, refusal));
    return;
  }
  state = State::Connecting;
  since = Clock::now();
}

void MqttPublisher::Impl::Failed(bool lost, const std::string& reason) {
  mosquitto_disconnect(client);
  // Reports of QoS 0 that the library had not written yet go with the
  // connection; those of QoS 1 are sent again on the next.
  // So are the status and the configs, which stay known as the publisher's own.
  if (settings.qos == 0) {
    queue.CountNotPublished(inFlight);
    inFlight = 0;
  }
  tell(std::string(lost ? "lost the MQTT broker at " : "cannot reach the MQTT broker at ") + BrokerName() +
           ": " + reason + "; reports are kept, up to " +
           std::to_string(settings.queue) + "; next try in " + protocol::Seconds(pause),
       true);
  state = State::Away;
  nextTry = Clock::now() + pause;
  pause = std::min(pause * 2, timing.longestPause);
}

// The library's callbacks note what happened; the thread acts on it once the
// library's turn has ended and its locks are free.
void MqttPublisher::Impl::OnConnect(int code) {
  if (code != 0) {
    refusal = RefusalText(code);
  } else {
    answered = true;
  }
}

void MqttPublisher::Impl::Connected() {
  state = State::Connected;
  since = Clock::now();
  const uint64_t notPublished = queue.counts().notPublished;
  std::string line = (everConnected ? "reconnected to the MQTT broker at " : "connected to the MQTT broker at ") +
                     BrokerName() + "; publishing under " + settings.topicPrefix + "/";
  if (notPublished > notPublishedTold) {
    line += "; " + std::to_string(notPublished - notPublishedTold) +
            " reports were not published while it was away";
    notPublishedTold = notPublished;
  }
  tell(line, false);
  everConnected = true;
  // At every connection: a broker that restarted without its store has
  // forgotten the retained status and configs.
  SendOwn(StatusTopic(), "online", true);
  if (settings.discoveryPrefix) {
    mosquitto_subscribe(client, nullptr, (*settings.discoveryPrefix + "/status").c_str(), kStatusQos);
    for (const auto& [node, report] : nodes) SendDiscovery(report);
  }
}

void MqttPublisher::Impl::OnPublish(int mid) {
  if (ownMessages.erase(mid) > 0) {
    if (mid == offlineMessage) offlineDelivered = true;
    return;
  }
  if (inFlight > 0) --inFlight;
  queue.CountPublished(1);
}

void MqttPublisher::Impl::OnMessage(const mosquitto_message& message) {
  const std::string_view payload(static_cast<const char*>(message.payload),
                                 static_cast<size_t>(message.payloadlen));
  // Home Assistant has restarted: it needs the configs again.
  if (payload == "online") discoveryWanted = true;
}

void MqttPublisher::Impl::SendOwn(const std::string& topic, const std::string& payload, bool retain,
                                  int* mid) {
  int sent = 0;
  if (mosquitto_publish(client, &sent, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                        kStatusQos, retain) == MOSQ_ERR_SUCCESS) {
    ownMessages.insert(sent);
    if (mid != nullptr) *mid = sent;
  }
}

void MqttPublisher::Impl::SendDiscovery(const NodeReport& report) {
  for (const MqttMessage& message : DiscoveryMessages(report, *settings.discoveryPrefix,
                                                      settings.topicPrefix, rowNames)) {
    SendOwn(message.topic, message.payload, message.retain);
  }
}

bool MqttPublisher::Impl::SendQueued() {
  if (inFlight >= kInFlight) return false;
  queue.Take(kInFlight - inFlight, &taken);
  // The batch leaves in as few segments as it fills, not one a report: most
  // of publishing's cost is the network's, per send.
  const Cork cork(client, taken.size() > 1);
  for (size_t i = 0; i < taken.size(); ++i) {
    const NodeReport& report = taken[i];
    if (settings.discoveryPrefix) {
      const auto [known, fresh] = nodes.try_emplace(report.node, report);
      const bool changed = !fresh && (known->second.model != report.model ||
                                      known->second.digitalCount != report.digitalCount ||
                                      known->second.analogCount != report.analogCount);
      known->second = report;
      if (fresh || changed) SendDiscovery(report);
    }
    topic.assign(settings.topicPrefix).append("/node/").append(std::to_string(report.node));
    format.Format(report, &payload);
    ++inFlight;
    const int result = mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                         payload.data(), settings.qos, true);
    if (result != MOSQ_ERR_SUCCESS) {
      --inFlight;
      queue.PutBack(taken, i);
      return false;
    }
  }
  return inFlight < kInFlight && !queue.Empty();
}

void MqttPublisher::Impl::Finish() {
  const Clock::time_point until = queue.StopDeadline();
  if (state == State::Connected) {
    // What is queued first, within the first half of the bound; then the
    // status, so that nobody takes a clean stop for a broken link.
    const Clock::time_point reportsUntil = Clock::now() + (until - Clock::now()) / 2;
    while (Clock::now() < reportsUntil && (!queue.Empty() || inFlight > 0) &&
           mosquitto_loop(client, 10, 1) == MOSQ_ERR_SUCCESS) {
      SendQueued();
    }
    SendOwn(StatusTopic(), "offline", true, &offlineMessage);
    while (!offlineDelivered && Clock::now() < until && mosquitto_loop(client, 10, 1) == MOSQ_ERR_SUCCESS) {
    }
  }
  mosquitto_disconnect(client);
  mosquitto_loop(client, 0, 1);
  queue.DropAll();
  queue.CountNotPublished(inFlight);
  inFlight = 0;
}

MqttPublisher::MqttPublisher(MqttSettings settings, std::array<std::string, kRowCount> rowNames, Tell tell,
                             PublishTiming timing)
    : impl_(std::make_unique<Impl>(std::move(settings), std::move(rowNames), std::move(tell), timing)) {}

MqttPublisher::~MqttPublisher() {
  Stop(std::chrono::milliseconds(0));
  if (impl_->client != nullptr) mosquitto_destroy(impl_->client);
}

bool MqttPublisher::Start() {
  if (!impl_->Prepare()) return false;
  try {
    impl_->thread = std::thread([this] { impl_->Main(); });
  } catch (const std::system_error& error) {
    impl_->tell("cannot start the MQTT thread: " + error.code().message(), true);
    return false;
  }
  return true;
}

void MqttPublisher::Publish(const NodeReport& report) { impl_->queue.Put(report); }

void MqttPublisher::Stop(std::chrono::milliseconds bound) {
  if (!impl_->thread.joinable()) return;
  impl_->queue.AskToStop(Clock::now() + bound);
  impl_->thread.join();
}

PublishCounts MqttPublisher::counts() const { return impl_->queue.counts(); }

std::string MqttPublisher::BrokerName() const { return impl_->BrokerName(); }

}  // namespace pelorin::mqtt
