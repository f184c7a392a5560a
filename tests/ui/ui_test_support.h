#pragma once

#include "device_source.h"
#include "serial_ports.h"

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace pelorin::ui::test {

// A device source the test scripts: the devices it reports, and port notices
// sent through a pipe like the system's.
class ScriptedDevices : public DeviceSource {
 public:
  ScriptedDevices();
  ~ScriptedDevices() override;

  // Serial ports by device node; each is registered and named like the
  // system's: "<description> - <node>[ [USB]] (COMn)".
  struct Port {
    std::string node;
    std::string description;
    bool usb = false;
    std::string identity;  // a USB adapter's stable identity; empty: the node
  };
  std::vector<Port> ports;
  // Devices reported as they are, after the ports.
  std::vector<DeviceRecord> others;
  bool failDeviceSet = false;
  int enumerations = 0;

  std::optional<std::vector<DeviceRecord>> PresentDevices(SerialPortRegistry& registry) override;
  int ChangeDescriptor() const override { return pipe_[0]; }
  Change ReadChange(SerialPortRegistry& registry) override;
  void Notify(Change change);

 private:
  int pipe_[2] = {-1, -1};
};

// Answers every message box that opens, the way a user presses OK, and keeps
// its text.
class MessageBoxAnswerer : public QObject {
 public:
  MessageBoxAnswerer();
  QStringList texts;

 private:
  QTimer timer_;
};

// Runs the event loop until the condition holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// Types text one character at a time, as key events carrying the character.
void Type(QWidget* widget, const QString& text);
void Click(QWidget* widget);

}  // namespace pelorin::ui::test
