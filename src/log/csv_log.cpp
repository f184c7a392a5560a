#include "csv_log.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace pelorin {

namespace {

int32_t Errno() { return errno != 0 ? errno : EIO; }

}  // namespace

CsvLog::CsvLog(FailureHandler onWriteFailure) : onWriteFailure_(std::move(onWriteFailure)) {}

CsvLog::~CsvLog() { Close(); }

int32_t CsvLog::Open(const std::string& path) {
  std::lock_guard lock(mutex_);
  CloseLocked();
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return Errno();
  // An open-file-description lock: it conflicts with the write locks of other
  // programs and of other opens in this process alike.
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &whole) < 0) {
    const int32_t error = Errno();
    close(fd);
    return error;
  }
  fd_ = fd;
  return 0;
}

void CsvLog::Close() {
  std::lock_guard lock(mutex_);
  CloseLocked();
}

void CsvLog::CloseLocked() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool CsvLog::IsOpen() {
  std::lock_guard lock(mutex_);
  return fd_ >= 0;
}

void CsvLog::SetRowName(int row, std::string name) {
  std::lock_guard lock(mutex_);
  if (row >= 0 && row < kRowCount) rowNames_[static_cast<size_t>(row)] = std::move(name);
}

void CsvLog::Append(const NodeReport& report) {
  int32_t failure = 0;
  {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return;
    const off_t length = lseek(fd_, 0, SEEK_END);
    utf8_.clear();
    if (length == 0) {
      utf8_ = FormatHeaderLine(rowNames_);
      utf8_ += "\r\n";
    }
    AppendRecordLine(report, &utf8_);
    utf8_ += "\r\n";
    bytes_.clear();
    encoder_.Append(utf8_, &bytes_);

    size_t written = 0;
    while (written < bytes_.size()) {
      const ssize_t n = write(fd_, bytes_.data() + written, bytes_.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failure = n < 0 ? Errno() : EIO;
        break;
      }
      written += static_cast<size_t>(n);
    }
    if (failure != 0) {
      // Take back a partial line: the file holds whole records only.
      if (written > 0 && length >= 0 && ftruncate(fd_, length) != 0) {
        // Nothing more can be done for this file: it is closed either way.
      }
      CloseLocked();
    }
  }
  if (failure != 0 && onWriteFailure_) onWriteFailure_(failure);
}

}  // namespace pelorin
