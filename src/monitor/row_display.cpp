// The live rows: what the receive thread hands over, and their rendering on
// the window thread.

#include "channel_types.h"
#include "control_table.h"
#include "monitor_core.h"

namespace pelorin::monitor {

namespace {

// Rows are rendered at most about 60 times a second: a flood of reports then
// costs no more painting than the eye can use, and the rows still show the
// latest report within a frame of its arrival.
constexpr auto kRefreshInterval = std::chrono::milliseconds(16);

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

// Only while no receive thread writes them.
void MonitorCore::ClearRows() {
  rows_.Clear();
  shownRows_ = rows_.Read();
}

void MonitorCore::OnRefreshRows() {
  const auto now = std::chrono::steady_clock::now();
  if (lastRefresh_ && now - *lastRefresh_ < kRefreshInterval) {
    // The request stays pending meanwhile, so the receive thread posts no more.
    if (!deferredRefreshWaiting_) {
      deferredRefreshWaiting_ = true;
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(kRefreshInterval - (now - *lastRefresh_));
      window_.PostToWindowAfter(WindowTask::DeferredRefresh, static_cast<int>(wait.count()));
    }
    return;
  }
  lastRefresh_ = now;
  // Cleared before reading: a report that comes in now asks for another.
  refreshPending_ = false;
  {
    std::lock_guard lock(textMutex_);
    if (textsChanged_) {
      window_.SetControlText(ids::NodeStatus, pendingStatus_);
      window_.SetControlText(ids::ReceiveTime, pendingReceiveTime_);
      textsChanged_ = false;
    }
  }
  RefreshRows();
}

// The rows shown are those of one report; the indicators paint from them too.
void MonitorCore::RefreshRows() {
  shownRows_ = rows_.Read();
  for (size_t row = 0; row < ids::RowIndicators.size(); ++row) {
    const int indicator = ids::RowIndicators[row];
    const int value = ids::RowValueLabels[row];
    const uint32_t raw = shownRows_.raw[row];
    if (raw == RowValues::kNoRaw) {
      window_.ShowControl(indicator, true);
      window_.ShowControl(value, false);
      window_.SetControlText(value, "");
      window_.InvalidateControl(indicator);
      continue;
    }
    window_.ShowControl(indicator, false);
    window_.ShowControl(value, true);
    const AnalogText text = FormatAnalog(shownRows_.channelType[row], raw);
    switch (text.kind) {
      case AnalogText::Kind::WireBreak:
        window_.SetControlText(value, kWireBreakText);
        break;
      case AnalogText::Kind::NoValue:
        window_.SetControlText(value, "err");
        break;
      case AnalogText::Kind::Value:
        window_.SetControlText(value, std::string(text.number) + ' ' + std::string(text.unit));
        break;
    }
  }
  DescribeIndicators();
}

// Kept in step with the fills: after each refresh and each change of mode.
void MonitorCore::DescribeIndicators() {
  for (size_t row = 0; row < ids::RowIndicators.size(); ++row) {
    const std::string_view text = FillDescription(IndicatorFill(static_cast<int>(row)));
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
