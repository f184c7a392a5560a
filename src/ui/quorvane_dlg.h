#pragma once

#include "csv_log.h"
#include "device_source.h"
#include "gateway_link.h"
#include "node_report.h"
#include "port_list.h"
#include "report_sink.h"
#include "serial_ports.h"

#include <QColor>
#include <QElapsedTimer>
#include <QTimer>
#include <QDialog>
#include <QFont>
#include <QHash>
#include <QIcon>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace pelorin::ui {

class PathLabel;

enum class MonitorMode : int32_t { Idle = 0, Connecting = 1, Receiving = 2 };

// The program's only window: the gateway choice, the start button, the five
// live rows, the log controls and the version text. It owns the link, the
// rows, the log and the port list for its whole life, and is the link's frame
// handler owner (as a ReportSink) while a session runs.
class CQuorvaneDlg : public QDialog, public ReportSink {
  Q_OBJECT

 public:
  // devices: where serial ports are found; null for the system's (udev).
  explicit CQuorvaneDlg(const QString& programPath, std::unique_ptr<DeviceSource> devices = nullptr,
                        QWidget* parent = nullptr);
  ~CQuorvaneDlg() override;

  // The control with this id (1000..1037), or null.
  QWidget* Control(int id) const { return controls_.value(id, nullptr); }
  MonitorMode Mode() const { return static_cast<MonitorMode>(mode_.load()); }
  const QString& ApplicationTitle() const { return applicationName_; }

  const QString& LogPath() const { return logPath_; }
  // Sets logPath and the log path text, as a confirmed browse does.
  void SetLogPath(const QString& path);

  // The device-change notice: refreshes the port list on a port's arrival
  // or removal while Idle. Always answers 0.
  static constexpr int kDeviceArrival = 0x8000;
  static constexpr int kDeviceRemoveComplete = 0x8004;
  static constexpr int kDeviceTypePort = 3;
  int OnDeviceChange(int event, int deviceType);

  // ReportSink: called on the link's receive thread.
  RowValues& Rows() override { return rows_; }
  void SetNodeStatus(std::string_view text) override;
  void SetReceiveTime(std::string_view text) override;
  void RequestRowRefresh() override;
  void AppendRecord(const NodeReport& report) override;

 protected:
  // The message filter: Enter never presses a button or closes the window.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BindControls();
  QWidget* CreateControl(int index);
  void OnInitDialog();

  // Session control.
  void OnStartClicked();
  void StartSession();
  void StopSession();
  void UpdateControlStates();
  void StartupWorker();
  int32_t SendStartCommand();
  // Queued from other threads, by name: Qt's queue then carries the call
  // without any closure of ours crossing threads.
  Q_INVOKABLE void ShowStartupProgress();
  Q_INVOKABLE void FinishStartup(int code);

  // Serial port discovery.
  void RefreshPortList();
  void WatchDeviceChanges();

  // CSV log.
  void OnBrowseClicked();
  void OnLoggingClicked();
  void PostLogWriteFailure();
  Q_INVOKABLE void OnLogWriteFailed();

  // Live rows.
  Q_INVOKABLE void OnRefreshRows();
  void RefreshRows();
  std::optional<QColor> IndicatorFill(int row) const;

  void ShowMessage(const QString& text);

  // Members in the order the window owns them.
  const QColor redBrush_{255, 0, 0};
  const QColor blackBrush_{0, 0, 0};
  const QColor greyBrush_{127, 127, 127};
  QFont valueFont_;
  std::atomic<int32_t> mode_{static_cast<int32_t>(MonitorMode::Idle)};
  QString versionText_;
  QString logPath_;
  PortList portEntries_;
  RowValues rows_;
  int32_t commandWaitSeconds_ = 5;
  SerialPortRegistry serialPorts_;
  // Declared before the link, so that the link (and its receive thread, which
  // appends) goes first.
  CsvLog log_;
  GatewayLink link_{serialPorts_};
  QIcon icon_;
  QString applicationName_;
  std::unique_ptr<DeviceSource> devices_;

  QHash<int, QWidget*> controls_;
  QRadioButton* lanRadio_ = nullptr;
  QRadioButton* usbRadio_ = nullptr;
  QLineEdit* addressEdit_ = nullptr;
  QLineEdit* portEdit_ = nullptr;
  QComboBox* portList_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QLabel* versionLabel_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QLabel* nodeStatus_ = nullptr;
  QLabel* receiveTime_ = nullptr;
  QCheckBox* loggingCheck_ = nullptr;
  QPushButton* browseButton_ = nullptr;
  PathLabel* logPathText_ = nullptr;

  std::thread startupWorker_;
  // The handler's texts and the coalesced refresh request.
  std::mutex textMutex_;
  std::string pendingStatus_;
  std::string pendingReceiveTime_;
  bool textsChanged_ = false;
  std::atomic<bool> refreshPending_{false};
  QElapsedTimer lastRefresh_;
  QTimer deferredRefresh_;
};

}  // namespace pelorin::ui
