#include "program_identity.h"

#include "wide_text.h"

#include <windows.h>

#include <vector>

namespace pelorin::monitor {

namespace {

std::wstring ProgramFileWide() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return path;
}

}  // namespace

std::string ProgramFilePath() {
  return Narrow(ProgramFileWide());
}

// The file version of the program file's version information, taken only
// when the information carries a translation table.
std::string ProgramVersionText() {
  const std::wstring path = ProgramFileWide();
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  unsigned parts[4] = {0, 0, 0, 0};
  if (size != 0) {
    std::vector<unsigned char> information(size + 1);
    void* translation = nullptr;
    UINT translationSize = 0;
    void* root = nullptr;
    UINT rootSize = 0;
    if (GetFileVersionInfoW(path.c_str(), 0, size, information.data()) &&
        VerQueryValueW(information.data(), L"\\VarFileInfo\\Translation", &translation, &translationSize) &&
        VerQueryValueW(information.data(), L"\\", &root, &rootSize) && rootSize >= sizeof(VS_FIXEDFILEINFO)) {
      const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(root);
      parts[0] = HIWORD(fixed->dwFileVersionMS);
      parts[1] = LOWORD(fixed->dwFileVersionMS);
      parts[2] = HIWORD(fixed->dwFileVersionLS);
      parts[3] = LOWORD(fixed->dwFileVersionLS);
    }
  }
  return FormatVersionText(parts[0], parts[1], parts[2], parts[3]);
}

}  // namespace pelorin::monitor
