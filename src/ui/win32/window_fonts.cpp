#include "window_fonts.h"

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

HFONT CreateValueLabelFont(HWND window) {
  HDC context = GetDC(window);
  const int height = -MulDiv(18, GetDeviceCaps(context, LOGPIXELSY), 72);
  ReleaseDC(window, context);
  const std::wstring face =
      FirstFace({L"ＭＳ ゴシック", L"MS Gothic", L"IPAGothic", L"Noto Sans Mono CJK JP", L"VL Gothic"});
  return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                     face.c_str());
}

}  // namespace pelorin::ui
