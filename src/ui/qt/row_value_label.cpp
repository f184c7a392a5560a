#include "row_value_label.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace pelorin::ui {

namespace {

// Room beyond the text's advance for glyphs that reach past it.
constexpr int kOverhang = 2;

}  // namespace

RowValueLabel::RowValueLabel(QWidget* parent) : QWidget(parent), RowFace(*this, QAccessible::StaticText) {
  text_.setTextFormat(Qt::PlainText);
}

void RowValueLabel::SetText(const QString& text) {
  if (text == text_.text()) return;
  const int oldWidth = TextWidth();
  text_.setText(text);
  text_.prepare(QTransform(), font());
  update(0, 0, std::max(oldWidth, TextWidth()) + kOverhang, height());
}

int RowValueLabel::TextWidth() const { return static_cast<int>(std::ceil(text_.size().width())); }

// Left-aligned and centred from top to bottom, as a label would set it.
void RowValueLabel::paintEvent(QPaintEvent*) {
  if (!Shown() || text_.text().isEmpty()) return;
  QPainter painter(this);
  painter.setFont(font());
  const qreal top = (height() - text_.size().height()) / 2;
  painter.drawStaticText(QPointF(0, std::floor(top)), text_);
}

void RowValueLabel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    text_.prepare(QTransform(), font());
    update();
  }
  QWidget::changeEvent(event);
}

}  // namespace pelorin::ui
