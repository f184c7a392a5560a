#pragma once

#include "device_source.h"

#include <optional>
#include <vector>

namespace pelorin::bench {

// A machine without serial ports: the benchmarks' windows use TCP only.
class NoDevices : public monitor::DeviceSource {
 public:
  std::optional<std::vector<monitor::DeviceRecord>> PresentDevices(SerialPortRegistry&) override {
    return std::vector<monitor::DeviceRecord>{};
  }
  int ChangeDescriptor() const override { return -1; }
  Change ReadChange(SerialPortRegistry&) override { return Change::None; }
};

}  // namespace pelorin::bench
