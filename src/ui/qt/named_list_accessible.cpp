#include "named_list_accessible.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>

namespace pelorin::ui {

namespace {

class NamedListAccessible : public QAccessibleWidget {
 public:
  explicit NamedListAccessible(QComboBox* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

  // The name is the window's (QAccessibleWidget's answer); the value the item shown.
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return List()->currentText();
    return QAccessibleWidget::text(t);
  }

  // The one child is the popup list with the items, as in Qt's own interface.
  int childCount() const override { return List()->view() != nullptr ? 1 : 0; }
  QAccessibleInterface* child(int index) const override {
    return index == 0 && List()->view() != nullptr ? QAccessible::queryAccessibleInterface(List()->view())
                                                  : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child != nullptr && child->object() == List()->view() ? 0 : -1;
  }

 private:
  QComboBox* List() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* NamedListFactory(const QString& className, QObject* object) {
  auto* list = qobject_cast<QComboBox*>(object);
  if (className != QLatin1String("QComboBox") || list == nullptr || list->isEditable() ||
      list->accessibleName().isEmpty()) {
    return nullptr;
  }
  return new NamedListAccessible(list);
}

}  // namespace

void InstallNamedListAccessibility() {
  static const bool installed = (QAccessible::installFactory(&NamedListFactory), true);
  (void)installed;
}

}  // namespace pelorin::ui
