#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelorin {
class SerialPortRegistry;
}

namespace pelorin::monitor {

// One present device as the system describes it. A missing description means
// the device is skipped; a missing friendly name means it adds no port.
struct DeviceRecord {
  std::optional<std::string> description;
  std::optional<std::string> friendlyName;  // UTF-8; a serial port ends in "(COMn)"
};

// The system's devices and its notices of ports that come and go.
class DeviceSource {
 public:
  enum class Change { None, PortArrived, PortRemoved };

  virtual ~DeviceSource() = default;
  // Every present device, or nothing when the system gives no device set.
  // Serial ports get their COM numbers from `ports`.
  virtual std::optional<std::vector<DeviceRecord>> PresentDevices(SerialPortRegistry& ports) = 0;
  // A descriptor that turns readable when a notice waits; -1 when there are none.
  virtual int ChangeDescriptor() const = 0;
  // Takes the waiting notice. A port that arrives is registered in `ports`
  // at once, whatever the window does with the notice, so that a link that
  // reopens its port finds the device under its current node.
  virtual Change ReadChange(SerialPortRegistry& ports) = 0;
};

}  // namespace pelorin::monitor
