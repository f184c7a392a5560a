#pragma once

#include <windows.h>

#include <string>

namespace pelorin::ui {

// The dialog font's face: "MS UI Gothic" where the system has it, else the
// first Japanese Gothic face it has.
std::wstring DialogFontFace();

// The value labels' font, "ＭＳ ゴシック" at 18 point (or the first Japanese
// Gothic face the system has), for the window's screen.
HFONT CreateValueLabelFont(HWND window);

}  // namespace pelorin::ui
