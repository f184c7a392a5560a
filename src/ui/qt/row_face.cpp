#include "row_face.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace pelorin::ui {

namespace {

// Qt's own interface for the face's kind of widget, but invisible while the
// face is not shown.
class FaceAccessible : public QAccessibleWidget {
 public:
  FaceAccessible(QWidget* widget, QAccessible::Role role, const RowFace& face)
      : QAccessibleWidget(widget, role), face_(face) {}

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    if (!face_.Shown()) state.invisible = true;
    return state;
  }

 private:
  const RowFace& face_;
};

}  // namespace

QAccessibleInterface* RowFace::Accessible(const QString&, QObject* object) {
  auto* face = dynamic_cast<RowFace*>(object);
  if (face == nullptr) return nullptr;
  return new FaceAccessible(&face->widget_, face->role_, *face);
}

void RowFace::SetShown(bool shown) {
  if (shown == shown_) return;
  shown_ = shown;
  widget_.update();
  QAccessibleEvent event(&widget_, shown ? QAccessible::ObjectShow : QAccessible::ObjectHide);
  QAccessible::updateAccessibility(&event);
}

void RowFace::InstallAccessibility() {
  static const bool installed = (QAccessible::installFactory(&Accessible), true);
  (void)installed;
}

}  // namespace pelorin::ui
