#pragma once

#include <windows.h>

#include <string_view>

struct IAccPropServices;

namespace pelorin::ui {

// Names that screen readers read for the dialog's controls, and the controls
// whose changes they speak without being asked, given through the system's
// accessibility property service. Without the service (no COM on this
// thread, or Wine, which lacks these calls) controls keep what the system
// makes of them: their own caption, or the label before them.
class AccessibleTexts {
 public:
  AccessibleTexts();
  ~AccessibleTexts();
  AccessibleTexts(const AccessibleTexts&) = delete;
  AccessibleTexts& operator=(const AccessibleTexts&) = delete;

  void SetName(HWND control, std::string_view text);
  // UI Automation clients (Windows 10 and later) speak the control's changes
  // when they hear of them, politely: after what they are saying.
  void MarkPoliteLiveRegion(HWND control);

 private:
  IAccPropServices* services_ = nullptr;
};

}  // namespace pelorin::ui
