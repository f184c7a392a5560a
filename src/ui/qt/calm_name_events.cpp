#include "calm_name_events.h"

#include <QAccessible>
#include <QTimer>
#include <QWidget>

namespace pelorin::ui {

namespace {

constexpr qint64 kCalmIntervalMs = 1000;

}  // namespace

void CalmNameEvents::Changed(QWidget* label) {
  if (!QAccessible::isActive()) return;
  Told& told = told_[label];
  if (told.waiting) return;  // the waiting event will tell the text of its time
  if (!told.since.isValid() || told.since.elapsed() >= kCalmIntervalMs) {
    Tell(label);
    return;
  }
  told.waiting = true;
  QTimer::singleShot(kCalmIntervalMs - told.since.elapsed(), this, [this, label] {
    told_[label].waiting = false;
    Tell(label);
  });
}

void CalmNameEvents::Tell(QWidget* label) {
  told_[label].since.start();
  QAccessibleEvent event(label, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&event);
}

}  // namespace pelorin::ui
