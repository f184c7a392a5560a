#include "quorvane_app.h"

int main(int argc, char** argv) {
  pelorin::CQuorvaneApp app(argc, argv);
  return app.InitInstance();
}
