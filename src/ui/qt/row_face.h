#pragma once

#include <QAccessible>

class QWidget;

namespace pelorin::ui {

// One of the two controls that share a row's place, the indicator or the
// value. The row shows one of them by painting it and leaving the other
// blank, never by hiding a widget: each hide and show repaints what lies
// beneath and, with the pointer over the window, asks the X server where the
// pointer is, and rows turn from indicator to value and back many times a
// second. Assistive tools see the face not shown as hidden.
class RowFace {
 public:
  bool Shown() const { return shown_; }
  void SetShown(bool shown);

  // Once per program, before assistive tools first ask about a face.
  static void InstallAccessibility();

 protected:
  // role: what Qt's own interface gives the face's kind of widget.
  RowFace(QWidget& widget, QAccessible::Role role) : widget_(widget), role_(role) {}
  ~RowFace() = default;

 private:
  static QAccessibleInterface* Accessible(const QString& className, QObject* object);

  QWidget& widget_;
  const QAccessible::Role role_;
  bool shown_ = true;
};

}  // namespace pelorin::ui
