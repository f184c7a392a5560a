#pragma once

#include <windows.h>

namespace pelorin::ui {

// The scale a window is drawn at, in dots per inch (96 is 100 %). Functions of
// newer Windows versions are looked up while running, so that the program
// still starts on Windows 7, where the system's one scale serves.
UINT WindowDpi(HWND window);

// A system metric (an icon's width, say) at that scale.
int SystemMetricForDpi(int index, UINT dpi);

// When the window moves to a screen of another scale, the dialog manager
// gives its controls the dialog font at the new size; this control keeps the
// font the window gives it instead.
void KeepOwnFontOnDpiChange(HWND control);

}  // namespace pelorin::ui
