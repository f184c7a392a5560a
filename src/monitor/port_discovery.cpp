// The serial port list: filled at start-up, and again whenever a port comes
// or goes while the window is idle.

#include "control_table.h"
#include "monitor_core.h"

namespace pelorin::monitor {

void MonitorCore::OnDeviceNotice() {
  switch (devices_->ReadChange(serialPorts_)) {
    case DeviceSource::Change::PortArrived:
      OnDeviceChange(kDeviceArrival, kDeviceTypePort);
      break;
    case DeviceSource::Change::PortRemoved:
      OnDeviceChange(kDeviceRemoveComplete, kDeviceTypePort);
      break;
    case DeviceSource::Change::None:
      break;
  }
}

int MonitorCore::OnDeviceChange(int event, int deviceType) {
  if (Mode() == MonitorMode::Idle && deviceType == kDeviceTypePort &&
      (event == kDeviceArrival || event == kDeviceRemoveComplete) && !portRefreshPosted_) {
    portRefreshPosted_ = true;
    window_.PostToWindow(WindowTask::RefreshPorts, 0);
  }
  return 0;
}

void MonitorCore::OnPortsChanged() {
  portRefreshPosted_ = false;
  if (Mode() == MonitorMode::Idle) RefreshPortList();
}

void MonitorCore::RefreshPortList() {
  std::optional<int32_t> remembered;
  const int selected = window_.ListSelection(ids::PortList);
  if (selected >= 0 && selected < portEntries_.count) {
    remembered = portEntries_.entries[static_cast<size_t>(selected)].port;
  }
  // The list's enabled state belongs to UpdateControlStates; a refresh only
  // ever disables it.
  if (!EnumeratePorts(*devices_, serialPorts_, portEntries_) || portEntries_.count == 0) {
    window_.SetListItems(ids::PortList, {});
    window_.EnableControl(ids::PortList, false);
    return;
  }
  std::vector<std::string> items;
  items.reserve(static_cast<size_t>(portEntries_.count));
  for (int32_t i = 0; i < portEntries_.count; ++i) {
    items.push_back(portEntries_.entries[static_cast<size_t>(i)].text);
  }
  window_.SetListItems(ids::PortList, items);
  window_.SetListSelection(ids::PortList, ChooseSelection(portEntries_, remembered));
}

}  // namespace pelorin::monitor
