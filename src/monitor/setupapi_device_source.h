#pragma once

#include "device_source.h"

namespace pelorin::monitor {

// The system's devices through SetupAPI: every present device of every class
// with its description and friendly name. Port notices come to the window as
// WM_DEVICECHANGE, so there is nothing to watch here.
class SetupApiDeviceSource : public DeviceSource {
 public:
  std::optional<std::vector<DeviceRecord>> PresentDevices(SerialPortRegistry& ports) override;
  int ChangeDescriptor() const override { return -1; }
  Change ReadChange(SerialPortRegistry&) override { return Change::None; }
};

}  // namespace pelorin::monitor
