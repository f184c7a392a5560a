#include "csv_log.h"

#include "call_deadline.h"
#include "cp932_encoder.h"
#include "thread_name.h"

#include <cerrno>
#include <system_error>

namespace pelorin {

namespace {

// Bytes of records that may wait for the writer: some 2 s of records at the
// fastest rate a link delivers (60 000 reports a second from a simulated
// gateway over loopback), while a file that takes them needs one write for
// all that wait. The queue fills only when the file has stopped taking
// records.
constexpr size_t kQueueLimit = 8 << 20;

}  // namespace

CsvLog::CsvLog(FailureHandler onWriteFailure) : onWriteFailure_(std::move(onWriteFailure)) {}

CsvLog::~CsvLog() { Close(); }

int32_t CsvLog::Open(const std::string& path) {
  Close();
  // Lines whose Japanese all came out as '?' would be records lost silently.
  if (const auto problem = Cp932ConversionProblem()) return problem->error;
  if (const int32_t error = file_.Open(path); error != 0) return error;
  try {
    writer_ = std::thread(&CsvLog::WriteRecords, this);
  } catch (const std::system_error& error) {
    file_.Close();  // nothing was written to it
    return error.code().value();
  }
  std::lock_guard lock(mutex_);
  accepting_ = true;
  return 0;
}

void CsvLog::Close() {
  if (!writer_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    accepting_ = false;
    stopping_ = true;
    closeDeadline_ = Clock::now() + kStallLimit;
  }
  wake_.notify_one();
  writer_.join();
  std::lock_guard lock(mutex_);
  stopping_ = false;
  failed_ = false;
}

bool CsvLog::IsOpen() {
  std::lock_guard lock(mutex_);
  return accepting_;
}

void CsvLog::SetRowName(int row, std::string name) {
  std::lock_guard lock(mutex_);
  if (row >= 0 && row < kRowCount) rowNames_[static_cast<size_t>(row)] = std::move(name);
}

void CsvLog::Append(const NodeReport& report) {
  bool wasEmpty = false;
  bool full = false;
  {
    std::lock_guard lock(mutex_);
    if (!accepting_) return;
    utf8_.clear();
    AppendRecordLine(report, &utf8_);
    utf8_ += "\r\n";
    wasEmpty = queued_.empty();
    encoder_.Append(utf8_, &queued_);
    full = queued_.size() > kQueueLimit;
  }
  if (full) {
    Fail(ENOBUFS);
  } else if (wasEmpty) {
    wake_.notify_one();
  }
}

void CsvLog::WriteRecords() {
  NameThisThread("pelorin-log");
  CallDeadline deadline;
  int32_t error = deadline.Error();
  std::string batch;
  while (error == 0) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return !queued_.empty() || stopping_ || failed_; });
      if (failed_ || queued_.empty()) break;
      batch.swap(queued_);  // the queue goes on in the batch's old buffer
    }
    const Clock::time_point until = Deadline();
    deadline.Set(until);
    error = WriteBatch(&batch, until);
    deadline.Clear();
    batch.clear();
  }
  // Closing can wait too: a network share may write the file back only now.
  deadline.Set(Deadline());
  const int32_t closed = file_.Close();
  deadline.Clear();
  if (error == 0) error = closed;
  if (error != 0) Fail(error);
}

CsvLog::Clock::time_point CsvLog::Deadline() {
  const Clock::time_point stalled = Clock::now() + kStallLimit;
  std::lock_guard lock(mutex_);
  return stopping_ && closeDeadline_ < stalled ? closeDeadline_ : stalled;
}

int32_t CsvLog::WriteBatch(std::string* batch, Clock::time_point deadline) {
  int64_t length = 0;
  if (const int32_t error = file_.PrepareAppend(&length); error != 0) return error;
  if (length == 0) {
    std::string header;
    {
      std::lock_guard lock(mutex_);
      encoder_.Append(FormatHeaderLine(rowNames_) + "\r\n", &header);
    }
    batch->insert(0, header);
  }
  return file_.Append(*batch, length, deadline);
}

void CsvLog::Fail(int32_t error) {
  {
    std::lock_guard lock(mutex_);
    if (failed_) return;
    failed_ = true;
    accepting_ = false;
    queued_.clear();
  }
  wake_.notify_one();
  if (onWriteFailure_) onWriteFailure_(error);
}

}  // namespace pelorin
