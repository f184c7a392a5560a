#include "mqtt_watcher.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <stdexcept>

namespace pelorin::test {

namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(200);

void InitializeLibraryOnce() {
  static const int initialized = mosquitto_lib_init();
  (void)initialized;
}

void Check(int code, const char* what) {
  if (code != MOSQ_ERR_SUCCESS) throw std::runtime_error(std::string(what) + ": " + mosquitto_strerror(code));
}

}  // namespace

MqttWatcher::MqttWatcher(int port, const std::string& topicFilter, const MqttWatcherSettings& settings)
    : topicFilter_(topicFilter) {
  InitializeLibraryOnce();
  client_ = mosquitto_new(nullptr, true, this);
  if (client_ == nullptr) throw std::runtime_error("mosquitto_new failed");
  try {
    Check(mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5), "MQTT 5");
    if (!settings.caFile.empty()) {
      Check(mosquitto_tls_set(client_, settings.caFile.c_str(), nullptr, nullptr, nullptr, nullptr), "TLS");
    }
    if (!settings.user.empty()) {
      Check(mosquitto_username_pw_set(client_, settings.user.c_str(), settings.password.c_str()), "login");
    }
  } catch (...) {
    Close();
    throw;
  }
  mosquitto_connect_callback_set(client_, OnConnect);
  mosquitto_subscribe_callback_set(client_, OnSubscribe);
  mosquitto_message_callback_set(client_, OnMessage);
  network_ = std::thread([this, port] { Run(port); });

  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, kBound, [this] { return subscribed_; })) {
    const std::string failure = failure_.empty() ? "no answer" : failure_;
    lock.unlock();
    Close();
    throw std::runtime_error("not subscribed to " + topicFilter + " within " +
                             std::to_string(kBound.count()) + " s: " + failure);
  }
}

MqttWatcher::~MqttWatcher() { Close(); }

void MqttWatcher::Close() {
  stopping_ = true;
  if (network_.joinable()) network_.join();
  mosquitto_destroy(client_);
  client_ = nullptr;
}

// Connects, and connects again after any loss, until told to stop; each turn
// waits at most 100 ms so that a stop is prompt.
void MqttWatcher::Run(int port) {
  bool connected = false;
  while (!stopping_) {
    const int code = connected ? mosquitto_loop(client_, 100, 1)
                               : mosquitto_connect(client_, "127.0.0.1", port, 60);
    connected = code == MOSQ_ERR_SUCCESS;
    if (!connected) {
      {
        std::lock_guard lock(mutex_);
        if (failure_.empty()) failure_ = mosquitto_strerror(code);
      }
      std::this_thread::sleep_for(kRetryPause);
    }
  }
  if (connected) mosquitto_disconnect(client_);
}

bool MqttWatcher::WaitFor(const std::function<bool(const Messages&)>& predicate,
                          std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, bound, [&] { return predicate(messages_); });
}

MqttWatcher::Messages MqttWatcher::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

// After every connection: a clean session holds no subscription.
void MqttWatcher::OnConnect(mosquitto* client, void* self, int reasonCode) {
  auto* watcher = static_cast<MqttWatcher*>(self);
  if (reasonCode != 0) {
    std::lock_guard lock(watcher->mutex_);
    watcher->failure_ = mosquitto_reason_string(reasonCode);
    return;
  }
  mosquitto_subscribe_v5(client, nullptr, watcher->topicFilter_.c_str(), 1, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED,
                         nullptr);
}

void MqttWatcher::OnSubscribe(mosquitto*, void* self, int, int count, const int* grantedQos) {
  auto* watcher = static_cast<MqttWatcher*>(self);
  std::lock_guard lock(watcher->mutex_);
  if (count == 1 && grantedQos[0] < 0x80) {
    watcher->subscribed_ = true;
  } else {
    watcher->failure_ = "subscription refused";
  }
  watcher->changed_.notify_all();
}

void MqttWatcher::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
  auto* watcher = static_cast<MqttWatcher*>(self);
  std::lock_guard lock(watcher->mutex_);
  watcher->messages_.push_back({message->topic, std::string(static_cast<const char*>(message->payload),
                                                            static_cast<size_t>(message->payloadlen)),
                                message->retain});
  watcher->changed_.notify_all();
}

}  // namespace pelorin::test
