// The live rows: what the receive thread hands over, and their rendering on
// the window thread.

#include "channel_types.h"
#include "control_table.h"
#include "monitor_core.h"

namespace pelorin::monitor {

namespace {

// Rows are rendered at most 20 times a second. Digits that change faster
// cannot be read, and each refresh costs the window thread a wake-up and a
// repaint; a report still reaches the rows within 50 ms of its arrival.
constexpr auto kRefreshInterval = std::chrono::milliseconds(50);

// An indicator's fill in words, for those who cannot tell the colours apart
// or do not see them: red is on, black is off, grey says nothing.
std::string_view FillDescription(std::optional<Rgb> fill) {
  if (fill == kRedBrush) return "オン";
  if (fill == kBlackBrush) return "オフ";
  return "";
}

}  // namespace

void MonitorCore::SetNodeStatus(std::string_view text) {
  std::lock_guard lock(textMutex_);
  pendingStatus_.assign(text);
  textsChanged_ = true;
}

void MonitorCore::SetReceiveTime(std::string_view text) {
  std::lock_guard lock(textMutex_);
  pendingReceiveTime_.assign(text);
  textsChanged_ = true;
}

// At most one refresh waits in the window's queue, however fast reports come.
void MonitorCore::RequestRowRefresh() {
  if (!refreshPending_.exchange(true)) window_.PostToWindow(WindowTask::RefreshRows, 0);
}

void MonitorCore::AppendRecord(const NodeReport& report) { log_.Append(report); }

// Only while no receive thread writes them. What the controls show is then
// forgotten, so the next refresh sets each of them.
void MonitorCore::ClearRows() {
  rows_.Clear();
  shownRows_ = rows_.Read();
  liveTexts_.clear();
  liveShown_.clear();
  fillsKnown_.fill(false);
}

// A live control is touched only when what it shows changes: setting a text
// or a visibility repaints the control, even when nothing changes.
void MonitorCore::SetLiveText(int id, std::string_view text) {
  auto [shown, added] = liveTexts_.try_emplace(id);
  if (!added && shown->second == text) return;
  shown->second.assign(text);
  window_.SetControlText(id, text);
}

void MonitorCore::ShowLive(int id, bool shown) {
  auto [known, added] = liveShown_.try_emplace(id, shown);
  if (!added && known->second == shown) return;
  known->second = shown;
  window_.ShowControl(id, shown);
}

// The first report after a quiet spell is shown at once. While reports keep
// coming, a timer shows the latest of them once per kRefreshInterval, and the
// request stays pending meanwhile: the receive thread posts nothing, and the
// window thread wakes once per refresh.
void MonitorCore::OnRefreshRows() {
  if (deferredRefreshWaiting_) return;
  const auto now = std::chrono::steady_clock::now();
  if (lastRefresh_ && now - *lastRefresh_ < kRefreshInterval) {
    WaitForNextRefresh(std::chrono::ceil<std::chrono::milliseconds>(kRefreshInterval - (now - *lastRefresh_)));
    return;
  }
  ShowLatestReport();
}

void MonitorCore::OnDeferredRefresh() {
  deferredRefreshWaiting_ = false;
  if (!ReportWaiting()) {
    refreshPending_ = false;
    // A report that came in meanwhile found the request pending and posted
    // nothing; one that came in after posted its own request.
    if (!ReportWaiting() || refreshPending_.exchange(true)) return;
  }
  ShowLatestReport();
}

bool MonitorCore::ReportWaiting() {
  std::lock_guard lock(textMutex_);
  return textsChanged_;
}

void MonitorCore::WaitForNextRefresh(std::chrono::milliseconds wait) {
  deferredRefreshWaiting_ = true;
  window_.PostToWindowAfter(WindowTask::DeferredRefresh, static_cast<int>(wait.count()));
}

void MonitorCore::ShowLatestReport() {
  lastRefresh_ = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(textMutex_);
    if (textsChanged_) {
      SetLiveText(ids::NodeStatus, pendingStatus_);
      SetLiveText(ids::ReceiveTime, pendingReceiveTime_);
      textsChanged_ = false;
    }
  }
  RefreshRows();
  WaitForNextRefresh(kRefreshInterval);
}

// The rows shown are those of one report; the indicators paint from them too.
void MonitorCore::RefreshRows() {
  shownRows_ = rows_.Read();
  for (size_t row = 0; row < ids::RowIndicators.size(); ++row) {
    const int indicator = ids::RowIndicators[row];
    const int value = ids::RowValueLabels[row];
    const uint32_t raw = shownRows_.raw[row];
    if (raw == RowValues::kNoRaw) {
      ShowLive(indicator, true);
      ShowLive(value, false);
      SetLiveText(value, "");
      continue;
    }
    ShowLive(indicator, false);
    ShowLive(value, true);
    SetLiveText(value, AnalogRowText(shownRows_.channelType[row], raw));
  }
  PaintIndicators();
}

// Repaints the indicators whose fill changed, and keeps their words in step:
// after each refresh and each change of mode.
void MonitorCore::PaintIndicators() {
  for (size_t row = 0; row < ids::RowIndicators.size(); ++row) {
    const std::optional<Rgb> fill = IndicatorFill(static_cast<int>(row));
    if (fillsKnown_[row] && paintedFills_[row] == fill) continue;
    fillsKnown_[row] = true;
    paintedFills_[row] = fill;
    window_.InvalidateControl(ids::RowIndicators[row]);
    const std::string_view text = FillDescription(fill);
    if (text == indicatorDescriptions_[row]) continue;
    indicatorDescriptions_[row] = text;
    window_.SetAccessibleDescription(ids::RowIndicators[row], text);
  }
}

std::optional<Rgb> MonitorCore::IndicatorFill(int row) const {
  if (Mode() != MonitorMode::Receiving || row < 0 ||
      row >= static_cast<int>(ids::RowIndicators.size())) {
    return std::nullopt;
  }
  switch (shownRows_.digital[static_cast<size_t>(row)]) {
    case 0:
      return kBlackBrush;
    case 1:
      return kRedBrush;
    default:
      return kGreyBrush;
  }
}

}  // namespace pelorin::monitor
