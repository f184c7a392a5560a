// The monitor core's operations on the window's controls, by id, and its way
// onto the window thread.

#include "path_label.h"
#include "quorvane_dlg.h"
#include "row_face.h"
#include "row_value_label.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

namespace pelorin::ui {

namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

// Labels named by their role read as what they show (see ShownTextAccessible).
void CQuorvaneDlg::SetControlText(int id, std::string_view text) {
  QWidget* widget = Control(id);
  const QString qtext = FromUtf8(text);
  if (auto* path = qobject_cast<PathLabel*>(widget)) {
    path->SetPath(qtext);
  } else if (auto* value = dynamic_cast<RowValueLabel*>(widget)) {
    value->SetText(qtext);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    if (label->text() == qtext) return;
    label->setText(qtext);
    if (!label->accessibleName().isEmpty()) nameEvents_->Changed(label);
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(qtext);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(qtext);
  }
}

std::string CQuorvaneDlg::ControlText(int id) const {
  QWidget* widget = Control(id);
  if (auto* value = dynamic_cast<RowValueLabel*>(widget)) return value->Text().toStdString();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text().toStdString();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().toStdString();
  return {};
}

// A row's indicator and value share its place: one of them is painted, the
// other left blank (see RowFace).
void CQuorvaneDlg::ShowControl(int id, bool shown) {
  if (auto* face = dynamic_cast<RowFace*>(Control(id))) {
    face->SetShown(shown);
  } else {
    Control(id)->setVisible(shown);
  }
}

void CQuorvaneDlg::EnableControl(int id, bool enabled) { Control(id)->setEnabled(enabled); }

bool CQuorvaneDlg::IsChecked(int id) const {
  const auto* button = qobject_cast<const QAbstractButton*>(Control(id));
  return button != nullptr && button->isChecked();
}

void CQuorvaneDlg::SetChecked(int id, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(Control(id))) button->setChecked(checked);
}

void CQuorvaneDlg::SetListItems(int id, const std::vector<std::string>& items) {
  auto* list = static_cast<QComboBox*>(Control(id));
  list->clear();
  for (const std::string& item : items) list->addItem(QString::fromStdString(item));
  list->setCurrentIndex(-1);
}

int CQuorvaneDlg::ListSelection(int id) const {
  return static_cast<const QComboBox*>(Control(id))->currentIndex();
}

void CQuorvaneDlg::SetListSelection(int id, int index) {
  static_cast<QComboBox*>(Control(id))->setCurrentIndex(index);
}

void CQuorvaneDlg::InvalidateControl(int id) { Control(id)->update(); }

bool CQuorvaneDlg::AssistiveToolsListening() const { return QAccessible::isActive(); }

void CQuorvaneDlg::AnnounceChange(int id) {
  QAccessibleEvent event(Control(id), QAccessible::NameChanged);
  QAccessible::updateAccessibility(&event);
}

void CQuorvaneDlg::ShowMessage(std::string_view text) {
  QMessageBox box(QMessageBox::NoIcon, applicationName_, FromUtf8(text), QMessageBox::Ok, this);
  box.exec();
}

std::optional<std::string> CQuorvaneDlg::AskSaveFilePath(const monitor::SaveFileRequest& request) {
  QFileDialog dialog(this);
  // Qt's own dialog speaks the window's language; a desktop's would speak the desktop's.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(FromUtf8(request.defaultExtension));
  QStringList filters;
  for (const monitor::SaveFileFilter& filter : request.filters) filters << FromUtf8(filter.name);
  dialog.setNameFilters(filters);
  const QFileInfo current(QString::fromStdString(request.initialPath));
  dialog.setDirectory(current.absolutePath());
  dialog.selectFile(current.fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst().toStdString();
}

void CQuorvaneDlg::PostToWindow(monitor::WindowTask task, int32_t value) {
  QMetaObject::invokeMethod(this, "OnWindowTask", Qt::QueuedConnection,
                            Q_ARG(int, static_cast<int>(task)), Q_ARG(int, value));
}

void CQuorvaneDlg::OnWindowTask(int task, int value) {
  core_.OnWindowTask(static_cast<monitor::WindowTask>(task), value);
}

}  // namespace pelorin::ui
