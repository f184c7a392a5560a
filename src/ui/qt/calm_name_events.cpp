#include "calm_name_events.h"

#include "row_announcer.h"

#include <QAccessible>
#include <QTimer>
#include <QWidget>

#include <chrono>

namespace pelorin::ui {

namespace {

// The pace at which the rows are told, too.
constexpr qint64 kCalmIntervalMs =
    std::chrono::duration_cast<std::chrono::milliseconds>(monitor::RowAnnouncer::kCalmInterval).count();

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
