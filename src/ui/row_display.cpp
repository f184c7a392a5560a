// The live rows: what the receive thread hands over, and their rendering on
// the window thread.

#include "channel_types.h"
#include "control_table.h"
#include "quorvane_dlg.h"

#include <QLabel>

namespace pelorin::ui {

namespace {

// The window's live labels are named by their role ("値 1"); what they show
// reaches assistive tools as their description.
void Show(QLabel* label, const QString& text) {
  label->setText(text);
  label->setAccessibleDescription(text);
}

}  // namespace

void CQuorvaneDlg::SetNodeStatus(std::string_view text) {
  std::lock_guard lock(textMutex_);
  pendingStatus_.assign(text);
  textsChanged_ = true;
}

void CQuorvaneDlg::SetReceiveTime(std::string_view text) {
  std::lock_guard lock(textMutex_);
  pendingReceiveTime_.assign(text);
  textsChanged_ = true;
}

// At most one refresh waits in the window's queue, however fast reports come.
void CQuorvaneDlg::RequestRowRefresh() {
  if (!refreshPending_.exchange(true)) {
    QMetaObject::invokeMethod(this, "OnRefreshRows", Qt::QueuedConnection);
  }
}

void CQuorvaneDlg::AppendRecord(const NodeReport& report) { log_.Append(report); }

// Rows are rendered at most about 60 times a second: a flood of reports then
// costs no more painting than the eye can use, and the rows still show the
// latest report within a frame of its arrival.
constexpr qint64 kRefreshIntervalMs = 16;

void CQuorvaneDlg::OnRefreshRows() {
  if (lastRefresh_.isValid() && lastRefresh_.elapsed() < kRefreshIntervalMs) {
    // The request stays pending meanwhile, so the receive thread posts no more.
    if (!deferredRefresh_.isActive()) {
      deferredRefresh_.start(static_cast<int>(kRefreshIntervalMs - lastRefresh_.elapsed()));
    }
    return;
  }
  lastRefresh_.start();
  // Cleared before reading: a report that comes in now asks for another.
  refreshPending_ = false;
  {
    std::lock_guard lock(textMutex_);
    if (textsChanged_) {
      Show(nodeStatus_, QString::fromStdString(pendingStatus_));
      Show(receiveTime_, QString::fromStdString(pendingReceiveTime_));
      textsChanged_ = false;
    }
  }
  RefreshRows();
}

void CQuorvaneDlg::RefreshRows() {
  for (size_t row = 0; row < ids::RowIndicators.size(); ++row) {
    QWidget* indicator = Control(ids::RowIndicators[row]);
    auto* value = static_cast<QLabel*>(Control(ids::RowValueLabels[row]));
    const uint32_t raw = rows_.raw[row].load();
    if (raw == RowValues::kNoRaw) {
      indicator->show();
      value->hide();
      Show(value, QString());
      indicator->update();
      continue;
    }
    indicator->hide();
    value->show();
    const AnalogText text = FormatAnalog(rows_.channelType[row].load(), raw);
    switch (text.kind) {
      case AnalogText::Kind::WireBreak:
        Show(value, QString::fromUtf8(kWireBreakText.data(), kWireBreakText.size()));
        break;
      case AnalogText::Kind::NoValue:
        Show(value, QStringLiteral("err"));
        break;
      case AnalogText::Kind::Value:
        Show(value, QString::fromLatin1(text.number) + u' ' +
                        QString::fromUtf8(text.unit.data(), text.unit.size()));
        break;
    }
  }
}

// The indicator's colour at paint time: only while Receiving, by the row's
// digital state; otherwise the window's ordinary background.
std::optional<QColor> CQuorvaneDlg::IndicatorFill(int row) const {
  if (Mode() != MonitorMode::Receiving) return std::nullopt;
  switch (rows_.digital[static_cast<size_t>(row)].load()) {
    case 0:
      return blackBrush_;
    case 1:
      return redBrush_;
    default:
      return greyBrush_;
  }
}

}  // namespace pelorin::ui
