#pragma once

namespace pelorin::ui {

// Drop-down lists become known to screen readers by the name the window gives
// them, as every other control is, with their current item as their value.
// Qt's own interface gives a list's current item as its name where the
// accessibility bus reads names (Linux), so a list without a label of its own
// would be announced only by what it holds. Installed once; affects lists that
// have an accessible name.
void InstallNamedListAccessibility();

}  // namespace pelorin::ui
