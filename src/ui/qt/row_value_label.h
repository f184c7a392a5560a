#pragma once

#include "row_face.h"

#include <QStaticText>
#include <QString>
#include <QWidget>

namespace pelorin::ui {

// A row's value: one line of text on top of the row's indicator, blank while
// the indicator is the face shown. A busy gateway changes every value many
// times a second, so the text is laid out once per change and painted from
// that layout, and a change repaints only the span the old or the new text
// covers, not the whole row.
class RowValueLabel : public QWidget, public RowFace {
 public:
  explicit RowValueLabel(QWidget* parent);

  QString Text() const { return text_.text(); }
  void SetText(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  QString SpokenText() const override { return Text(); }

 private:
  // The width the laid-out text covers.
  int TextWidth() const;

  QStaticText text_;
};

}  // namespace pelorin::ui
