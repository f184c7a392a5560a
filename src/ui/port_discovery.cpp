// The serial port list: filled at start-up, and again whenever a port comes
// or goes while the window is idle.

#include "control_table.h"
#include "quorvane_dlg.h"

#include <QComboBox>
#include <QSocketNotifier>

namespace pelorin::ui {

void CQuorvaneDlg::WatchDeviceChanges() {
  const int descriptor = devices_->ChangeDescriptor();
  if (descriptor < 0) return;
  auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] {
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
  });
}

int CQuorvaneDlg::OnDeviceChange(int event, int deviceType) {
  if (Mode() == MonitorMode::Idle && deviceType == kDeviceTypePort &&
      (event == kDeviceArrival || event == kDeviceRemoveComplete)) {
    RefreshPortList();
  }
  return 0;
}

void CQuorvaneDlg::RefreshPortList() {
  std::optional<int32_t> remembered;
  const int selected = portList_->currentIndex();
  if (selected >= 0 && selected < portEntries_.count) {
    remembered = portEntries_.entries[static_cast<size_t>(selected)].port;
  }
  portList_->clear();
  // The list's enabled state belongs to UpdateControlStates; a refresh only
  // ever disables it.
  if (!EnumeratePorts(*devices_, serialPorts_, portEntries_) || portEntries_.count == 0) {
    portList_->setEnabled(false);
    return;
  }
  for (int32_t i = 0; i < portEntries_.count; ++i) {
    portList_->addItem(QString::fromStdString(portEntries_.entries[static_cast<size_t>(i)].text));
  }
  portList_->setCurrentIndex(ChooseSelection(portEntries_, remembered));
}

}  // namespace pelorin::ui
