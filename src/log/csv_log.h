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
#include <vector>

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
// A file that fails, or takes nothing for kStallLimit while records wait, is
// met as the log's Persistence says. GiveUp: logging is switched off and the
// failure handler says so; the stall is decided by the log's watch thread,
// not by a writer that the file may hold beyond any bound, and a writer that
// cannot be ended is left behind with what it touches. KeepTrying: records
// are kept, up to kQueueBytes, and written as soon as the file takes writes
// again; only records beyond the bound are lost, and health() counts them.
// No accepted record is lost without a notice or health() counting it.
class CsvLog {
 public:
  // Called once per failure, after logging has been switched off, on the
  // log's watch thread: the error, and how many accepted records did not
  // reach the file. It must not wait for the window thread, nor call the log.
  using FailureHandler = std::function<void(int32_t error, size_t unwritten)>;

  static constexpr std::chrono::milliseconds kStallLimit{2000};
  // Bytes of Shift-JIS record lines that may wait for the file: some 2 s of
  // records at the fastest rate a link delivers (60 000 reports a second
  // from a simulated gateway over loopback), about 4 minutes at a real
  // gateway's 460.
  static constexpr size_t kQueueBytes = 8 << 20;

  enum class Persistence {
    GiveUp,      // the window: its user decides what comes next
    KeepTrying,  // an unattended logger: nobody is there to decide
  };

  // What became of the records accepted since the log was made, and of the
  // open file's writes.
  struct Health {
    uint64_t written = 0;  // records that reached a file
    uint64_t lost = 0;     // accepted records that will not
    int32_t error = 0;     // the latest write's failure; 0 once a write succeeded
    bool stalled = false;  // records have waited kStallLimit or more
  };

  // retry: how long KeepTrying waits before a failed write is tried again (a
  // write that the file held is tried again at once).
  explicit CsvLog(FailureHandler onWriteFailure, Persistence persistence = Persistence::GiveUp,
                  std::chrono::milliseconds retry = std::chrono::seconds(10));
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
  Health health();

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

  // Adds what the sessions that have ended did to the health, and keeps
  // those left behind, whose writers may still finish.
  void Account(std::shared_ptr<LogSession> ended);

  FailureHandler onWriteFailure_;
  const Persistence persistence_;
  const std::chrono::milliseconds retry_;

  std::mutex mutex_;  // guards what follows; taken before a session's
  std::shared_ptr<LogSession> session_;
  RowNames rowNames_;
  Health ended_;  // of the sessions that are over
  std::vector<std::shared_ptr<LogSession>> leftBehind_;

  // The window thread's.
  std::thread writer_;
  std::thread watch_;
};

}  // namespace pelorin
