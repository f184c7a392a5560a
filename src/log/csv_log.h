#pragma once

#include "cp932_encoder.h"
#include "log_file.h"
#include "node_report.h"
#include "record_format.h"

#include <functional>
#include <mutex>
#include <string>

namespace pelorin {

// The CSV log file: open exactly while logging is on. Records come from the
// receive thread, opening and closing from the window thread; a close never
// overlaps an append. Every line is Shift-JIS with CR LF and goes to the
// operating system with one write, so a crash of the program loses no record
// that was shown and leaves no half line.
class CsvLog {
 public:
  // Called on the appending thread, after the file was closed because a
  // write failed; it must not wait for the window thread.
  using FailureHandler = std::function<void(int32_t error)>;

  explicit CsvLog(FailureHandler onWriteFailure);
  ~CsvLog();
  CsvLog(const CsvLog&) = delete;
  CsvLog& operator=(const CsvLog&) = delete;

  // Opens (creating) the file for appending, with an exclusive write lock so
  // that no other program writes it meanwhile. 0 or errno (EAGAIN: locked).
  int32_t Open(const std::string& path);
  void Close();
  bool IsOpen();

  // The row names for the next header; the window keeps them up to date.
  void SetRowName(int row, std::string name);

  // Writes the header first when the file is empty, then the record line.
  // Does nothing while the log is closed.
  void Append(const NodeReport& report);

 private:
  void CloseLocked();

  FailureHandler onWriteFailure_;
  std::mutex mutex_;
  LogFile file_;
  bool open_ = false;
  RowNames rowNames_;
  Cp932Encoder encoder_;
  std::string utf8_;   // reused for every record
  std::string bytes_;
};

}  // namespace pelorin
