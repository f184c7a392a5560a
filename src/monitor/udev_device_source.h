#pragma once

#include "device_source.h"

struct udev;
struct udev_monitor;

namespace pelorin::monitor {

// Serial ports from udev: the "tty" devices that have a parent device, less
// the legacy 8250 ports with no hardware behind them. Each friendly name holds
// a description, the device node, "[USB]" for USB-attached ports, and ends in
// "(COMn)" with n from the serial port registry; a USB adapter is registered
// under its stable identity so that it keeps its number when it comes back
// under another node. Without a udev daemon the devices still come from
// sysfs, and no notices arrive.
class UdevDeviceSource : public DeviceSource {
 public:
  UdevDeviceSource();
  ~UdevDeviceSource() override;
  UdevDeviceSource(const UdevDeviceSource&) = delete;
  UdevDeviceSource& operator=(const UdevDeviceSource&) = delete;

  std::optional<std::vector<DeviceRecord>> PresentDevices(SerialPortRegistry& ports) override;
  int ChangeDescriptor() const override;
  Change ReadChange(SerialPortRegistry& ports) override;

 private:
  struct udev* udev_ = nullptr;
  struct udev_monitor* monitor_ = nullptr;
};

}  // namespace pelorin::monitor
