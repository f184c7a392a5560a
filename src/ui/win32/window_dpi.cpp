#include "window_dpi.h"

namespace pelorin::ui {

namespace {

// Windows 10 1607 and later.
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
// Windows 10 1703 and later.
using SetDialogControlDpiChangeBehaviorFunction = BOOL(WINAPI*)(HWND, int, int);
constexpr int kDisableFontUpdate = 1;  // DCDC_DISABLE_FONT_UPDATE

template <typename Function>
Function User32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

}  // namespace

UINT WindowDpi(HWND window) {
  static const auto forWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  if (forWindow != nullptr) {
    if (const UINT dpi = forWindow(window); dpi != 0) return dpi;
  }
  HDC context = GetDC(window);
  const int dpi = GetDeviceCaps(context, LOGPIXELSY);
  ReleaseDC(window, context);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

int SystemMetricForDpi(int index, UINT dpi) {
  static const auto forDpi = User32Function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
  return forDpi != nullptr ? forDpi(index, dpi) : GetSystemMetrics(index);
}

void KeepOwnFontOnDpiChange(HWND control) {
  static const auto behaviour =
      User32Function<SetDialogControlDpiChangeBehaviorFunction>("SetDialogControlDpiChangeBehavior");
  if (behaviour != nullptr) behaviour(control, kDisableFontUpdate, kDisableFontUpdate);
}

}  // namespace pelorin::ui
