#pragma once

#include <QAccessibleWidget>

namespace pelorin::ui {

// What assistive tools read of a control that shows one line of plain text:
// its name is that text (the name the window gave it while it shows nothing),
// and its text interface gives the characters where they stand on the
// screen, as a screen reader's review of the window reads them.
class ShownTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  ShownTextAccessible(QWidget* widget, QAccessible::Role role, Qt::Alignment alignment)
      : QAccessibleWidget(widget, role), alignment_(alignment) {}

  QString text(QAccessible::Text t) const override;
  void* interface_cast(QAccessible::InterfaceType type) override;

  // QAccessibleTextInterface: no selection, no caret.
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QString text(int startOffset, int endOffset) const override;
  int characterCount() const override { return static_cast<int>(ShownText().size()); }
  QRect characterRect(int offset) const override;
  int offsetAtPoint(const QPoint& point) const override;
  void scrollToSubstring(int, int) override {}
  QString attributes(int offset, int* startOffset, int* endOffset) const override;

 protected:
  // The text as shown now; empty while the control shows none.
  virtual QString ShownText() const = 0;
  // Whether the text interface is offered: only where the control is text.
  virtual bool OffersText() const { return true; }

 private:
  // Where the shown text starts, in screen coordinates.
  QPoint TextOrigin(const QString& shown) const;

  const Qt::Alignment alignment_;
};

// Labels that the window names by their role (the node status, the time of
// reception) read as what they show.
void InstallShownLabelAccessibility();

}  // namespace pelorin::ui
