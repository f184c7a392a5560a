#include "window_fonts.h"

#include "control_table.h"
#include "wide_text.h"

#include <algorithm>
#include <initializer_list>

namespace pelorin::ui {

namespace {

int CALLBACK NoteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool HasFace(const wchar_t* face) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &wanted, &NoteFace, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

std::wstring FirstFace(std::initializer_list<const wchar_t*> faces) {
  for (const wchar_t* face : faces) {
    if (HasFace(face)) return face;
  }
  return *faces.begin();
}

}  // namespace

std::wstring DialogFontFace() {
  return FirstFace({L"MS UI Gothic", L"Yu Gothic UI", L"Meiryo UI", L"IPAPGothic", L"IPAGothic",
                    L"Noto Sans CJK JP", L"VL Gothic"});
}

HFONT CreateValueLabelFont(UINT dpi) {
  const int height = -MulDiv(18, static_cast<int>(dpi), 72);
  // Fixed-pitch faces, so that the values keep their columns. The Japanese
  // ones come with Japanese Windows (and as optional supplemental fonts
  // elsewhere) or, under Wine, from the Linux system; Consolas and Courier New
  // are part of every Windows 10 and 11.
  const std::wstring face =
      FirstFace({L"ＭＳ ゴシック", L"MS Gothic", L"BIZ UDGothic", L"IPAGothic",
                 L"Noto Sans Mono CJK JP", L"VL Gothic", L"Consolas", L"Courier New"});
  return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     FIXED_PITCH | FF_MODERN, face.c_str());
}

void FitLabelTexts(HWND dialog) {
  HDC context = GetDC(dialog);
  const HGDIOBJ previous = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
  // The controls are the dialog's children in template order.
  HWND control = GetWindow(dialog, GW_CHILD);
  for (const monitor::ControlEntry& entry : monitor::ControlTable()) {
    if (control == nullptr) break;
    if (entry.kind == monitor::ControlKind::Label && entry.text[0] != '\0') {
      const std::wstring text = Widen(entry.text);
      SIZE needed{};
      GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &needed);
      RECT rect;
      GetWindowRect(control, &rect);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
      if (needed.cx + 1 > rect.right - rect.left) {
        const LONG left = std::max<LONG>(0, rect.right - needed.cx - 1);
        MoveWindow(control, left, rect.top, rect.right - left, rect.bottom - rect.top, FALSE);
      }
    }
    control = GetWindow(control, GW_HWNDNEXT);
  }
  SelectObject(context, previous);
  ReleaseDC(dialog, context);
}

}  // namespace pelorin::ui
