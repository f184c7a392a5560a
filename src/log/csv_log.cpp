#include "csv_log.h"

namespace pelorin {

CsvLog::CsvLog(FailureHandler onWriteFailure) : onWriteFailure_(std::move(onWriteFailure)) {}

CsvLog::~CsvLog() { Close(); }

int32_t CsvLog::Open(const std::string& path) {
  std::lock_guard lock(mutex_);
  CloseLocked();
  if (const int32_t error = file_.Open(path); error != 0) return error;
  open_ = true;
  return 0;
}

void CsvLog::Close() {
  std::lock_guard lock(mutex_);
  CloseLocked();
}

void CsvLog::CloseLocked() {
  if (open_) file_.Close();
  open_ = false;
}

bool CsvLog::IsOpen() {
  std::lock_guard lock(mutex_);
  return open_;
}

void CsvLog::SetRowName(int row, std::string name) {
  std::lock_guard lock(mutex_);
  if (row >= 0 && row < kRowCount) rowNames_[static_cast<size_t>(row)] = std::move(name);
}

void CsvLog::Append(const NodeReport& report) {
  int32_t failure = 0;
  {
    std::lock_guard lock(mutex_);
    if (!open_) return;
    off_t length = 0;
    failure = file_.PrepareAppend(&length);
    if (failure == 0) {
      utf8_.clear();
      if (length == 0) {
        utf8_ = FormatHeaderLine(rowNames_);
        utf8_ += "\r\n";
      }
      AppendRecordLine(report, &utf8_);
      utf8_ += "\r\n";
      bytes_.clear();
      encoder_.Append(utf8_, &bytes_);
      failure = file_.Append(bytes_, length);
    }
    if (failure != 0) CloseLocked();
  }
  if (failure != 0 && onWriteFailure_) onWriteFailure_(failure);
}

}  // namespace pelorin
