#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

class QWidget;

namespace pelorin::ui {

// Tells assistive tools that a label's name, which is the text it shows, has
// changed: at most once a second per label, and the last change always. They
// keep the names they were told, so a line that changes with every report
// must neither flood them nor leave them with an old text. Nothing is done
// while no tool listens.
class CalmNameEvents : public QObject {
 public:
  explicit CalmNameEvents(QObject* parent) : QObject(parent) {}

  void Changed(QWidget* label);

 private:
  void Tell(QWidget* label);

  struct Told {
    QElapsedTimer since;
    bool waiting = false;
  };
  QHash<QWidget*, Told> told_;
};

}  // namespace pelorin::ui
