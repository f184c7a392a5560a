#pragma once

#include "node_report.h"
#include "record_format.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace pelorin {

struct LogSession;

// The CSV log file: open exactly while logging is on. Records come from the
// receive thread, which only formats them and adds them to the pending batch;
// the log's writer thread puts each batch in the file with one write, a few
// times a second, so a slow or stalled file never holds the receive thread.
// Every line is Shift-JIS with CR LF and goes to the operating system in a
// write of whole lines, so the file never keeps half a line. Records belong
// to the file at the path: one deleted or renamed under the log (as log
// rotation does) is made again there. Opening and closing are the window
// thread's, and each returns within about kStallLimit whatever the file does.
//
// A file that takes nothing for kStallLimit while records wait is given up,
// decided by the log's watch thread, not by a writer that the file may hold
// beyond any bound: logging is switched off and the failure handler says so.
// A writer that cannot be ended is left behind with what it touches. No
// accepted record is lost without that notice counting it.
class CsvLog {
 public:
  // Called once per failure, after logging has been switched off, on the
  // log's watch thread: the error, and how many accepted records did not
  // reach the file. It must not wait for the window thread, nor call the log.
  using FailureHandler = std::function<void(int32_t error, size_t unwritten)>;

  static constexpr std::chrono::milliseconds kStallLimit{2000};

  explicit CsvLog(FailureHandler onWriteFailure);
  ~CsvLog();
  CsvLog(const CsvLog&) = delete;
  CsvLog& operator=(const CsvLog&) = delete;

  // Opens (creating) the file for appending, with an exclusive write lock so
  // that no other program writes it meanwhile. 0 or errno (EAGAIN: locked;
  // EINVAL: not a regular file; ETIMEDOUT: the file system did not answer),
  // or the error of a system that cannot write the file's encoding
  // (Cp932ConversionProblem).
  int32_t Open(const std::string& path);
  // Writes what is pending and closes the file, waiting kStallLimit at most.
  // Records left unwritten, like an error the file system reports at
  // closing, go to the failure handler.
  void Close();
  // Whether logging is on: from a successful Open until Close or a failure.
  bool IsOpen();

  // The row names for the next header; the window keeps them up to date.
  void SetRowName(int row, std::string name);

  // Adds the record line to the pending batch. The writer puts the header
  // first when the file is empty as it writes the line, with the row names
  // as they are then. Does nothing while logging is off. Whether the record
  // was accepted: it will be in the file, or counted in a notice.
  bool Append(const NodeReport& report);

 private:
  using Clock = std::chrono::steady_clock;

  // The watch thread of a session: tells failures, gives up a stalled file,
  // and bounds the wait of a Close.
  void Watch(std::shared_ptr<LogSession> session);
  void Tell(std::unique_lock<std::mutex>& lock, LogSession& session);
  // Takes no more records and has the writer write what is pending and end,
  // by a close deadline kStallLimit from now.
  static void Stop(LogSession& session);
  // Ends the session's threads: joins the writer, or leaves it behind when
  // it has not ended by the session's close deadline.
  void EndThreads(LogSession& session);

  FailureHandler onWriteFailure_;

  std::mutex mutex_;  // guards session_ and rowNames_; taken before the session's
  std::shared_ptr<LogSession> session_;
  RowNames rowNames_;

  // The window thread's.
  std::thread writer_;
  std::thread watch_;
};

}  // namespace pelorin
