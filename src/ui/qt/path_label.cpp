#include "path_label.h"

#include <QPainter>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>

namespace pelorin::ui {

PathLabel::PathLabel(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

void PathLabel::SetPath(const QString& path) {
  setText(path);
  setToolTip(path);
}

QString PathLabel::ShownText() const {
  const QString path = text();
  const QFontMetrics metrics = fontMetrics();
  const int width = contentsRect().width();
  const int lineCount = std::max(1, contentsRect().height() / metrics.lineSpacing());
  QTextLayout layout(path, font());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  QStringList lines;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    if (lines.size() + 1 == lineCount) {
      lines << metrics.elidedText(path.mid(line.textStart()), Qt::ElideLeft, width);
      break;
    }
    lines << path.mid(line.textStart(), line.textLength());
  }
  layout.endLayout();
  return lines.join(u'\n');
}

void PathLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawFrame(&painter);
  style()->drawItemText(&painter, contentsRect(), Qt::AlignLeft | Qt::AlignTop, palette(),
                        isEnabled(), ShownText(), foregroundRole());
}

}  // namespace pelorin::ui
