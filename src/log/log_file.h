#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelorin {

// The log's file at its path: a regular file, opened for appending and
// locked against other writers. Records belong to the file at the path: one
// deleted or renamed while it is open is followed by a file opened (and made,
// if need be) at the path. One thread at a time uses it.
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

  // Before lines are appended: makes the open file the one at the path,
  // opening the path again when it names another file or none, and gives the
  // length of the file that the lines go to. 0 or the system's error.
  int32_t FollowPath(int64_t* length);
  // After lines were appended: whether the open file is still the one at the
  // path. Lines that went into a file which left it went out of sight.
  bool AtPath();

  // Appends lines, whole lines each ending in LF, to the file of the given
  // length. A write that is interrupted after the deadline fails with
  // ETIMEDOUT. On failure the whole lines that reached the file stay, their
  // bytes counted in *kept, and a part of a line is taken back. 0 or errno.
  int32_t Append(std::string_view lines, int64_t length, Clock::time_point deadline,
                 size_t* kept);

 private:
  std::string path_;
  // The open file: a descriptor or a handle, as the system gives it; -1 for none.
  intptr_t file_ = -1;
};

}  // namespace pelorin
