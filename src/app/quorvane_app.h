#pragma once

#include <QApplication>
#include <QTranslator>

namespace pelorin {

// The application: prepares the process and runs the monitor window modally
// for the program's whole life.
class CQuorvaneApp {
 public:
  CQuorvaneApp(int& argc, char** argv);

  // The start-up routine; the process ends when it returns.
  int InitInstance();

 private:
  QApplication application_;
  QTranslator qtTexts_;
};

}  // namespace pelorin
