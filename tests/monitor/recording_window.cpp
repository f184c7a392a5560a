#include "recording_window.h"

#include "control_table.h"

#include <algorithm>

namespace pelorin::monitor::test {

RecordingWindow::RecordingWindow() {
  for (const ControlEntry& entry : ControlTable()) {
    if (entry.id == ids::kNone) continue;
    Control& control = controls_[entry.id];
    control.text = entry.text;
    control.shown = (entry.flags & kHidden) == 0;
  }
}

void RecordingWindow::SetListItems(int id, const std::vector<std::string>& items) {
  Control& control = controls_.at(id);
  control.items = items;
  control.selection = -1;
}

std::optional<std::string> RecordingWindow::AskSaveFilePath(const SaveFileRequest& request) {
  saveRequest = request;
  return saveAnswer;
}

void RecordingWindow::PostToWindow(WindowTask task, int32_t value) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back({task, value});
  }
  posted_.notify_one();
}

// Runs the first work posted, waiting for it until `until`; false when none
// came.
bool RecordingWindow::RunOne(MonitorCore& core, Clock::time_point until) {
  std::unique_lock lock(mutex_);
  if (!posted_.wait_until(lock, until, [this] { return !queue_.empty(); })) return false;
  const Posted work = queue_.front();
  queue_.pop_front();
  lock.unlock();
  core.OnWindowTask(work.task, work.value);
  return true;
}

bool RecordingWindow::RunUntil(MonitorCore& core, const std::function<bool()>& condition,
                               int timeoutMs) {
  const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  // Another thread (the log's writer) can make the condition true without
  // posting anything: it is looked at again at least this often.
  constexpr auto kLookAgain = std::chrono::milliseconds(20);
  // The deadline holds even while work keeps coming.
  while (!condition()) {
    RunOne(core, std::min(until, Clock::now() + kLookAgain));
    if (Clock::now() >= until) return condition();
  }
  return true;
}

void RecordingWindow::RunFor(MonitorCore& core, int milliseconds) {
  const auto until = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (RunOne(core, until) && Clock::now() < until) {
  }
}

}  // namespace pelorin::monitor::test
