#include "descriptor_wait.h"

#include <windows.h>

namespace pelorin {

namespace {

HANDLE Native(const WakeEvent& wake) { return reinterpret_cast<HANDLE>(wake.native()); }

}  // namespace

// An auto-reset event: a wait that it ends also takes the signal away.
int32_t WakeEvent::Create() {
  if (native_ != kNone) return 0;
  const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (event == nullptr) {
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<int32_t>(error) : ERROR_NOT_ENOUGH_MEMORY;
  }
  native_ = reinterpret_cast<std::intptr_t>(event);
  return 0;
}

WakeEvent::~WakeEvent() {
  if (native_ != 0) CloseHandle(Native(*this));
}

void WakeEvent::Signal() const { SetEvent(Native(*this)); }

void WakeEvent::Drain() const { ResetEvent(Native(*this)); }

InputReadiness WaitForWake(const WakeEvent& wake, int timeoutMs) {
  switch (WaitForSingleObject(Native(wake), static_cast<DWORD>(timeoutMs))) {
    case WAIT_OBJECT_0:
      return InputReadiness::Woken;
    case WAIT_TIMEOUT:
      return InputReadiness::TimedOut;
    default:
      return InputReadiness::Failed;
  }
}

}  // namespace pelorin
