#include "monitor_core.h"

#include "control_table.h"
#include "cp932_encoder.h"
#include "default_log_path.h"
#include "program_identity.h"

namespace pelorin::monitor {

MonitorCore::MonitorCore(MonitorWindow& window, std::string_view programPath,
                         std::unique_ptr<DeviceSource> devices)
    : window_(window),
      versionText_(ProgramVersionText()),
      logPath_(DefaultLogPath(programPath)),
      log_([this](int32_t error, size_t) { window_.PostToWindow(WindowTask::LogWriteFailed, error); }),
      devices_(std::move(devices)) {}

MonitorCore::~MonitorCore() { Shutdown(); }

void MonitorCore::Shutdown() {
  // A start-up or a reconnection still running is aborted and waited for;
  // then the link is closed, which ends the receive thread before anything
  // it writes goes.
  session_.EndKeeping();
  if (startupWorker_.joinable()) startupWorker_.join();
  session_.Close();
  log_.Close();
}

void MonitorCore::OnInitDialog() {
  window_.SetControlText(ids::VersionText, versionText_);
  window_.ShowControl(ids::Progress, false);
  RefreshPortList();
  mode_ = static_cast<int32_t>(MonitorMode::Idle);
  window_.SetChecked(ids::LanRadio, true);
  window_.SetChecked(ids::UsbRadio, false);
  window_.SetControlText(ids::PortEdit, "10003");
  window_.SetControlText(ids::NodeStatus, "");
  window_.SetControlText(ids::ReceiveTime, "");
  for (size_t row = 0; row < ids::RowNameEdits.size(); ++row) {
    window_.SetControlText(ids::RowNameEdits[row], "入力 " + std::to_string(row + 1));
    OnRowNameChanged(static_cast<int>(row));
    window_.SetControlText(ids::RowValueLabels[row], "");
  }
  ClearRows();
  window_.SetControlText(ids::LogPathText, logPath_);
  UpdateControlStates();
  // Said once: the names' edits then take ASCII only, and the log does not open.
  if (const auto problem = Cp932ConversionProblem()) {
    window_.ShowMessage("日本語をShift-JISに変換できません\r\n(" + problem->reason + ")");
  }
}

void MonitorCore::OnRowNameChanged(int row) {
  if (row < 0 || row >= static_cast<int>(ids::RowNameEdits.size())) return;
  log_.SetRowName(row, window_.ControlText(ids::RowNameEdits[static_cast<size_t>(row)]));
}

void MonitorCore::OnWindowTask(WindowTask task, int32_t value) {
  switch (task) {
    case WindowTask::RefreshRows:
      OnRefreshRows();
      break;
    case WindowTask::ShowStartupProgress:
      ShowStartupProgress();
      break;
    case WindowTask::FinishStartup:
      FinishStartup(value);
      break;
    case WindowTask::LogWriteFailed:
      OnLogWriteFailed();
      break;
    case WindowTask::RefreshPorts:
      OnPortsChanged();
      break;
    case WindowTask::GatewayChanged:
      OnGatewayChanged();
      break;
  }
}

std::string TrimBlanks(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

}  // namespace pelorin::monitor
