#include "row_face.h"

#include "shown_text_accessible.h"

#include <QWidget>

namespace pelorin::ui {

// A face reads as a shown text, but invisible while the face is not shown;
// only a value offers its characters.
class FaceAccessible : public ShownTextAccessible {
 public:
  explicit FaceAccessible(const RowFace& face)
      : ShownTextAccessible(&face.widget_, face.role_, Qt::AlignLeft | Qt::AlignVCenter), face_(face) {}

  QAccessible::State state() const override {
    QAccessible::State state = ShownTextAccessible::state();
    if (!face_.Shown()) state.invisible = true;
    return state;
  }

  QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(
      QAccessible::Relation match) const override {
    auto relations = ShownTextAccessible::relations(match);
    if (face_.label_ != nullptr && (match & QAccessible::Label)) {
      relations.append({QAccessible::queryAccessibleInterface(face_.label_), QAccessible::Label});
    }
    return relations;
  }

 protected:
  QString ShownText() const override { return face_.Shown() ? face_.SpokenText() : QString(); }
  bool OffersText() const override { return face_.role_ == QAccessible::StaticText; }

 private:
  const RowFace& face_;
};

QAccessibleInterface* RowFace::Accessible(const QString&, QObject* object) {
  auto* face = dynamic_cast<RowFace*>(object);
  if (face == nullptr) return nullptr;
  return new FaceAccessible(*face);
}

void RowFace::SetShown(bool shown) {
  if (shown == shown_) return;
  shown_ = shown;
  widget_.update();
  if (!QAccessible::isActive()) return;
  QAccessibleEvent event(&widget_, shown ? QAccessible::ObjectShow : QAccessible::ObjectHide);
  QAccessible::updateAccessibility(&event);
}

void RowFace::InstallAccessibility() {
  static const bool installed = (QAccessible::installFactory(&Accessible), true);
  (void)installed;
}

}  // namespace pelorin::ui
