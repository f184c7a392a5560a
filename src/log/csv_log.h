#pragma once

#include "cp932_encoder.h"
#include "log_file.h"
#include "node_report.h"
#include "record_format.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace pelorin {

// The CSV log file: open exactly while logging is on. Records come from the
// receive thread, which only formats and queues them; the log's own writer
// thread puts them in the file, so a slow or stalled file never holds the
// receive thread. Every line is Shift-JIS with CR LF and goes to the
// operating system in a write of whole lines, so the file never keeps half
// a line. Opening and closing are the window thread's.
//
// A file that takes no records for kStallLimit is given up: logging is
// switched off and the failure handler says so. Nothing queued is lost
// without that notice.
class CsvLog {
 public:
  // Called once per failure, after logging has been switched off: on the
  // writer thread, or on the appending thread when the queue is full. It
  // must not wait for the window thread, nor call the log.
  using FailureHandler = std::function<void(int32_t error)>;

  static constexpr std::chrono::seconds kStallLimit{2};

  explicit CsvLog(FailureHandler onWriteFailure);
  ~CsvLog();
  CsvLog(const CsvLog&) = delete;
  CsvLog& operator=(const CsvLog&) = delete;

  // Opens (creating) the file for appending, with an exclusive write lock so
  // that no other program writes it meanwhile, and starts the writer.
  // 0 or errno (EAGAIN: locked; EINVAL: not a regular file), or the error of
  // a system that cannot write the file's encoding (Cp932ConversionProblem).
  int32_t Open(const std::string& path);
  // Writes what is queued and closes the file, waiting kStallLimit at most
  // for a file that does not take the records; only a wait that no signal
  // ends (see CallDeadline) can hold it longer. Records left unwritten, like
  // an error the file system reports at closing, go to the failure handler.
  void Close();
  // Whether logging is on: from a successful Open until Close or a failure.
  bool IsOpen();

  // The row names for the next header; the window keeps them up to date.
  void SetRowName(int row, std::string name);

  // Queues the record line. The writer puts the header first when the file
  // is empty as it writes the line, with the row names as they are then.
  // Does nothing while logging is off.
  void Append(const NodeReport& report);

 private:
  using Clock = std::chrono::steady_clock;

  void WriteRecords();  // the writer thread
  int32_t WriteBatch(std::string* batch, Clock::time_point deadline);
  // When the file operation starting now is given up: after kStallLimit, or
  // at the deadline of a Close that is waiting.
  Clock::time_point Deadline();
  // Switches logging off and tells the failure handler, unless a failure
  // was told already.
  void Fail(int32_t error);

  FailureHandler onWriteFailure_;
  LogFile file_;  // the writer's while it runs
  std::thread writer_;

  std::mutex mutex_;
  std::condition_variable wake_;  // the writer waits for records or the end
  bool accepting_ = false;        // logging is on: Append queues records
  bool stopping_ = false;         // Close waits for the writer to finish
  bool failed_ = false;           // told the handler; the writer ends
  Clock::time_point closeDeadline_;
  std::string queued_;  // Shift-JIS record lines not yet written
  RowNames rowNames_;
  Cp932Encoder encoder_;
  std::string utf8_;  // reused for every record
};

}  // namespace pelorin
