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
    queue_.push_back({Clock::now(), task, value});
  }
  posted_.notify_one();
}

void RecordingWindow::PostToWindowAfter(WindowTask task, int milliseconds) {
  std::lock_guard lock(mutex_);
  queue_.push_back({Clock::now() + std::chrono::milliseconds(milliseconds), task, 0});
}

// Runs the earliest work that is due by `until`, waiting for it; false when
// none came.
bool RecordingWindow::RunOne(MonitorCore& core, Clock::time_point until) {
  std::unique_lock lock(mutex_);
  for (;;) {
    const auto next = std::min_element(queue_.begin(), queue_.end(), [](const Posted& a, const Posted& b) {
      return a.due < b.due;
    });
    const auto wake = next == queue_.end() ? until : std::min(until, next->due);
    if (next != queue_.end() && next->due <= Clock::now()) {
      const Posted work = *next;
      queue_.erase(next);
      lock.unlock();
      core.OnWindowTask(work.task, work.value);
      return true;
    }
    if (Clock::now() >= until) return false;
    posted_.wait_until(lock, wake);
  }
}

bool RecordingWindow::RunUntil(MonitorCore& core, const std::function<bool()>& condition,
                               int timeoutMs) {
  const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  // The deadline holds even while work keeps coming.
  while (!condition()) {
    RunOne(core, until);
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
