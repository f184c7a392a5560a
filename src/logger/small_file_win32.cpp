#include "small_file.h"
#include "wide_text.h"

#include <windows.h>

namespace pelorin::logger {

int32_t ReadSmallFile(const std::string& path, size_t limit, std::string* contents) {
  const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return static_cast<int32_t>(GetLastError());
  int32_t error = 0;
  char buffer[4096];
  while (contents->size() <= limit) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) error = static_cast<int32_t>(GetLastError());
    if (error != 0 || got == 0) break;
    contents->append(buffer, got);
  }
  CloseHandle(file);
  return error;
}

}  // namespace pelorin::logger
