// The log controls: the logging check box, the browse button and the path.

#include "control_table.h"
#include "quorvane_dlg.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace pelorin::ui {

void CQuorvaneDlg::SetLogPath(const QString& path) {
  logPath_ = path;
  logPathText_->setText(path);
}

void CQuorvaneDlg::OnBrowseClicked() {
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  dialog.setNameFilters({QStringLiteral("CSV file (*.csv)"), QStringLiteral("all files(*.*)")});
  const QFileInfo current(logPath_);
  dialog.setDirectory(current.absolutePath());
  dialog.selectFile(current.fileName());
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    SetLogPath(dialog.selectedFiles().constFirst());
  }
}

// After the check box has toggled itself.
void CQuorvaneDlg::OnLoggingClicked() {
  if (!loggingCheck_->isChecked()) {
    browseButton_->setEnabled(true);
    log_.Close();
    return;
  }
  if (log_.Open(logPath_.toStdString()) == 0) {
    browseButton_->setEnabled(false);  // the path never changes under an open file
    return;
  }
  loggingCheck_->setChecked(false);
  ShowMessage(QStringLiteral("ログファイルが開けません\r\n"));
}

// On the log's writer thread, or on the receive thread: logging has switched
// itself off because the file stopped taking records.
void CQuorvaneDlg::PostLogWriteFailure() {
  QMetaObject::invokeMethod(this, "OnLogWriteFailed", Qt::QueuedConnection);
}

void CQuorvaneDlg::OnLogWriteFailed() {
  // Unless logging was switched on again meanwhile, to a file that works.
  if (!log_.IsOpen()) {
    loggingCheck_->setChecked(false);
    browseButton_->setEnabled(true);
  }
  ShowMessage(QStringLiteral("ログファイルに書き込めません\r\n"));
}

}  // namespace pelorin::ui
