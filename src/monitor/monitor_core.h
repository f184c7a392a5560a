#pragma once

#include "csv_log.h"
#include "device_source.h"
#include "gateway_link.h"
#include "monitor_window.h"
#include "node_report.h"
#include "port_list.h"
#include "report_session.h"
#include "report_sink.h"
#include "row_announcer.h"
#include "serial_ports.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

namespace pelorin::monitor {

enum class MonitorMode : int32_t { Idle = 0, Connecting = 1, Receiving = 2 };

struct Rgb {
  uint8_t red, green, blue;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The window's three brushes.
inline constexpr Rgb kRedBrush{255, 0, 0};
inline constexpr Rgb kBlackBrush{0, 0, 0};
inline constexpr Rgb kGreyBrush{127, 127, 127};

// The behaviour of the monitor window, free of any window toolkit: session
// control, the control states, the live rows, the port list and the log
// controls. It owns the link, the rows, the log and the port list for its
// whole life and reaches its window only through MonitorWindow. Every public
// call but those of ReportSink and SessionObserver comes on the window thread.
class MonitorCore : public ReportSink, public protocol::SessionObserver {
 public:
  MonitorCore(MonitorWindow& window, std::string_view programPath,
              std::unique_ptr<DeviceSource> devices);
  ~MonitorCore();
  MonitorCore(const MonitorCore&) = delete;
  MonitorCore& operator=(const MonitorCore&) = delete;

  // The window's initialisation: texts, the port list, the Idle states.
  void OnInitDialog();
  // Ends a start-up still running, then the link, then the log. The window
  // calls it before it goes; nothing reaches the window afterwards.
  void Shutdown();

  // The start button: start in Idle, abort in Connecting, stop in Receiving.
  void OnStartClicked();
  // A click on either gateway radio button.
  void OnGatewayChoiceClicked() { UpdateControlStates(); }
  // The user changed a row name edit.
  void OnRowNameChanged(int row);
  // After the logging check box has toggled itself.
  void OnLoggingClicked();
  void OnBrowseClicked();

  // The device-change notice: a port's arrival or removal while Idle asks for
  // a refresh of the port list, which runs as a window task once for a whole
  // burst of notices; the notice itself returns at once, as the system asks of
  // the handlers of its broadcast. Always answers 0.
  static constexpr int kDeviceArrival = 0x8000;
  static constexpr int kDeviceRemoveComplete = 0x8004;
  static constexpr int kDeviceTypePort = 3;
  int OnDeviceChange(int event, int deviceType);
  // A notice waits on devices().ChangeDescriptor(): take it and act on it.
  void OnDeviceNotice();

  // What another thread (or a delay) handed to the window thread.
  void OnWindowTask(WindowTask task, int32_t value);

  // An indicator's fill at paint time: only while Receiving from a gateway
  // that is not lost, by the row's digital state; nothing means the window's
  // ordinary background.
  std::optional<Rgb> IndicatorFill(int row) const;
  // The indicator's fill in words, for those who cannot tell the colours
  // apart or do not see them: オン (red), オフ (black), データなし (grey);
  // empty while it shows the ordinary background.
  std::string_view IndicatorState(int row) const;

  MonitorMode Mode() const { return static_cast<MonitorMode>(mode_.load()); }
  const std::string& LogPath() const { return logPath_; }
  // Sets logPath and the log path text, as a confirmed browse does.
  void SetLogPath(std::string path);
  DeviceSource& devices() { return *devices_; }

  // ReportSink: called on the link's receive thread.
  RowValues& Rows() override { return rows_; }
  void SetNodeStatus(std::string_view text) override;
  void SetReceiveTime(std::string_view text) override;
  void RequestRowRefresh() override;
  void ReportsHandedOver() override;
  void AppendRecord(const NodeReport& report) override;

  // SessionObserver: called on the start-up worker's thread, which keeps the
  // session once it has started.
  void SessionChanged(const protocol::SessionEvent& event) override;

 private:
  void StartSession();
  void StopSession();
  void UpdateControlStates();
  void StartupWorker();
  int32_t SendStartCommand();
  void ShowStartupProgress();
  void FinishStartup(int32_t code);
  void RefreshPortList();
  void ClearRows();
  void ForgetShownReport();
  // Whether the rows show a live gateway: Receiving, and not lost.
  bool Live() const;
  void OnGatewayChanged();
  void ShowLastNodeStatus();
  void OnPortsChanged();
  void OnRefreshRows();
  void RefreshRows();
  void PaintIndicators();
  void AnnounceRowChanges();
  void SetLiveText(int id, std::string_view text);
  void ShowLive(int id, bool shown);
  void OnLogWriteFailed();

  MonitorWindow& window_;
  std::atomic<int32_t> mode_{static_cast<int32_t>(MonitorMode::Idle)};
  const std::string versionText_;
  std::string logPath_;
  PortList portEntries_;
  RowValues rows_;
  RowValues::Snapshot shownRows_ = rows_.Read();  // window thread only
  SerialPortRegistry serialPorts_;
  // Declared before the link, so that the link (and its receive thread, which
  // appends) goes first.
  CsvLog log_;
  GatewayLink link_{serialPorts_};
  // The start command waits this long for the gateway's answer, at the
  // start and at every reconnection.
  static constexpr int32_t kCommandWaitSeconds = 5;
  protocol::ReportSession session_{link_, *this, *this,
                                   {.commandWaitSeconds = kCommandWaitSeconds}};
  std::unique_ptr<DeviceSource> devices_;

  // Starts the session, then keeps it until the user stops it.
  std::thread startupWorker_;
  // Whether the session has lost its gateway, as the worker last said.
  std::mutex gatewayMutex_;
  bool gatewayLost_ = false;  // guarded by gatewayMutex_
  // The handler's texts and the coalesced refresh request.
  std::mutex textMutex_;
  std::string pendingStatus_;
  std::string pendingReceiveTime_;
  bool textsChanged_ = false;
  bool rowsChanged_ = false;  // receive thread only
  std::atomic<bool> refreshPending_{false};
  // Window thread only.
  bool portRefreshPosted_ = false;
  bool lossShown_ = false;  // the window says that the gateway is lost
  RowAnnouncer announcer_;
  // What the refresh last gave the live controls; unknown ones are set.
  std::unordered_map<int, std::string> liveTexts_;
  std::unordered_map<int, bool> liveShown_;
  // An indicator's fill as last painted, where known.
  std::array<std::optional<Rgb>, 5> paintedFills_{};
  std::array<bool, 5> fillsKnown_{};
};

// White space at both ends as the C library knows it: space, tab, line feed,
// vertical tab, form feed, carriage return.
std::string TrimBlanks(std::string_view text);

}  // namespace pelorin::monitor
