#include "display_connection.h"
#include "quorvane_app.h"

int main(int argc, char** argv) {
  pelorin::ui::PrepareDisplayConnection();
  pelorin::CQuorvaneApp app(argc, argv);
  return app.InitInstance();
}
