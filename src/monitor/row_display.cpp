// The live rows: what the receive thread hands over, and their rendering on
// the window thread.

#include "channel_types.h"
#include "control_table.h"
#include "monitor_core.h"

#include <utility>

namespace pelorin::monitor {

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

// The rows follow the link's reads: a read's reports are shown together, as
// soon as the last of them is decoded. The link reads a busy gateway about 20
// times a second, the pace at which digits can still be read, and at most one
// refresh waits in the window's queue, however fast reads come.
void MonitorCore::RequestRowRefresh() { rowsChanged_ = true; }

void MonitorCore::ReportsHandedOver() {
  if (!std::exchange(rowsChanged_, false)) return;
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
  announcer_.Forget();
}

// Only while no receive thread writes them: empty rows and texts.
void MonitorCore::ForgetShownReport() {
  ClearRows();
  {
    std::lock_guard lock(textMutex_);
    pendingStatus_.clear();
    pendingReceiveTime_.clear();
    textsChanged_ = false;
  }
  SetLiveText(ids::NodeStatus, "");
  SetLiveText(ids::ReceiveTime, "");
  RefreshRows();
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

// The request is taken before the rows are read: a read that ends meanwhile
// posts its own.
void MonitorCore::OnRefreshRows() {
  refreshPending_ = false;
  {
    std::lock_guard lock(textMutex_);
    // While the gateway is lost the status line says so; reports that come
    // before the session says it has the gateway back wait for that.
    if (textsChanged_) {
      if (!lossShown_) SetLiveText(ids::NodeStatus, pendingStatus_);
      SetLiveText(ids::ReceiveTime, pendingReceiveTime_);
      textsChanged_ = false;
    }
  }
  RefreshRows();
  AnnounceRowChanges();
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

// Repaints the indicators whose fill changed: after each refresh and each
// change of mode.
void MonitorCore::PaintIndicators() {
  for (size_t row = 0; row < ids::RowIndicators.size(); ++row) {
    const std::optional<Rgb> fill = IndicatorFill(static_cast<int>(row));
    if (fillsKnown_[row] && paintedFills_[row] == fill) continue;
    fillsKnown_[row] = true;
    paintedFills_[row] = fill;
    window_.InvalidateControl(ids::RowIndicators[row]);
  }
}

// Tells screen readers what the rows of a live gateway now show, at the
// announcer's pace; without a listener it costs one question a refresh.
void MonitorCore::AnnounceRowChanges() {
  if (!Live() || !window_.AssistiveToolsListening()) return;
  const auto now = RowAnnouncer::Clock::now();
  for (size_t row = 0; row < ids::RowIndicators.size(); ++row) {
    const bool valueShown = shownRows_.raw[row] != RowValues::kNoRaw;
    const int id = valueShown ? ids::RowValueLabels[row] : ids::RowIndicators[row];
    const std::string_view text =
        valueShown ? std::string_view(liveTexts_.at(id)) : IndicatorState(static_cast<int>(row));
    if (announcer_.Due(row, text, now)) window_.AnnounceChange(id);
  }
}

std::string_view MonitorCore::IndicatorState(int row) const {
  const std::optional<Rgb> fill = IndicatorFill(row);
  if (fill == kRedBrush) return "オン";
  if (fill == kBlackBrush) return "オフ";
  if (fill == kGreyBrush) return "データなし";
  return "";
}

std::optional<Rgb> MonitorCore::IndicatorFill(int row) const {
  if (!Live() || row < 0 ||
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
