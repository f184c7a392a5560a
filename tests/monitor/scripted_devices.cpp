#include "scripted_devices.h"

#include "serial_ports.h"

#include <fcntl.h>
#include <unistd.h>

namespace pelorin::monitor::test {

namespace {

int32_t Register(SerialPortRegistry& registry, const ScriptedDevices::Port& port) {
  return registry.NumberFor(port.identity.empty() ? port.node : port.identity, port.node);
}

}  // namespace

ScriptedDevices::ScriptedDevices() {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
}

ScriptedDevices::~ScriptedDevices() {
  for (int fd : pipe_) {
    if (fd >= 0) close(fd);
  }
}

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
  char code = 0;
  if (read(pipe_[0], &code, 1) != 1) return Change::None;
  if (code == 'a') {
    for (const Port& port : ports) Register(registry, port);
  }
  return code == 'a' ? Change::PortArrived : code == 'r' ? Change::PortRemoved : Change::None;
}

void ScriptedDevices::Notify(Change change) {
  const char code = change == Change::PortArrived ? 'a' : change == Change::PortRemoved ? 'r' : 'n';
  [[maybe_unused]] ssize_t n = write(pipe_[1], &code, 1);
}

}  // namespace pelorin::monitor::test
