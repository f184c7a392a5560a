#pragma once

#include <QLabel>

namespace pelorin::ui {

// A file path over as many lines as the label is high. The label's text is
// the whole path, and so is its tooltip; a path too long for the lines is
// shown from its start and, on the last line, up to its end after an
// ellipsis, so that the file name is always in sight.
class PathLabel : public QLabel {
  Q_OBJECT

 public:
  explicit PathLabel(QWidget* parent);

  void SetPath(const QString& path);
  // The lines as shown, joined by line feeds.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace pelorin::ui
