#include "scripted_devices.h"

#include "serial_ports.h"

namespace pelorin::monitor::test {

namespace {

int32_t Register(SerialPortRegistry& registry, const ScriptedDevices::Port& port) {
  return registry.NumberFor(port.identity.empty() ? port.node : port.identity, port.node);
}

}  // namespace

std::optional<std::vector<DeviceRecord>> ScriptedDevices::PresentDevices(SerialPortRegistry& registry) {
  ++enumerations;
  if (failDeviceSet) return std::nullopt;
  std::vector<DeviceRecord> devices;
  for (const Port& port : ports) {
    const int32_t number = Register(registry, port);
    devices.push_back({port.description, port.description + " - " + port.node +
                                             (port.usb ? " [USB]" : "") + " (COM" +
                                             std::to_string(number) + ")"});
  }
  devices.insert(devices.end(), others.begin(), others.end());
  return devices;
}

DeviceSource::Change ScriptedDevices::ReadChange(SerialPortRegistry& registry) {
  if (notices_.empty()) return Change::None;
  const Change change = notices_.front();
  notices_.pop_front();
  if (change == Change::PortArrived) {
    for (const Port& port : ports) Register(registry, port);
  }
  return change;
}

void ScriptedDevices::Notify(Change change) { notices_.push_back(change); }

}  // namespace pelorin::monitor::test
