#include "mqtt_publisher.h"

// A build without an MQTT library: the options refuse --mqtt, so nothing
// here is ever asked to publish.
namespace pelorin::mqtt {

bool MqttBuilt() { return false; }

struct MqttPublisher::Impl {};

MqttPublisher::MqttPublisher(MqttSettings, std::array<std::string, kRowCount>, Tell, PublishTiming) {}
MqttPublisher::~MqttPublisher() = default;
bool MqttPublisher::Start() { return false; }
void MqttPublisher::Publish(const NodeReport&) {}
void MqttPublisher::Stop(std::chrono::milliseconds) {}
PublishCounts MqttPublisher::counts() const { return {}; }
std::string MqttPublisher::BrokerName() const { return {}; }

}  // namespace pelorin::mqtt
