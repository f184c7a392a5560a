// The start button's session: start in Idle, abort in Connecting, stop in
// Receiving, and the enabling of the controls by mode.

#include "control_table.h"
#include "frame_handler.h"
#include "link_error.h"
#include "quorvane_dlg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <pthread.h>
#include <system_error>

namespace pelorin::ui {

namespace {

// White space at both ends as the C library knows it: space, tab, line feed,
// vertical tab, form feed, carriage return.
QString Trimmed(const QString& text) {
  const auto blank = [](QChar c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

const QString kStartCaption = QStringLiteral("接続");
const QString kAbortCaption = QStringLiteral("中断");
const QString kStopCaption = QStringLiteral("切断");

}  // namespace

void CQuorvaneDlg::OnStartClicked() {
  switch (Mode()) {
    case MonitorMode::Connecting:
      link_.abortRequested = 1;
      return;
    case MonitorMode::Receiving:
      StopSession();
      return;
    case MonitorMode::Idle:
      StartSession();
      return;
  }
}

void CQuorvaneDlg::StartSession() {
  // The previous start-up worker has said its last word (the mode is Idle
  // again) and is ending: wait for it before the link's fields change.
  if (startupWorker_.joinable()) startupWorker_.join();
  if (lanRadio_->isChecked()) {
    link_.useTcp = 1;
    const QByteArray address = Trimmed(addressEdit_->text()).toUtf8();
    if (address.isEmpty()) {
      ShowMessage(QStringLiteral("LAN接続の場合、接続先アドレスを設定してください。"));
      return;
    }
    link_.SetHostName(address.toStdString());
    const QByteArray port = Trimmed(portEdit_->text()).toUtf8();
    if (port.isEmpty()) {
      ShowMessage(QStringLiteral("LAN接続の場合、接続先ポートを設定してください。"));
      return;
    }
    link_.SetPortText(port.toStdString());
  } else {
    link_.useTcp = 0;
    const int selected = portList_->currentIndex();
    if (selected < 0 || selected >= portEntries_.count) {
      ShowMessage(QStringLiteral("接続先を選択してください。"));
      return;
    }
    link_.comPort = portEntries_.entries[static_cast<size_t>(selected)].port;
  }

  link_.owner = static_cast<ReportSink*>(this);
  link_.handler = &protocol::FrameHandler;
  if (const LinkStatus status = link_.Open(); !status.ok()) {
    ShowMessage(QString::fromStdString(LinkErrorText(status.code)));
    return;
  }

  rows_.Clear();
  mode_ = static_cast<int32_t>(MonitorMode::Connecting);
  for (int id : {ids::NodeEdit, ids::LanRadio, ids::UsbRadio, ids::AddressEdit, ids::PortEdit,
                 ids::PortList}) {
    Control(id)->setEnabled(false);
  }
  startButton_->setText(kAbortCaption);
  try {
    // Normal priority: raising a thread above it needs privileges on Linux.
    startupWorker_ = std::thread([this] { StartupWorker(); });
  } catch (const std::system_error& error) {
    link_.owner = nullptr;
    link_.Close();
    FinishStartup(error.code().value());
  }
}

void CQuorvaneDlg::StopSession() {
  link_.owner = nullptr;  // no frame reaches the handler from here on
  link_.Close();
  mode_ = static_cast<int32_t>(MonitorMode::Idle);
  UpdateControlStates();
}

// The start-up worker's thread. It never touches a widget and never waits for
// the window: it asks the window thread to act and ends.
void CQuorvaneDlg::StartupWorker() {
  pthread_setname_np(pthread_self(), "pelorin-startup");
  QMetaObject::invokeMethod(this, "ShowStartupProgress", Qt::QueuedConnection);
  const int code = SendStartCommand();
  QMetaObject::invokeMethod(this, "FinishStartup", Qt::QueuedConnection, Q_ARG(int, code));
}

void CQuorvaneDlg::ShowStartupProgress() {
  versionLabel_->hide();
  progressBar_->show();
}

int32_t CQuorvaneDlg::SendStartCommand() {
  const LinkStatus status = link_.SendCommand(0, commandWaitSeconds_, "MD");
  if (status.ok()) return 0;
  link_.owner = nullptr;
  link_.Close();
  return status.code;
}

// The end of a start-up on the window thread: the message (while the progress
// bar still shows), then the progress bar away and the new mode.
void CQuorvaneDlg::FinishStartup(int code) {
  if (code != 0 && code != LinkError::Abort) {
    ShowMessage(QString::fromStdString(LinkErrorText(code)));
  }
  progressBar_->hide();
  versionLabel_->show();
  if (code == 0) {
    mode_ = static_cast<int32_t>(MonitorMode::Receiving);
  } else {
    startButton_->setText(kStartCaption);
    mode_ = static_cast<int32_t>(MonitorMode::Idle);
  }
  UpdateControlStates();
}

void CQuorvaneDlg::UpdateControlStates() {
  const bool idle = Mode() == MonitorMode::Idle;
  const bool lan = lanRadio_->isChecked();
  if (idle) {
    for (int id : {ids::NodeLabel, ids::GatewayGroup, ids::AddressLabel, ids::PortLabel}) {
      Control(id)->setEnabled(true);
    }
  }
  for (int id : {ids::NodeEdit, ids::LanRadio, ids::UsbRadio}) Control(id)->setEnabled(idle);
  addressEdit_->setEnabled(idle && lan);
  portEdit_->setEnabled(idle && lan);
  portList_->setEnabled(idle && usbRadio_->isChecked());
  startButton_->setText(idle ? kStartCaption : kStopCaption);
  nodeStatus_->setEnabled(!idle);
  receiveTime_->setEnabled(!idle);
  for (size_t row = 0; row < ids::RowNameEdits.size(); ++row) {
    for (int id : {ids::RowNameEdits[row], ids::RowIndicators[row], ids::RowValueLabels[row]}) {
      Control(id)->setEnabled(!idle);
    }
  }
}

}  // namespace pelorin::ui
