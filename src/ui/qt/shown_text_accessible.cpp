#include "shown_text_accessible.h"

#include <QLabel>

namespace pelorin::ui {

QString ShownTextAccessible::text(QAccessible::Text t) const {
  if (t == QAccessible::Name) {
    const QString shown = ShownText();
    if (!shown.isEmpty()) return shown;
  }
  return QAccessibleWidget::text(t);
}

void* ShownTextAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TextInterface && OffersText()) return static_cast<QAccessibleTextInterface*>(this);
  return QAccessibleWidget::interface_cast(type);
}

QString ShownTextAccessible::text(int startOffset, int endOffset) const {
  return ShownText().mid(startOffset, endOffset - startOffset);
}

// One run of one look: the whole text.
QString ShownTextAccessible::attributes(int, int* startOffset, int* endOffset) const {
  *startOffset = 0;
  *endOffset = characterCount();
  return {};
}

QPoint ShownTextAccessible::TextOrigin(const QString& shown) const {
  const QWidget* w = widget();
  const int width = w->fontMetrics().horizontalAdvance(shown);
  const int x = alignment_ & Qt::AlignRight ? w->width() - width : 0;
  const int y = alignment_ & Qt::AlignTop ? 0 : (w->height() - w->fontMetrics().height()) / 2;
  return w->mapToGlobal(QPoint(x, y));
}

QRect ShownTextAccessible::characterRect(int offset) const {
  const QString shown = ShownText();
  if (offset < 0 || offset >= shown.size()) return {};
  const QFontMetrics metrics = widget()->fontMetrics();
  const QPoint origin = TextOrigin(shown);
  return {origin.x() + metrics.horizontalAdvance(shown.left(offset)), origin.y(),
          metrics.horizontalAdvance(shown.at(offset)), metrics.height()};
}

int ShownTextAccessible::offsetAtPoint(const QPoint& point) const {
  const int count = characterCount();
  for (int offset = 0; offset < count; ++offset) {
    if (characterRect(offset).contains(point)) return offset;
  }
  return -1;
}

namespace {

class ShownLabelAccessible : public ShownTextAccessible {
 public:
  explicit ShownLabelAccessible(QLabel* label)
      : ShownTextAccessible(label, QAccessible::StaticText, label->alignment()) {}

 protected:
  QString ShownText() const override { return static_cast<const QLabel*>(widget())->text(); }
};

QAccessibleInterface* ShownLabelFactory(const QString& className, QObject* object) {
  // Plain labels only: a kind of label of the window's own reads as it says.
  auto* label = qobject_cast<QLabel*>(object);
  if (className != QLatin1String("QLabel") || label == nullptr ||
      label->metaObject() != &QLabel::staticMetaObject || label->accessibleName().isEmpty()) {
    return nullptr;
  }
  return new ShownLabelAccessible(label);
}

}  // namespace

void InstallShownLabelAccessibility() {
  static const bool installed = (QAccessible::installFactory(&ShownLabelFactory), true);
  (void)installed;
}

}  // namespace pelorin::ui
