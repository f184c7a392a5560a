// The start button's session: start in Idle, abort in Connecting, stop in
// Receiving, and the enabling of the controls by mode.

#include "control_table.h"
#include "link_error.h"
#include "monitor_core.h"
#include "report_session.h"
#include "startup_thread.h"

#include <system_error>

namespace pelorin::monitor {

namespace {

constexpr std::string_view kStartCaption = "接続";
constexpr std::string_view kAbortCaption = "中断";
constexpr std::string_view kStopCaption = "切断";

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

  // Before the link opens, while no receive thread writes the rows.
  ClearRows();
  if (const int32_t code = protocol::OpenReportSession(link_, *this); code != 0) {
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
    protocol::CloseReportSession(link_);
    FinishStartup(error.code().value());
  }
}

void MonitorCore::StopSession() {
  protocol::CloseReportSession(link_);
  mode_ = static_cast<int32_t>(MonitorMode::Idle);
  UpdateControlStates();
}

// The start-up worker's thread. It never touches the window and never waits
// for it: it asks the window thread to act and ends.
void MonitorCore::StartupWorker() {
  PrepareStartupThread();
  window_.PostToWindow(WindowTask::ShowStartupProgress, 0);
  const int32_t code = SendStartCommand();
  window_.PostToWindow(WindowTask::FinishStartup, code);
}

void MonitorCore::ShowStartupProgress() {
  window_.ShowControl(ids::VersionText, false);
  window_.ShowControl(ids::Progress, true);
}

int32_t MonitorCore::SendStartCommand() {
  return protocol::StartReports(link_, commandWaitSeconds_);
}

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
  window_.EnableControl(ids::NodeStatus, !idle);
  window_.EnableControl(ids::ReceiveTime, !idle);
  for (size_t row = 0; row < ids::RowNameEdits.size(); ++row) {
    for (int id : {ids::RowNameEdits[row], ids::RowIndicators[row], ids::RowValueLabels[row]}) {
      window_.EnableControl(id, !idle);
    }
  }
  PaintIndicators();
}

}  // namespace pelorin::monitor
