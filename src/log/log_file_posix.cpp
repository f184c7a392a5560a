#include "log_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelorin {

namespace {

int32_t Errno() { return errno != 0 ? errno : EIO; }

int Descriptor(intptr_t file) { return static_cast<int>(file); }

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

int32_t LogFile::Open(const std::string& path) {
  // Non-blocking, so that opening a FIFO without a reader fails rather than
  // waiting for one; for a regular file the flag changes nothing.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) return Errno();
  struct stat status {};
  int32_t error = 0;
  if (fstat(fd, &status) != 0) {
    error = Errno();
  } else if (!S_ISREG(status.st_mode)) {
    error = EINVAL;
  } else {
    // An open-file-description lock: it conflicts with the write locks of
    // other programs and of other opens in this process alike.
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &whole) < 0) error = Errno();
  }
  if (error != 0) {
    close(fd);  // nothing was written to it
    return error;
  }
  file_ = fd;
  path_ = path;
  return 0;
}

int32_t LogFile::Close() {
  if (file_ < 0) return 0;
  const int result = close(Descriptor(file_));
  file_ = -1;
  return result == 0 ? 0 : Errno();
}

// Two stats, a few microseconds once per batch.
int32_t LogFile::FollowPath(int64_t* length) {
  struct stat open {};
  if (fstat(Descriptor(file_), &open) != 0) return Errno();
  if (!AtPath()) {
    if (const int32_t error = Close(); error != 0) return error;
    const std::string path = path_;
    if (const int32_t error = Open(path); error != 0) return error;
    if (fstat(Descriptor(file_), &open) != 0) return Errno();
  }
  *length = open.st_size;
  return 0;
}

bool LogFile::AtPath() {
  struct stat open {};
  struct stat atPath {};
  return fstat(Descriptor(file_), &open) == 0 && open.st_nlink > 0 &&
         stat(path_.c_str(), &atPath) == 0 && SameFile(open, atPath);
}

int32_t LogFile::Append(std::string_view lines, int64_t length, Clock::time_point deadline,
                        size_t* kept) {
  *kept = lines.size();
  size_t written = 0;
  int32_t error = 0;
  while (written < lines.size()) {
    const ssize_t n = write(Descriptor(file_), lines.data() + written, lines.size() - written);
    if (n < 0 && errno == EINTR) {
      if (Clock::now() < deadline) continue;  // another signal: there is time yet
      error = ETIMEDOUT;
      break;
    }
    if (n <= 0) {
      error = n < 0 ? Errno() : EIO;
      break;
    }
    written += static_cast<size_t>(n);
    if (written < lines.size() && Clock::now() >= deadline) {
      error = ETIMEDOUT;
      break;
    }
  }
  if (error == 0) return 0;
  // Shift-JIS has no LF inside a character: the last LF written ends the last
  // whole line.
  const size_t lineEnd = lines.substr(0, written).rfind('\n');
  const size_t whole = lineEnd == std::string_view::npos ? 0 : lineEnd + 1;
  *kept = whole;
  if (whole < written && ftruncate(Descriptor(file_), length + static_cast<off_t>(whole)) != 0) {
    // The write's failure is reported either way; the part line then stays.
  }
  return error;
}

}  // namespace pelorin
