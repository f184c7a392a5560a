// The log's writer thread: it alone calls the file, which may wait beyond any
// bound, so it touches nothing but its session.

#include "call_deadline.h"
#include "log_session.h"
#include "thread_name.h"

#include <algorithm>
#include <cerrno>

namespace pelorin {

namespace {

using Clock = LogSession::Clock;

// A batch that went into a file which left the path meanwhile is written
// again to the file now there; a path that keeps changing under every write
// is given up on after this many tries, the batch staying where it went.
constexpr int kPathTries = 4;

size_t LineCount(std::string_view text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Where the text after its first `lines` lines begins.
size_t AfterLines(std::string_view text, size_t lines) {
  size_t at = 0;
  for (; lines > 0; --lines) at = text.find('\n', at) + 1;
  return at;
}

// Writes a batch of `records` lines to the file at the path, the header first
// into an empty file. 0, or the error with *written the records that reached
// the file.
int32_t WriteBatch(LogSession& session, const std::string& batch, size_t records,
                   Clock::time_point deadline, size_t* written) {
  *written = 0;
  for (int attempt = 1;; ++attempt) {
    int64_t length = 0;
    if (const int32_t error = session.file.FollowPath(&length); error != 0) return error;
    std::string withHeader;
    std::string_view lines = batch;
    if (length == 0) {
      {
        std::lock_guard lock(session.mutex);
        session.encoder.Append(FormatHeaderLine(session.rowNames) + "\r\n", &withHeader);
      }
      withHeader += batch;
      lines = withHeader;
    }
    size_t kept = 0;
    if (const int32_t error = session.file.Append(lines, length, deadline, &kept); error != 0) {
      const size_t reached = LineCount(lines.substr(0, kept));
      const size_t header = length == 0 && reached > 0 ? 1 : 0;
      *written = reached - header;
      return error;
    }
    if (attempt == kPathTries || session.file.AtPath()) {
      *written = records;
      return 0;
    }
  }
}

// Waits until a batch is due, kLogBatchDelay after the last one while records
// keep coming, or kLogBatchDelay after the first record that ends a lull; at
// once when kLogBatchBytes wait or the session is closing. So a steady stream
// costs one wake-up a batch, and only the first record after a lull is
// announced by the appender. False when the writer is to end instead.
bool AwaitBatch(LogSession& session, std::unique_lock<std::mutex>& lock,
                Clock::time_point lastBatch) {
  const Clock::time_point period = lastBatch + kLogBatchDelay;
  for (;;) {
    if (session.abandoned || session.failure != 0) return false;
    const Clock::time_point now = Clock::now();
    // A failed write waits for its next try; a close tries once more at once.
    if (now < session.retryAt && !session.stopping) {
      session.writerWake.wait_until(lock, session.retryAt);
      continue;
    }
    if (session.pending.empty()) {
      if (session.stopping) return false;
      if (now < period) {
        session.writerWake.wait_until(lock, period);
        continue;
      }
      session.writerSleeping = true;
      session.writerWake.wait(lock);
      session.writerSleeping = false;
      continue;
    }
    if (session.stopping || session.pending.size() >= kLogBatchBytes) return true;
    const Clock::time_point due =
        session.pendingSince < period ? period : session.pendingSince + kLogBatchDelay;
    if (now >= due) return true;
    session.writerWake.wait_until(lock, due);
  }
}

// When the file call starting now is given up: the writer's own limit, or
// just before the log stops waiting for a Close.
Clock::time_point CallLimit(LogSession& session) {
  const Clock::time_point limit = Clock::now() + kLogWriteLimit;
  std::lock_guard lock(session.mutex);
  if (!session.stopping) return limit;
  return std::min(limit, session.closeDeadline - std::chrono::milliseconds(200));
}

// A log that keeps trying puts what the file did not take back at the head
// of the queue, to be written at the next try.
void KeepForRetry(LogSession& session, std::string_view batch, size_t written, size_t records,
                  Clock::time_point batchSince, int32_t error) {
  session.pending.insert(0, batch.substr(AfterLines(batch, written)));
  if (session.pendingRecords == 0 || batchSince < session.pendingSince) {
    session.pendingSince = batchSince;
  }
  session.pendingRecords += records - written;
  session.lastError = error;
  // A write that the file held (the call's deadline ended it) goes again at
  // once: the file may answer any moment.
  session.retryAt = Clock::now() + (error == ETIMEDOUT ? Clock::duration{} : session.retry);
}

// A failure of the writer's own: logging is off, and the log tells of it.
void RecordFailure(LogSession& session, int32_t error) {
  std::lock_guard lock(session.mutex);
  if (session.failure == 0) session.failure = error;
  session.accepting = false;
  session.changed.notify_all();
}

}  // namespace

void RunLogWriter(std::shared_ptr<LogSession> sessionOwner) {
  NameThisThread("pelorin-log");
  LogSession& session = *sessionOwner;
  CallDeadline deadline;
  int32_t error = deadline.Error();
  if (error == 0) {
    deadline.Set(Clock::now() + kLogWriteLimit);
    error = session.file.Open(session.path);
    deadline.Clear();
  }
  {
    std::lock_guard lock(session.mutex);
    session.opened = true;
    session.openError = error;
    session.writerDone = error != 0;
    session.changed.notify_all();
  }
  if (error != 0) return;

  std::string batch;
  Clock::time_point lastBatch;
  for (;;) {
    size_t records = 0;
    Clock::time_point batchSince;
    {
      std::unique_lock lock(session.mutex);
      if (!AwaitBatch(session, lock, lastBatch)) break;
      lastBatch = Clock::now();
      batch.swap(session.pending);  // the queue goes on in the batch's old buffer
      batchSince = session.pendingSince;
      records = session.pendingRecords;
      session.pendingRecords = 0;
      session.writing = true;
      session.inFlightRecords = records;
      session.writeStarted = Clock::now();
    }
    const Clock::time_point limit = CallLimit(session);
    deadline.Set(limit);
    size_t written = 0;
    error = WriteBatch(session, batch, records, limit, &written);
    deadline.Clear();
    {
      std::lock_guard lock(session.mutex);
      session.writing = false;
      session.inFlightRecords = 0;
      session.written += written;
      if (session.inFlightTold) {
        session.toldLost -= written;  // counted in the notice, yet they reached the file
      } else if (error != 0 && session.keepTrying && !session.stopping) {
        KeepForRetry(session, batch, written, records, batchSince, error);
        error = 0;
      } else if (error != 0) {
        session.lost += records - written;
      } else {
        session.lastError = 0;
      }
      session.inFlightTold = false;
    }
    batch.clear();
    if (error != 0) {
      RecordFailure(session, error);
      break;
    }
  }
  // Closing can wait too: a network share may write the file back only now.
  deadline.Set(CallLimit(session));
  const int32_t closed = session.file.Close();
  deadline.Clear();
  if (closed != 0) RecordFailure(session, closed);
  std::lock_guard lock(session.mutex);
  session.writerDone = true;
  session.changed.notify_all();
}

}  // namespace pelorin
