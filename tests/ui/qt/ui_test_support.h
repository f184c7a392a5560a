#pragma once

#include "scripted_devices.h"

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace pelorin::ui {

// The window tests speak of the core's controls, ports and devices.
using namespace pelorin::monitor;

}  // namespace pelorin::ui

namespace pelorin::ui::test {

using monitor::test::ScriptedDevices;

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
