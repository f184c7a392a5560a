#include "quorvane_dlg.h"

#include "cp932_validator.h"
#include "dialog_units.h"
#include "fonts.h"
#include "named_list_accessible.h"
#include "path_label.h"
#include "program_identity.h"
#include "row_indicator.h"
#include "row_value_label.h"
#include "shown_text_accessible.h"
#include "udev_device_source.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSocketNotifier>

#include <algorithm>

namespace pelorin::ui {

using monitor::ControlEntry;
using monitor::ControlKind;
namespace ids = monitor::ids;

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

CQuorvaneDlg::CQuorvaneDlg(const QString& programPath,
                           std::unique_ptr<monitor::DeviceSource> devices, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      applicationName_(QString::fromStdString(monitor::ApplicationName(programPath.toStdString()))),
      icon_(ApplicationIcon()),
      valueFont_(ValueLabelFont()),
      core_(*this, programPath.toStdString(),
            devices ? std::move(devices) : std::make_unique<monitor::UdevDeviceSource>()) {
  InstallNamedListAccessibility();
  RowFace::InstallAccessibility();
  InstallShownLabelAccessibility();
  setWindowTitle(QStringLiteral("Pelorin"));
  setWindowIcon(icon_);
  setFont(DialogFont());
  BindControls();
  core_.OnInitDialog();
  ConnectControls();
  WatchDeviceChanges();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  move(screen.center() - rect().center());
  qApp->installEventFilter(this);
}

CQuorvaneDlg::~CQuorvaneDlg() {
  qApp->removeEventFilter(this);
  core_.Shutdown();
}

// Creates the controls from the control table, in template (= tab) order.
void CQuorvaneDlg::BindControls() {
  const DialogUnits units(font());
  setFixedSize(units.ToX(monitor::kDialogWidthDlu), units.ToY(monitor::kDialogHeightDlu));
  QWidget* previousTabStop = nullptr;
  for (const ControlEntry& entry : monitor::ControlTable()) {
    QWidget* widget = CreateControl(entry);
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
    if (entry.kind == ControlKind::DropDownList) widget->setFixedHeight(units.ToY(monitor::kEditHeightDlu));
    if (entry.flags & monitor::kHidden) widget->hide();
    if (widget->focusPolicy() != Qt::NoFocus) {
      if (previousTabStop != nullptr) setTabOrder(previousTabStop, widget);
      previousTabStop = widget;
    }
  }
  for (int id : ids::RowValueLabels) Control(id)->setFont(valueFont_);
  for (size_t row = 0; row < ids::RowNameEdits.size(); ++row) {
    for (int face : {ids::RowIndicators[row], ids::RowValueLabels[row]}) {
      dynamic_cast<RowFace&>(*Control(face)).SetLabel(Control(ids::RowNameEdits[row]));
    }
  }
  // The group box lies behind the controls it frames.
  Control(ids::GatewayGroup)->lower();
}

void CQuorvaneDlg::ConnectControls() {
  auto* lan = static_cast<QRadioButton*>(Control(ids::LanRadio));
  auto* usb = static_cast<QRadioButton*>(Control(ids::UsbRadio));
  const auto clicked = [this](int id, void (monitor::MonitorCore::*handler)()) {
    connect(static_cast<QAbstractButton*>(Control(id)), &QAbstractButton::clicked, this,
            [this, handler] { (core_.*handler)(); });
  };
  clicked(ids::StartButton, &monitor::MonitorCore::OnStartClicked);
  clicked(ids::LanRadio, &monitor::MonitorCore::OnGatewayChoiceClicked);
  clicked(ids::UsbRadio, &monitor::MonitorCore::OnGatewayChoiceClicked);
  clicked(ids::BrowseButton, &monitor::MonitorCore::OnBrowseClicked);
  clicked(ids::LoggingCheck, &monitor::MonitorCore::OnLoggingClicked);
  for (size_t row = 0; row < ids::RowNameEdits.size(); ++row) {
    connect(static_cast<QLineEdit*>(Control(ids::RowNameEdits[row])), &QLineEdit::textChanged, this,
            [this, row] { core_.OnRowNameChanged(static_cast<int>(row)); });
  }
  // Of the two radio buttons, only the checked one is a tab stop.
  const auto tabStops = [lan, usb](bool lanChecked) {
    lan->setFocusPolicy(lanChecked ? Qt::StrongFocus : Qt::ClickFocus);
    usb->setFocusPolicy(lanChecked ? Qt::ClickFocus : Qt::StrongFocus);
  };
  connect(lan, &QRadioButton::toggled, this, tabStops);
  tabStops(lan->isChecked());
}

void CQuorvaneDlg::WatchDeviceChanges() {
  const int descriptor = core_.devices().ChangeDescriptor();
  if (descriptor < 0) return;
  auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] { core_.OnDeviceNotice(); });
}

QWidget* CQuorvaneDlg::CreateControl(const ControlEntry& entry) {
  const QString text = QString::fromUtf8(entry.text);
  const auto tabStop = [&](QWidget* w) {
    w->setFocusPolicy(entry.flags & monitor::kTabStop ? Qt::StrongFocus : Qt::ClickFocus);
    return w;
  };
  switch (entry.kind) {
    case ControlKind::Label: {
      auto* label = new QLabel(text, this);
      label->setAlignment((entry.flags & monitor::kAlignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
      return label;
    }
    case ControlKind::PathText:
      return new PathLabel(this);
    case ControlKind::ValueLabel:
      return new RowValueLabel(this);
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
      edit->setValidator(new Cp932Validator(monitor::EditLimitsOf(entry), edit));
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
      return new RowIndicator(
          [this, row]() -> std::optional<QColor> {
            const auto fill = core_.IndicatorFill(row);
            if (!fill) return std::nullopt;
            return QColor(fill->red, fill->green, fill->blue);
          },
          [this, row] {
            const std::string_view state = core_.IndicatorState(row);
            return QString::fromUtf8(state.data(), static_cast<qsizetype>(state.size()));
          },
          this);
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

}  // namespace pelorin::ui
