#pragma once

#include "cp932_encoder.h"
#include "log_file.h"
#include "record_format.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace pelorin {

// The writer's own file calls give up sooner than the log gives up a stalled
// file (CsvLog::kStallLimit), so that a file that lets a signal end its calls
// fails by itself, with the whole lines it took kept.
inline constexpr std::chrono::milliseconds kLogWriteLimit{1500};
// A record waits this long for others to go to the file with it, unless this
// many bytes are waiting: a few writes a second, whatever the pace.
inline constexpr std::chrono::milliseconds kLogBatchDelay{50};
inline constexpr size_t kLogBatchBytes = 64 << 10;

// One opening of the log: the file and everything its writer thread touches.
// The log and the writer share it, so that a writer that a file holds beyond
// any bound can be left behind: it keeps its session alive, and finds it
// abandoned when the file lets it go.
struct LogSession {
  using Clock = std::chrono::steady_clock;

  LogSession(std::string path, RowNames rowNames, bool keepTrying, std::chrono::milliseconds retry)
      : path(std::move(path)), keepTrying(keepTrying), retry(retry), rowNames(std::move(rowNames)) {}

  const std::string path;
  // A failed write is tried again after retry (at once when the file held
  // it), its records kept, instead of ending the session.
  const bool keepTrying;
  const std::chrono::milliseconds retry;
  LogFile file;  // the writer's alone

  std::mutex mutex;
  std::condition_variable writerWake;  // records to write, or the end
  std::condition_variable changed;     // for the log: opened, failed, done, records after a lull

  // Guarded by mutex.
  bool opened = false;  // the writer has tried to open the file
  int32_t openError = 0;
  bool accepting = false;   // logging is on: records are queued
  bool stopping = false;    // closing: write what is queued, then end
  Clock::time_point closeDeadline;
  bool abandoned = false;   // given up on: the writer only closes the file and ends
  bool writerDone = false;
  bool writerSleeping = false;  // the writer waits for a first record
  bool watchIdle = false;       // the log's watch waits without a deadline
  int32_t failure = 0;      // the first failure; logging is off from then on
  bool told = false;        // the failure handler has heard of it

  std::string pending;  // Shift-JIS record lines not yet taken by the writer
  size_t pendingRecords = 0;
  Clock::time_point pendingSince;  // when the oldest pending record came
  bool writing = false;            // a batch is on its way to the file
  size_t inFlightRecords = 0;
  Clock::time_point writeStarted;  // since when the file has taken nothing
  size_t lost = 0;  // records of failed batches that did not reach the file
  uint64_t written = 0;      // records that reached the file
  uint64_t toldLost = 0;     // records counted in the failure handler's notice
  bool inFlightTold = false;  // the batch on its way is counted in that notice
  int32_t lastError = 0;     // keepTrying: the latest write's failure, 0 after a success
  Clock::time_point retryAt;  // keepTrying: no batch before then

  RowNames rowNames;    // as the window shows them now
  Cp932Encoder encoder;  // for every text that goes into the file
  std::string utf8;      // reused for every record

  // Since when records have waited for the file, if they do: since the
  // batch on its way was handed to the file, or since the oldest pending
  // record came. The writer's own calls give up sooner (kLogWriteLimit).
  bool OldestUnwritten(Clock::time_point* since) const {
    if (writing) {
      *since = writeStarted;
      return true;
    }
    if (pendingRecords == 0) return false;
    *since = pendingSince;
    return true;
  }
};

// The writer thread of a session: opens the file, then writes the queued
// records in batches until the session ends, fails or is abandoned.
void RunLogWriter(std::shared_ptr<LogSession> session);

}  // namespace pelorin
