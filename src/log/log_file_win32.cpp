#include "log_file.h"

#include "wide_text.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>

namespace pelorin {

namespace {

HANDLE Handle(intptr_t file) { return reinterpret_cast<HANDLE>(file); }

// The log speaks errno on every system: Windows' reasons as their POSIX kin.
int32_t LastError() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EAGAIN;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

}  // namespace

// Shared for reading only: other programs may read the log but not write it,
// nor delete it while it is open, so it never goes out of sight here.
int32_t LogFile::Open(const std::string& path) {
  HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);  // nothing was written to it
    return EINVAL;
  }
  file_ = reinterpret_cast<intptr_t>(file);
  path_ = path;
  return 0;
}

int32_t LogFile::Close() {
  if (file_ == -1) return 0;
  const BOOL closed = CloseHandle(Handle(file_));
  file_ = -1;
  return closed ? 0 : LastError();
}

// The share mode refuses a rename or a deletion of the open file: it is the
// one at the path for as long as it is open.
int32_t LogFile::FollowPath(int64_t* length) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(Handle(file_), &size)) return LastError();
  *length = size.QuadPart;
  return 0;
}

bool LogFile::AtPath() { return true; }

int32_t LogFile::Append(std::string_view lines, int64_t length, Clock::time_point, size_t* kept) {
  *kept = lines.size();
  LARGE_INTEGER end{};
  end.QuadPart = length;
  if (!SetFilePointerEx(Handle(file_), end, nullptr, FILE_BEGIN)) return LastError();
  size_t written = 0;
  int32_t error = 0;
  while (written < lines.size() && error == 0) {
    DWORD count = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(lines.size() - written, 1u << 30));
    if (!WriteFile(Handle(file_), lines.data() + written, chunk, &count, nullptr)) {
      // A write that CallDeadline cancelled ends as ERROR_OPERATION_ABORTED.
      error = GetLastError() == ERROR_OPERATION_ABORTED ? ETIMEDOUT : LastError();
    } else if (count == 0) {
      error = EIO;
    }
    written += count;
  }
  if (error == 0) return 0;
  // Shift-JIS has no LF inside a character: the last LF written ends the last
  // whole line.
  const size_t lineEnd = lines.substr(0, written).rfind('\n');
  const size_t whole = lineEnd == std::string_view::npos ? 0 : lineEnd + 1;
  *kept = whole;
  if (whole < written) {
    LARGE_INTEGER cut{};
    cut.QuadPart = length + static_cast<int64_t>(whole);
    // The write's failure is reported either way; the part line then stays.
    if (SetFilePointerEx(Handle(file_), cut, nullptr, FILE_BEGIN)) SetEndOfFile(Handle(file_));
  }
  return error;
}

}  // namespace pelorin
