#include "port_list.h"
#include "serial_ports.h"
#include "udev_device_source.h"

#include <gtest/gtest.h>

namespace pelorin::monitor {
namespace {

TEST(UdevDeviceSource, EnumeratesThisMachinesPortsWithWorkingNumbers) {
  SerialPortRegistry registry;
  UdevDeviceSource source;
  const auto devices = source.PresentDevices(registry);
  ASSERT_TRUE(devices.has_value());
  for (const DeviceRecord& device : *devices) {
    ASSERT_TRUE(device.friendlyName.has_value());
    PortList list;
    AddPortFromName(list, *device.friendlyName);
    ASSERT_EQ(list.count, 1) << *device.friendlyName;
    const auto node = registry.DeviceNode(list.entries[0].port);
    ASSERT_TRUE(node.has_value());
    EXPECT_NE(device.friendlyName->find(*node), std::string::npos);
    EXPECT_EQ(device.friendlyName->find("/dev/ttyS1 "), std::string::npos)
        << "a legacy port without a UART is left out";
    EXPECT_EQ(device.friendlyName->find("Serial port"), std::string::npos)
        << "a port without a model name is described in Japanese";
  }
}

}  // namespace
}  // namespace pelorin::monitor
