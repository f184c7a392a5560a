// The start button's session: start in Idle, abort in Connecting, stop in
// Receiving, and the enabling of the controls by mode.

#include "control_table.h"
#include "link_error.h"
#include "monitor_core.h"
#include "report_session.h"
#include "startup_thread.h"

#include <optional>
#include <system_error>
#include <utility>

namespace pelorin::monitor {

namespace {

constexpr std::string_view kStartCaption = "接続";
constexpr std::string_view kAbortCaption = "中断";
constexpr std::string_view kStopCaption = "切断";
// In the node status line while the session reaches for its gateway again.
constexpr std::string_view kGatewayLostText = "接続が切れました。再接続しています…";

// A TCP port as the user typed it, from 1 to 65535; nothing otherwise.
std::optional<int> PortNumber(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int port = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

}  // namespace

void MonitorCore::OnStartClicked() {
  switch (Mode()) {
    case MonitorMode::Connecting:
      link_.abortRequested = 1;
      return;
    case MonitorMode::Receiving:
      StopSession();
      return;
    case MonitorMode::Idle:
      StartSession();
      return;
  }
}

void MonitorCore::StartSession() {
  // The previous start-up worker has said its last word (the mode is Idle
  // again) and is ending: wait for it before the link's fields change.
  if (startupWorker_.joinable()) startupWorker_.join();
  if (window_.IsChecked(ids::LanRadio)) {
    link_.useTcp = 1;
    const std::string address = TrimBlanks(window_.ControlText(ids::AddressEdit));
    if (address.empty()) {
      window_.ShowMessage("LAN接続の場合、接続先アドレスを設定してください。");
      return;
    }
    link_.SetHostName(address);
    const std::string port = TrimBlanks(window_.ControlText(ids::PortEdit));
    if (port.empty()) {
      window_.ShowMessage("LAN接続の場合、接続先ポートを設定してください。");
      return;
    }
    // The system would take a number above 65535 modulo 65536, and connect
    // elsewhere.
    if (!PortNumber(port)) {
      window_.ShowMessage("接続先ポートは1～65535の範囲で設定してください。");
      return;
    }
    link_.SetPortText(port);
  } else {
    link_.useTcp = 0;
    const int selected = window_.ListSelection(ids::PortList);
    if (selected < 0 || selected >= portEntries_.count) {
      window_.ShowMessage("接続先を選択してください。");
      return;
    }
    link_.comPort = portEntries_.entries[static_cast<size_t>(selected)].port;
  }

  // Before the link opens, while no receive thread writes the rows: what the
  // last session showed must not pass for this one's.
  ForgetShownReport();
  {
    std::lock_guard lock(gatewayMutex_);
    gatewayLost_ = false;
  }
  lossShown_ = false;
  if (const int32_t code = session_.Open(); code != 0) {
    window_.ShowMessage(LinkErrorText(code));
    return;
  }

  mode_ = static_cast<int32_t>(MonitorMode::Connecting);
  for (int id : {ids::NodeEdit, ids::LanRadio, ids::UsbRadio, ids::AddressEdit, ids::PortEdit,
                 ids::PortList}) {
    window_.EnableControl(id, false);
  }
  window_.SetControlText(ids::StartButton, kAbortCaption);
  try {
    startupWorker_ = std::thread([this] { StartupWorker(); });
  } catch (const std::system_error& error) {
    session_.Close();
    FinishStartup(error.code().value());
  }
}

// Ends the keeping of the session, even in the middle of a reconnection.
void MonitorCore::StopSession() {
  session_.EndKeeping();
  if (startupWorker_.joinable()) startupWorker_.join();
  session_.Close();
  if (std::exchange(lossShown_, false)) ShowLastNodeStatus();
  mode_ = static_cast<int32_t>(MonitorMode::Idle);
  UpdateControlStates();
}

// The start-up worker's thread. It never touches the window and never waits
// for it: it asks the window thread to act. After a start it keeps the
// session, reconnecting when the gateway is lost, until the user stops.
void MonitorCore::StartupWorker() {
  PrepareStartupThread();
  window_.PostToWindow(WindowTask::ShowStartupProgress, 0);
  const int32_t code = SendStartCommand();
  window_.PostToWindow(WindowTask::FinishStartup, code);
  if (code == 0) session_.Keep();
}

void MonitorCore::ShowStartupProgress() {
  window_.ShowControl(ids::VersionText, false);
  window_.ShowControl(ids::Progress, true);
}

int32_t MonitorCore::SendStartCommand() { return session_.Start(); }

// The end of a start-up on the window thread: the message (while the progress
// bar still shows), then the progress bar away and the new mode.
void MonitorCore::FinishStartup(int32_t code) {
  if (code != 0 && code != LinkError::Abort) window_.ShowMessage(LinkErrorText(code));
  window_.ShowControl(ids::Progress, false);
  window_.ShowControl(ids::VersionText, true);
  if (code == 0) {
    mode_ = static_cast<int32_t>(MonitorMode::Receiving);
  } else {
    window_.SetControlText(ids::StartButton, kStartCaption);
    mode_ = static_cast<int32_t>(MonitorMode::Idle);
  }
  UpdateControlStates();
}

void MonitorCore::UpdateControlStates() {
  const bool idle = Mode() == MonitorMode::Idle;
  const bool lan = window_.IsChecked(ids::LanRadio);
  if (idle) {
    for (int id : {ids::NodeLabel, ids::GatewayGroup, ids::AddressLabel, ids::PortLabel}) {
      window_.EnableControl(id, true);
    }
  }
  for (int id : {ids::NodeEdit, ids::LanRadio, ids::UsbRadio}) window_.EnableControl(id, idle);
  window_.EnableControl(ids::AddressEdit, idle && lan);
  window_.EnableControl(ids::PortEdit, idle && lan);
  window_.EnableControl(ids::PortList, idle && window_.IsChecked(ids::UsbRadio));
  window_.SetControlText(ids::StartButton, idle ? kStartCaption : kStopCaption);
  // While the gateway is lost the status line says so; what the last
  // report brought stays, no longer live.
  const bool live = Live();
  window_.EnableControl(ids::NodeStatus, !idle);
  window_.EnableControl(ids::ReceiveTime, live);
  for (size_t row = 0; row < ids::RowNameEdits.size(); ++row) {
    window_.EnableControl(ids::RowNameEdits[row], !idle);
    window_.EnableControl(ids::RowIndicators[row], live);
    window_.EnableControl(ids::RowValueLabels[row], live);
  }
  PaintIndicators();
}

bool MonitorCore::Live() const { return Mode() == MonitorMode::Receiving && !lossShown_; }

void MonitorCore::SessionChanged(const protocol::SessionEvent& event) {
  {
    std::lock_guard lock(gatewayMutex_);
    gatewayLost_ = event.kind != protocol::SessionEvent::Kind::Started;
  }
  window_.PostToWindow(WindowTask::GatewayChanged, 0);
}

// The worker's word may come late, after a stop or in the next session: the
// window follows what the session says now, and only while Receiving.
void MonitorCore::OnGatewayChanged() {
  bool lost = false;
  {
    std::lock_guard lock(gatewayMutex_);
    lost = gatewayLost_;
  }
  if (Mode() != MonitorMode::Receiving || lost == lossShown_) return;
  lossShown_ = lost;
  if (lost) {
    SetLiveText(ids::NodeStatus, kGatewayLostText);
  } else {
    ShowLastNodeStatus();
  }
  UpdateControlStates();
}

// The status line of the last report, in place of the loss's words.
void MonitorCore::ShowLastNodeStatus() {
  std::lock_guard lock(textMutex_);
  SetLiveText(ids::NodeStatus, pendingStatus_);
}

}  // namespace pelorin::monitor
