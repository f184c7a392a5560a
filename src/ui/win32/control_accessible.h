#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace pelorin::ui {

// What a screen reader is told of a control that speaks for itself: worked
// out each time a client asks, so that it always matches what is shown.
struct AccessibleFace {
  std::wstring name;
  std::optional<std::wstring> value;  // none: the system's own answer
  LONG role;
};

// The window that knows what its controls stand for.
class AccessibleFaces {
 public:
  // None for a control the system describes well enough by itself.
  virtual std::optional<AccessibleFace> FaceOf(HWND control) const = 0;

 protected:
  ~AccessibleFaces() = default;
};

// Has the control answer screen readers (WM_GETOBJECT, OBJID_CLIENT) with the
// face that faces gives it, and with the system's own description for all
// else (state, place, parent), until the control is destroyed. Every answer
// is a new object holding only the control's handle: it looks faces up
// through the control, so that a client that keeps it past the window's end
// gets the system's answers for a window that is gone, never a stale one.
// Faces must outlive the control. False when the control cannot be hooked.
bool SpeakForItself(HWND control, const AccessibleFaces& faces);

}  // namespace pelorin::ui
