#include "ui_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QThread>
#include <QtTest/QTest>


namespace pelorin::ui::test {

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
