#pragma once

#include <QAccessible>
#include <QPointer>
#include <QString>

class QWidget;

namespace pelorin::ui {

// One of the two controls that share a row's place, the indicator or the
// value. The row shows one of them by painting it and leaving the other
// blank, never by hiding a widget: each hide and show repaints what lies
// beneath and, with the pointer over the window, asks the X server where the
// pointer is, and rows turn from indicator to value and back many times a
// second. Assistive tools see the face not shown as hidden.
//
// To assistive tools a face is named by what it shows (a value, or the
// indicator's state in words) and labelled by its row's name edit, so that
// a row reads as its name and what it shows.
class RowFace {
 public:
  bool Shown() const { return shown_; }
  void SetShown(bool shown);
  // The row's name edit.
  void SetLabel(QWidget* label) { label_ = label; }

  // Once per program, before assistive tools first ask about a face.
  static void InstallAccessibility();

 protected:
  // role: how assistive tools announce the face.
  RowFace(QWidget& widget, QAccessible::Role role) : widget_(widget), role_(role) {}
  ~RowFace() = default;

  // What the face shows, in words; empty when it shows nothing.
  virtual QString SpokenText() const = 0;

 private:
  friend class FaceAccessible;
  static QAccessibleInterface* Accessible(const QString& className, QObject* object);

  QWidget& widget_;
  const QAccessible::Role role_;
  QPointer<QWidget> label_;
  bool shown_ = true;
};

}  // namespace pelorin::ui
