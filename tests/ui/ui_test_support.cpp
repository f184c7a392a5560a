#include "ui_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QThread>
#include <QtTest/QTest>

#include <fcntl.h>
#include <unistd.h>

namespace pelorin::ui::test {

namespace {

int32_t Register(SerialPortRegistry& registry, const ScriptedDevices::Port& port) {
  return registry.NumberFor(port.identity.empty() ? port.node : port.identity, port.node);
}

}  // namespace

ScriptedDevices::ScriptedDevices() {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
}

ScriptedDevices::~ScriptedDevices() {
  for (int fd : pipe_) {
    if (fd >= 0) close(fd);
  }
}

std::optional<std::vector<DeviceRecord>> ScriptedDevices::PresentDevices(SerialPortRegistry& registry) {
  ++enumerations;
  if (failDeviceSet) return std::nullopt;
  std::vector<DeviceRecord> devices;
  for (const Port& port : ports) {
    const int32_t number = Register(registry, port);
    devices.push_back({port.description, port.description + " - " + port.node +
                                             (port.usb ? " [USB]" : "") + " (COM" +
                                             std::to_string(number) + ")"});
  }
  devices.insert(devices.end(), others.begin(), others.end());
  return devices;
}

DeviceSource::Change ScriptedDevices::ReadChange(SerialPortRegistry& registry) {
  char code = 0;
  if (read(pipe_[0], &code, 1) != 1) return Change::None;
  if (code == 'a') {
    for (const Port& port : ports) Register(registry, port);
  }
  return code == 'a' ? Change::PortArrived : code == 'r' ? Change::PortRemoved : Change::None;
}

void ScriptedDevices::Notify(Change change) {
  const char code = change == Change::PortArrived ? 'a' : change == Change::PortRemoved ? 'r' : 'n';
  [[maybe_unused]] ssize_t n = write(pipe_[1], &code, 1);
}

MessageBoxAnswerer::MessageBoxAnswerer() {
  timer_.setInterval(20);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      texts << box->text();
      box->button(QMessageBox::Ok)->click();
    }
  });
  timer_.start();
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
  return true;
}

void Type(QWidget* widget, const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    const qsizetype length = text[i].isHighSurrogate() ? 2 : 1;
    const QString character = text.mid(i, length);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, character);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, character);
    QApplication::sendEvent(widget, &release);
    i += length - 1;
  }
}

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

}  // namespace pelorin::ui::test
