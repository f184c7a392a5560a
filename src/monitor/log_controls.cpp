// The log controls: the logging check box, the browse button and the path.

#include "control_table.h"
#include "monitor_core.h"

namespace pelorin::monitor {

void MonitorCore::SetLogPath(std::string path) {
  logPath_ = std::move(path);
  window_.SetControlText(ids::LogPathText, logPath_);
}

void MonitorCore::OnBrowseClicked() {
  const SaveFileRequest request{
      "csv", logPath_, {{"CSV file (*.csv)", "*.csv"}, {"all files(*.*)", "*.*"}}};
  if (std::optional<std::string> chosen = window_.AskSaveFilePath(request)) {
    SetLogPath(std::move(*chosen));
  }
}

void MonitorCore::OnLoggingClicked() {
  if (!window_.IsChecked(ids::LoggingCheck)) {
    window_.EnableControl(ids::BrowseButton, true);
    log_.Close();
    return;
  }
  if (log_.Open(logPath_) == 0) {
    window_.EnableControl(ids::BrowseButton, false);  // the path never changes under an open file
    return;
  }
  window_.SetChecked(ids::LoggingCheck, false);
  window_.ShowMessage("ログファイルが開けません\r\n");
}

void MonitorCore::OnLogWriteFailed() {
  // Unless logging was switched on again meanwhile, to a file that works.
  if (!log_.IsOpen()) {
    window_.SetChecked(ids::LoggingCheck, false);
    window_.EnableControl(ids::BrowseButton, true);
  }
  window_.ShowMessage("ログファイルに書き込めません\r\n");
}

}  // namespace pelorin::monitor
