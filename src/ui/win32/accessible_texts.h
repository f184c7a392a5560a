#pragma once

#include <windows.h>

#include <string_view>

struct IAccPropServices;

namespace pelorin::ui {

// Names and descriptions that screen readers read for the dialog's controls,
// given through the system's accessibility property service. Without the
// service (no COM on this thread) controls keep what the system makes of
// them: their own caption, or the label before them.
class AccessibleTexts {
 public:
  AccessibleTexts();
  ~AccessibleTexts();
  AccessibleTexts(const AccessibleTexts&) = delete;
  AccessibleTexts& operator=(const AccessibleTexts&) = delete;

  // Empty texts take the property away again.
  void SetName(HWND control, std::string_view text);
  void SetDescription(HWND control, std::string_view text);

 private:
  void Set(HWND control, const GUID& property, std::string_view text);

  IAccPropServices* services_ = nullptr;
};

}  // namespace pelorin::ui
