#pragma once

#include <windows.h>

#include <string>

namespace pelorin::ui {

// The dialog font's face: "MS UI Gothic" where the system has it, else the
// first Japanese Gothic face it has.
std::wstring DialogFontFace();

// The value labels' font, "ＭＳ ゴシック" at 18 point (or the first Japanese
// Gothic face the system has), for a window drawn at dpi.
HFONT CreateValueLabelFont(UINT dpi);

// The layout was made for "MS UI Gothic"; a fallback face may set a label's
// text a little wider. Such a label grows to the left, keeping its right edge
// next to the control it names, rather than losing the end of its text.
void FitLabelTexts(HWND dialog);

}  // namespace pelorin::ui
