#include "quorvane_dlg.h"

#include "control_table.h"
#include "cp932_validator.h"
#include "default_log_path.h"
#include "dialog_units.h"
#include "fonts.h"
#include "path_label.h"
#include "program_file.h"
#include "row_indicator.h"
#include "udev_device_source.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>

namespace pelorin::ui {

namespace {

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addFile(QStringLiteral(":/pelorin/pelorin-%1.png").arg(size));
  return icon;
}

// The rectangles were laid out for the dialog font the window was designed
// with; a fallback font may set a label's text a little wider. Such a label
// grows to the left, keeping its right edge next to the control it names,
// rather than losing the end of its text.
QRect FitLabelText(const ControlEntry& entry, const QWidget* widget, QRect rect) {
  if (entry.kind != ControlKind::Label || entry.text[0] == '\0') {
    return rect;
  }
  const int needed = widget->fontMetrics().horizontalAdvance(QString::fromUtf8(entry.text)) + 1;
  if (needed > rect.width()) rect.setLeft(std::max(0, rect.right() + 1 - needed));
  return rect;
}

}  // namespace

CQuorvaneDlg::CQuorvaneDlg(const QString& programPath, std::unique_ptr<DeviceSource> devices,
                           QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      versionText_(ProgramVersionText()),
      logPath_(QString::fromStdString(DefaultLogPath(programPath.toStdString()))),
      log_([this](int32_t) { PostLogWriteFailure(); }),
      icon_(ApplicationIcon()),
      applicationName_(ApplicationName(programPath)),
      devices_(devices ? std::move(devices) : std::make_unique<UdevDeviceSource>()) {
  setWindowTitle(QStringLiteral("Pelorin"));
  setFont(DialogFont());
  BindControls();
  OnInitDialog();
  WatchDeviceChanges();
  qApp->installEventFilter(this);
}

CQuorvaneDlg::~CQuorvaneDlg() {
  qApp->removeEventFilter(this);
  // A start-up still running is aborted and waited for; then the link is
  // closed, which ends the receive thread before anything it writes goes.
  if (startupWorker_.joinable()) {
    link_.abortRequested = 1;
    startupWorker_.join();
  }
  link_.owner = nullptr;
  link_.Close();
  log_.Close();
}

// Creates the controls from the control table, in template (= tab) order.
void CQuorvaneDlg::BindControls() {
  const DialogUnits units(font());
  setFixedSize(units.ToX(kDialogWidthDlu), units.ToY(kDialogHeightDlu));
  const auto& table = ControlTable();
  QWidget* previousTabStop = nullptr;
  for (size_t i = 0; i < table.size(); ++i) {
    const ControlEntry& entry = table[i];
    QWidget* widget = CreateControl(static_cast<int>(i));
    widget->setGeometry(FitLabelText(entry, widget, units.ToPixels(entry.x, entry.y, entry.width, entry.height)));
    if (entry.id != ids::kNone) {
      widget->setObjectName(QStringLiteral("ctl%1").arg(entry.id));
      widget->setProperty("controlId", entry.id);
      if (!entry.accessibleName.empty()) {
        widget->setAccessibleName(QString::fromStdString(entry.accessibleName));
      }
      controls_.insert(entry.id, widget);
    }
    // A drop-down list's rectangle holds its dropped height; closed, it is
    // as high as the edits.
    if (entry.kind == ControlKind::DropDownList) widget->setFixedHeight(units.ToY(kEditHeightDlu));
    if (entry.flags & kHidden) widget->hide();
    if (widget->focusPolicy() != Qt::NoFocus) {
      if (previousTabStop != nullptr) setTabOrder(previousTabStop, widget);
      previousTabStop = widget;
    }
  }
  lanRadio_ = static_cast<QRadioButton*>(Control(ids::LanRadio));
  usbRadio_ = static_cast<QRadioButton*>(Control(ids::UsbRadio));
  addressEdit_ = static_cast<QLineEdit*>(Control(ids::AddressEdit));
  portEdit_ = static_cast<QLineEdit*>(Control(ids::PortEdit));
  portList_ = static_cast<QComboBox*>(Control(ids::PortList));
  startButton_ = static_cast<QPushButton*>(Control(ids::StartButton));
  versionLabel_ = static_cast<QLabel*>(Control(ids::VersionText));
  progressBar_ = static_cast<QProgressBar*>(Control(ids::Progress));
  nodeStatus_ = static_cast<QLabel*>(Control(ids::NodeStatus));
  receiveTime_ = static_cast<QLabel*>(Control(ids::ReceiveTime));
  loggingCheck_ = static_cast<QCheckBox*>(Control(ids::LoggingCheck));
  browseButton_ = static_cast<QPushButton*>(Control(ids::BrowseButton));
  logPathText_ = static_cast<PathLabel*>(Control(ids::LogPathText));
  // The group box lies behind the controls it frames.
  Control(ids::GatewayGroup)->lower();

  connect(startButton_, &QPushButton::clicked, this, &CQuorvaneDlg::OnStartClicked);
  deferredRefresh_.setSingleShot(true);
  deferredRefresh_.setTimerType(Qt::PreciseTimer);
  connect(&deferredRefresh_, &QTimer::timeout, this, &CQuorvaneDlg::OnRefreshRows);
  connect(lanRadio_, &QRadioButton::clicked, this, &CQuorvaneDlg::UpdateControlStates);
  connect(usbRadio_, &QRadioButton::clicked, this, &CQuorvaneDlg::UpdateControlStates);
  connect(browseButton_, &QPushButton::clicked, this, &CQuorvaneDlg::OnBrowseClicked);
  connect(loggingCheck_, &QCheckBox::clicked, this, &CQuorvaneDlg::OnLoggingClicked);
  for (size_t row = 0; row < ids::RowNameEdits.size(); ++row) {
    connect(static_cast<QLineEdit*>(Control(ids::RowNameEdits[row])), &QLineEdit::textChanged, this,
            [this, row](const QString& name) {
              log_.SetRowName(static_cast<int>(row), name.toStdString());
            });
  }
  // Of the two radio buttons, only the checked one is a tab stop.
  connect(lanRadio_, &QRadioButton::toggled, this, [this](bool lan) {
    lanRadio_->setFocusPolicy(lan ? Qt::StrongFocus : Qt::ClickFocus);
    usbRadio_->setFocusPolicy(lan ? Qt::ClickFocus : Qt::StrongFocus);
  });
}

QWidget* CQuorvaneDlg::CreateControl(int index) {
  const ControlEntry& entry = ControlTable()[static_cast<size_t>(index)];
  const QString text = QString::fromUtf8(entry.text);
  const auto tabStop = [&](QWidget* w) {
    w->setFocusPolicy(entry.flags & kTabStop ? Qt::StrongFocus : Qt::ClickFocus);
    return w;
  };
  switch (entry.kind) {
    case ControlKind::Label: {
      auto* label = new QLabel(text, this);
      label->setAlignment((entry.flags & kAlignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
      return label;
    }
    case ControlKind::PathText:
      return new PathLabel(this);
    case ControlKind::ValueLabel: {
      auto* label = new QLabel(this);
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      return label;
    }
    case ControlKind::GroupBox:
      return new QGroupBox(text, this);
    case ControlKind::RadioButton:
      return tabStop(new QRadioButton(text, this));
    case ControlKind::CheckBox:
      return tabStop(new QCheckBox(text, this));
    case ControlKind::PushButton: {
      auto* button = new QPushButton(text, this);
      button->setAutoDefault(false);
      return tabStop(button);
    }
    case ControlKind::LineEdit: {
      auto* edit = new QLineEdit(text, this);
      edit->setValidator(new Cp932Validator(entry.textLimit, entry.flags & kDigitsOnly, edit));
      return tabStop(edit);
    }
    case ControlKind::DropDownList: {
      auto* list = new QComboBox(this);
      list->setEditable(false);
      list->setMaxVisibleItems(20);
      return tabStop(list);
    }
    case ControlKind::EtchedLine: {
      auto* line = new QFrame(this);
      line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
      return line;
    }
    case ControlKind::Indicator: {
      int row = 0;
      while (ids::RowIndicators[static_cast<size_t>(row)] != entry.id) ++row;
      return new RowIndicator([this, row] { return IndicatorFill(row); }, this);
    }
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(this);
      bar->setRange(0, 0);  // an endless marquee
      bar->setTextVisible(false);
      return bar;
    }
  }
  return nullptr;
}

void CQuorvaneDlg::OnInitDialog() {
  setWindowIcon(icon_);
  versionLabel_->setText(versionText_);
  progressBar_->hide();
  RefreshPortList();
  mode_ = static_cast<int32_t>(MonitorMode::Idle);
  lanRadio_->setChecked(true);
  portEdit_->setText(QStringLiteral("10003"));
  nodeStatus_->clear();
  receiveTime_->clear();
  valueFont_ = ValueLabelFont();
  for (size_t row = 0; row < ids::RowNameEdits.size(); ++row) {
    static_cast<QLineEdit*>(Control(ids::RowNameEdits[row]))
        ->setText(QStringLiteral("入力 %1").arg(row + 1));
    auto* value = static_cast<QLabel*>(Control(ids::RowValueLabels[row]));
    value->clear();
    value->setFont(valueFont_);
  }
  rows_.Clear();
  commandWaitSeconds_ = 5;
  logPathText_->SetPath(logPath_);
  UpdateControlStates();

  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  move(screen.center() - rect().center());
}

bool CQuorvaneDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    auto* widget = qobject_cast<QWidget*>(watched);
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && widget != nullptr &&
        widget->window() == this) {
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CQuorvaneDlg::ShowMessage(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, applicationName_, text, QMessageBox::Ok, this);
  box.exec();
}

}  // namespace pelorin::ui
