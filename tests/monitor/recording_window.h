#pragma once

#include "monitor_core.h"
#include "monitor_window.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pelorin::monitor::test {

// A window without a toolkit: it keeps what the core does to each control,
// answers every message box at once the way a user presses OK, and runs the
// posted work on the test's thread, which stands for the window thread.
class RecordingWindow : public MonitorWindow {
 public:
  struct Control {
    std::string text;
    bool shown = true;
    bool enabled = true;
    bool checked = false;
    std::vector<std::string> items;
    int selection = -1;
    int invalidations = 0;
  };
  struct Announcement {
    int id;
    std::chrono::steady_clock::time_point at;
  };

  RecordingWindow();

  // The control as the core left it; every id of the control table exists.
  const Control& operator[](int id) const { return controls_.at(id); }
  // What a user does to a control before the core hears of it.
  void Type(int id, std::string text) { controls_.at(id).text = std::move(text); }
  void Check(int id, bool checked) { controls_.at(id).checked = checked; }
  void Select(int id, int index) { controls_.at(id).selection = index; }

  // Runs posted work on this thread until the condition holds, looking at it
  // after each piece of work and every few tens of milliseconds; false when
  // timeoutMs runs out first.
  bool RunUntil(MonitorCore& core, const std::function<bool()>& condition, int timeoutMs = 10000);
  // Runs whatever is posted within the next milliseconds.
  void RunFor(MonitorCore& core, int milliseconds);

  std::vector<std::string> messages;
  // Whether an assistive tool follows the window, and what it was told.
  bool listening = false;
  std::vector<Announcement> announcements;
  // The answer of the next save-file dialog, and the request it was shown with.
  std::optional<std::string> saveAnswer;
  std::optional<SaveFileRequest> saveRequest;

  // MonitorWindow
  void SetControlText(int id, std::string_view text) override { controls_.at(id).text = text; }
  std::string ControlText(int id) const override { return controls_.at(id).text; }
  void ShowControl(int id, bool shown) override { controls_.at(id).shown = shown; }
  void EnableControl(int id, bool enabled) override { controls_.at(id).enabled = enabled; }
  bool IsChecked(int id) const override { return controls_.at(id).checked; }
  void SetChecked(int id, bool checked) override { controls_.at(id).checked = checked; }
  void SetListItems(int id, const std::vector<std::string>& items) override;
  int ListSelection(int id) const override { return controls_.at(id).selection; }
  void SetListSelection(int id, int index) override { controls_.at(id).selection = index; }
  void InvalidateControl(int id) override { ++controls_.at(id).invalidations; }
  bool AssistiveToolsListening() const override { return listening; }
  void AnnounceChange(int id) override { announcements.push_back({id, std::chrono::steady_clock::now()}); }
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  std::optional<std::string> AskSaveFilePath(const SaveFileRequest& request) override;
  void PostToWindow(WindowTask task, int32_t value) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Posted {
    WindowTask task;
    int32_t value;
  };
  bool RunOne(MonitorCore& core, Clock::time_point until);

  std::map<int, Control> controls_;
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Posted> queue_;
};

}  // namespace pelorin::monitor::test
