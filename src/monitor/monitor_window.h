#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin::monitor {

// Work that the monitor core hands to the window thread. Only the task and a
// number cross threads, never a closure.
enum class WindowTask : int32_t {
  RefreshRows,          // the receive thread has new row values
  ShowStartupProgress,  // the start-up worker has begun
  FinishStartup,        // the start-up worker's result (value: 0 or the code)
  LogWriteFailed,       // the log closed itself after a failed write
  RefreshPorts,         // serial ports have come or gone
  GatewayChanged,       // the session lost its gateway or has it back
};

struct SaveFileFilter {
  std::string_view name;
  std::string_view pattern;
};

// A modal save-file dialog: default extension, initial path, the filters in
// order, the read-only box hidden and a question before an existing file is
// chosen.
struct SaveFileRequest {
  std::string_view defaultExtension;
  std::string initialPath;
  std::vector<SaveFileFilter> filters;
};

// What the monitor core needs of its window: the operations on its controls,
// all by id, a message box, the save-file dialog and the way onto the window
// thread. Texts are UTF-8. Every call but PostToWindow comes on the window
// thread.
class MonitorWindow {
 public:
  virtual void SetControlText(int id, std::string_view text) = 0;
  virtual std::string ControlText(int id) const = 0;
  virtual void ShowControl(int id, bool shown) = 0;
  virtual void EnableControl(int id, bool enabled) = 0;
  virtual bool IsChecked(int id) const = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  // The drop-down list's items, replacing all it held; the selection is then
  // none (-1) until SetListSelection.
  virtual void SetListItems(int id, const std::vector<std::string>& items) = 0;
  virtual int ListSelection(int id) const = 0;
  virtual void SetListSelection(int id, int index) = 0;
  // The control is painted again (an indicator asks for its fill then).
  virtual void InvalidateControl(int id) = 0;
  // Whether a screen reader or another assistive tool follows the window
  // now; changes are announced only then, so that they cost nothing otherwise.
  virtual bool AssistiveToolsListening() const = 0;
  // A row's value or indicator shows something new that a screen reader
  // should tell although the control has no focus. The core paces these.
  virtual void AnnounceChange(int id) = 0;

  // A modal message box with the program's name as caption and one OK button.
  virtual void ShowMessage(std::string_view text) = 0;
  // The chosen full path, or nothing when the user cancels.
  virtual std::optional<std::string> AskSaveFilePath(const SaveFileRequest& request) = 0;

  // From any thread: the window thread calls MonitorCore::OnWindowTask(task,
  // value) soon. Never waits for the window thread.
  virtual void PostToWindow(WindowTask task, int32_t value) = 0;

 protected:
  ~MonitorWindow() = default;
};

}  // namespace pelorin::monitor
