#pragma once

#include "calm_name_events.h"
#include "control_table.h"
#include "device_source.h"
#include "monitor_core.h"
#include "monitor_window.h"

#include <QDialog>
#include <QFont>
#include <QHash>
#include <QIcon>

#include <memory>

namespace pelorin::ui {

using monitor::MonitorMode;

// The program's only window on Qt: it builds its widgets from the control
// table and lends them to the monitor core, which holds all behaviour. It
// forwards clicks, edits, device notices and posted work to the core and
// answers the core's operations on its controls by id.
class CQuorvaneDlg : public QDialog, private monitor::MonitorWindow {
  Q_OBJECT

 public:
  // devices: where serial ports are found; null for the system's (udev).
  explicit CQuorvaneDlg(const QString& programPath,
                        std::unique_ptr<monitor::DeviceSource> devices = nullptr,
                        QWidget* parent = nullptr);
  ~CQuorvaneDlg() override;

  // The control with this id (1000..1037), or null.
  QWidget* Control(int id) const { return controls_.value(id, nullptr); }
  MonitorMode Mode() const { return core_.Mode(); }
  const QString& ApplicationTitle() const { return applicationName_; }
  QString LogPath() const { return QString::fromStdString(core_.LogPath()); }
  void SetLogPath(const QString& path) { core_.SetLogPath(path.toStdString()); }

  static constexpr int kDeviceArrival = monitor::MonitorCore::kDeviceArrival;
  static constexpr int kDeviceRemoveComplete = monitor::MonitorCore::kDeviceRemoveComplete;
  static constexpr int kDeviceTypePort = monitor::MonitorCore::kDeviceTypePort;
  int OnDeviceChange(int event, int deviceType) { return core_.OnDeviceChange(event, deviceType); }

 protected:
  // The message filter: Enter never presses a button or closes the window.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BindControls();
  QWidget* CreateControl(const monitor::ControlEntry& entry);
  void ConnectControls();
  void WatchDeviceChanges();
  // Queued from other threads by name: Qt's queue carries the task and its
  // value, never a closure of ours, which the thread sanitizer would see
  // made on one thread and run on another without the queue's lock between.
  Q_INVOKABLE void OnWindowTask(int task, int value);

  // MonitorWindow
  void SetControlText(int id, std::string_view text) override;
  std::string ControlText(int id) const override;
  void ShowControl(int id, bool shown) override;
  void EnableControl(int id, bool enabled) override;
  bool IsChecked(int id) const override;
  void SetChecked(int id, bool checked) override;
  void SetListItems(int id, const std::vector<std::string>& items) override;
  int ListSelection(int id) const override;
  void SetListSelection(int id, int index) override;
  void InvalidateControl(int id) override;
  bool AssistiveToolsListening() const override;
  void AnnounceChange(int id) override;
  void ShowMessage(std::string_view text) override;
  std::optional<std::string> AskSaveFilePath(const monitor::SaveFileRequest& request) override;
  void PostToWindow(monitor::WindowTask task, int32_t value) override;

  QString applicationName_;
  QIcon icon_;
  QFont valueFont_;
  QHash<int, QWidget*> controls_;
  CalmNameEvents* nameEvents_ = new CalmNameEvents(this);
  monitor::MonitorCore core_;
};

}  // namespace pelorin::ui
