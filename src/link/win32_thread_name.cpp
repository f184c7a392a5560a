#include "thread_name.h"

#include <windows.h>

#include <string>

namespace pelorin {

// SetThreadDescription came with Windows 10 and is missing from older systems
// and from some Wine versions: it is looked up, and without it threads stay
// unnamed.
void NameThisThread(const char* name) {
  using Describe = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto describe =
      kernel != nullptr
          ? reinterpret_cast<Describe>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")))
          : nullptr;
  if (describe == nullptr) return;
  const std::wstring wide(name, name + std::char_traits<char>::length(name));
  describe(GetCurrentThread(), wide.c_str());
}

}  // namespace pelorin
