#pragma once

namespace pelorin::ui {

// Settles how the window's repaints reach an X server; before the
// application object opens the display.
void PrepareDisplayConnection();

}  // namespace pelorin::ui
