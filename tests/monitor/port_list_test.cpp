#include "control_table.h"
#include "loopback.h"
#include "monitor_core.h"
#include "port_list.h"
#include "recording_window.h"
#include "scripted_devices.h"
#include "serial_ports.h"

#include <gtest/gtest.h>

#include <memory>

namespace pelorin::monitor {
namespace {

using Change = DeviceSource::Change;
using test::RecordingWindow;

TEST(AddPortFromName, TakesTheNumberAfterTheFirstMarker) {
  const struct {
    const char* name;
    std::optional<int32_t> port;
  } cases[] = {
      {"USB Serial Port (COM3)", 3},
      {"Gateway (COM12a)", 12},
      {"Odd device (COM)", 0},
      {"Two markers (COM3) (COM4)", 3},
      {"Bluetooth link (COM 3)", std::nullopt},
      {"Unclosed (COM3", std::nullopt},
      {"lower case (com3)", std::nullopt},
      {"Keyboard", std::nullopt},
      {"日本語のポート (COM7)", 7},
  };
  for (const auto& c : cases) {
    PortList list;
    AddPortFromName(list, c.name);
    ASSERT_EQ(list.count, c.port ? 1 : 0) << c.name;
    if (c.port) {
      EXPECT_EQ(list.entries[0].port, *c.port) << c.name;
      EXPECT_EQ(list.entries[0].text, c.name);
    }
  }
}

TEST(AddPortFromName, KeepsTo256Slots) {
  PortList list;
  for (int i = 1; i <= 300; ++i) AddPortFromName(list, "Port (COM" + std::to_string(i) + ")");
  EXPECT_EQ(list.count, 256);
  EXPECT_EQ(list.entries[255].port, 256);
}

TEST(EnumeratePorts, OutcomeIsThatOfTheLastDevice) {
  SerialPortRegistry registry;
  const struct {
    const char* name;
    bool failSet;
    std::vector<DeviceRecord> devices;
    bool outcome;
    int32_t count;
  } cases[] = {
      {"no device set", true, {}, false, 0},
      {"no devices", false, {}, false, 0},
      {"ports", false, {{"a", "A (COM1)"}, {"b", "B (COM2)"}}, true, 2},
      {"last without description", false, {{"a", "A (COM1)"}, {std::nullopt, "B (COM2)"}}, false, 1},
      {"without friendly name", false, {{"a", "A (COM1)"}, {"b", std::nullopt}}, true, 1},
  };
  for (const auto& c : cases) {
    test::ScriptedDevices devices;
    devices.failDeviceSet = c.failSet;
    devices.others = c.devices;
    PortList list;
    list.count = 9;
    EXPECT_EQ(EnumeratePorts(devices, registry, list), c.outcome) << c.name;
    EXPECT_EQ(list.count, c.count) << c.name;
  }
}

TEST(ChooseSelection, PrefersUsbThenTheRememberedPort) {
  const auto list = [](std::initializer_list<const char*> names) {
    PortList ports;
    for (const char* name : names) AddPortFromName(ports, name);
    return ports;
  };
  const struct {
    const char* name;
    PortList ports;
    std::optional<int32_t> remembered;
    int32_t selected;
  } cases[] = {
      {"first USB wins over the remembered port",
       list({"A (COM1)", "B [USB] (COM5)", "C [USB] (COM6)"}), 1, 1},
      {"lower-case usb is no USB", list({"A (COM1)", "B usb (COM5)"}), std::nullopt, 0},
      {"remembered COM5 at a new place", list({"A (COM1)", "B (COM2)", "C (COM5)"}), 5, 2},
      {"remembered port gone", list({"A (COM1)", "B (COM2)"}), 5, 0},
      {"the last of equal numbers", list({"A (COM5)", "B (COM1)", "C (COM5)"}), 5, 2},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseSelection(c.ports, c.remembered), c.selected) << c.name;
}

class PortListRules : public ::testing::Test {
 protected:
  void Open() {
    core = std::make_unique<MonitorCore>(window, "/opt/pelorin/bin/pelorin",
                                         std::unique_ptr<DeviceSource>(devices));
    core->OnInitDialog();
  }
  const RecordingWindow::Control& List() { return window[ids::PortList]; }
  void ChooseUsb() {
    window.Check(ids::LanRadio, false);
    window.Check(ids::UsbRadio, true);
    core->OnGatewayChoiceClicked();
  }
  void Notify(Change change) {
    devices->Notify(change);
    core->OnDeviceNotice();
    window.RunFor(*core, 0);
  }

  RecordingWindow window;
  test::ScriptedDevices* devices = new test::ScriptedDevices;
  std::unique_ptr<MonitorCore> core;
};

TEST_F(PortListRules, FollowArrivalsAndRemovalsWhileIdle) {
  devices->ports = {{"/dev/ttyS4", "Serial port", false, ""}};
  Open();
  ASSERT_EQ(List().items.size(), 1u);
  ChooseUsb();

  devices->ports.push_back({"/dev/ttyUSB0", "FT232R USB UART", true, ""});
  Notify(Change::PortArrived);
  ASSERT_EQ(List().items.size(), 2u);
  EXPECT_EQ(List().selection, 1) << "the USB port is chosen at once";
  EXPECT_NE(List().items[1].find("/dev/ttyUSB0"), std::string::npos);

  devices->ports.erase(devices->ports.begin() + 1);
  Notify(Change::PortRemoved);
  EXPECT_EQ(List().items.size(), 1u);

  int before = devices->enumerations;
  Notify(Change::None);  // some other device
  EXPECT_EQ(devices->enumerations, before);

  // A burst of notices (a hub with several adapters) enumerates once, after
  // the notices have returned.
  for (int i = 0; i < 3; ++i) {
    devices->Notify(Change::PortArrived);
    core->OnDeviceNotice();
  }
  EXPECT_EQ(devices->enumerations, before);
  window.RunFor(*core, 0);
  EXPECT_EQ(devices->enumerations, before + 1);
}

TEST_F(PortListRules, AnEmptyRefreshLeavesTheListDisabledUntilTheControlsAreUpdated) {
  Open();
  ChooseUsb();
  EXPECT_TRUE(List().enabled);
  Notify(Change::PortArrived);  // still nothing there
  EXPECT_FALSE(List().enabled);
  devices->ports = {{"/dev/ttyACM0", "Gateway", true, ""}};
  Notify(Change::PortArrived);
  EXPECT_EQ(List().items.size(), 1u);
  EXPECT_FALSE(List().enabled);
  ChooseUsb();
  EXPECT_TRUE(List().enabled);
}

TEST_F(PortListRules, OnlyPortNoticesInIdleRefreshTheList) {
  Open();
  pelorin::test::LoopbackServer gateway;  // accepts and never answers: Connecting
  window.Type(ids::AddressEdit, "127.0.0.1");
  window.Type(ids::PortEdit, gateway.port());
  core->OnStartClicked();
  ASSERT_EQ(core->Mode(), MonitorMode::Connecting);

  devices->ports = {{"/dev/ttyUSB0", "FT232R USB UART", true, ""}};
  const int before = devices->enumerations;
  Notify(Change::PortArrived);
  EXPECT_EQ(devices->enumerations, before);

  core->OnStartClicked();  // abort
  ASSERT_TRUE(window.RunUntil(*core, [&] { return core->Mode() == MonitorMode::Idle; }, 3000));
  EXPECT_TRUE(List().items.empty()) << "not brought up to date by the return to Idle";
  EXPECT_EQ(core->OnDeviceChange(0x0007, MonitorCore::kDeviceTypePort), 0);
  EXPECT_EQ(core->OnDeviceChange(MonitorCore::kDeviceArrival, 5), 0);
  EXPECT_EQ(devices->enumerations, before);
  EXPECT_EQ(core->OnDeviceChange(MonitorCore::kDeviceRemoveComplete, MonitorCore::kDeviceTypePort), 0);
  window.RunFor(*core, 0);
  EXPECT_EQ(List().items.size(), 1u);
}

}  // namespace
}  // namespace pelorin::monitor
