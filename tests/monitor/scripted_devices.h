#pragma once

#include "device_source.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace pelorin::monitor::test {

// A device source the test scripts: the devices it reports, and the port
// notices it has waiting for the core to take (OnDeviceNotice).
class ScriptedDevices : public DeviceSource {
 public:

  // Serial ports by device node; each is registered and named like the
  // system's: "<description> - <node>[ [USB]] (COMn)".
  struct Port {
    std::string node;
    std::string description;
    bool usb = false;
    std::string identity;  // a USB adapter's stable identity; empty: the node
  };
  std::vector<Port> ports;
  // Devices reported as they are, after the ports.
  std::vector<DeviceRecord> others;
  bool failDeviceSet = false;
  int enumerations = 0;

  std::optional<std::vector<DeviceRecord>> PresentDevices(SerialPortRegistry& registry) override;
  int ChangeDescriptor() const override { return -1; }
  Change ReadChange(SerialPortRegistry& registry) override;
  void Notify(Change change);

 private:
  std::deque<Change> notices_;
};

}  // namespace pelorin::monitor::test
