#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelorin {

// The log's file at its path: a regular file, opened for appending and
// locked against other writers. A file deleted while it is open is made
// again at the path. One thread at a time uses it.
class LogFile {
 public:
  using Clock = std::chrono::steady_clock;

  LogFile() = default;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens path, creating it. 0 or errno: EINVAL for anything but a regular
  // file (a FIFO or a device is refused at once, never waited on), EAGAIN
  // when another writer holds the file.
  int32_t Open(const std::string& path);
  // 0, or the error that the file system reports as the file is closed. The
  // owner closes the file: only it can report that error.
  int32_t Close();

  // Before lines are appended: the length of the file that they go to. A
  // file that has been deleted would take them out of sight; a new one is
  // made at the path instead. One fstat, about a microsecond: less than the
  // write it comes before. 0 or the system's error.
  int32_t PrepareAppend(int64_t* length);

  // Appends lines, whole lines each ending in LF, to the file of the given
  // length. A write that is interrupted after the deadline fails with
  // ETIMEDOUT. On failure the whole lines that reached the file stay and a
  // part of a line is taken back. 0 or errno.
  int32_t Append(std::string_view lines, int64_t length, Clock::time_point deadline);

 private:
  std::string path_;
  // The open file: a descriptor or a handle, as the system gives it; -1 for none.
  intptr_t file_ = -1;
};

}  // namespace pelorin
