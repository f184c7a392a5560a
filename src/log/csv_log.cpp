#include "csv_log.h"

#include "cp932_encoder.h"
#include "log_session.h"
#include "thread_name.h"

#include <cerrno>
#include <system_error>

namespace pelorin {

CsvLog::CsvLog(FailureHandler onWriteFailure, Persistence persistence,
               std::chrono::milliseconds retry)
    : onWriteFailure_(std::move(onWriteFailure)), persistence_(persistence), retry_(retry) {}

CsvLog::~CsvLog() { Close(); }

int32_t CsvLog::Open(const std::string& path) {
  Close();
  // Lines whose Japanese all came out as '?' would be records lost silently.
  if (const auto problem = Cp932ConversionProblem()) return problem->error;
  RowNames names;
  {
    std::lock_guard lock(mutex_);
    names = rowNames_;
  }
  auto session = std::make_shared<LogSession>(path, std::move(names),
                                              persistence_ == Persistence::KeepTrying, retry_);
  try {
    writer_ = std::thread(RunLogWriter, session);
  } catch (const std::system_error& error) {
    return error.code().value();
  }
  {
    // The writer opens the file: an open, too, can wait on a file system
    // that does not answer.
    std::unique_lock lock(session->mutex);
    if (!session->changed.wait_for(lock, kStallLimit, [&] { return session->opened; })) {
      session->abandoned = true;
      lock.unlock();
      writer_.detach();
      return ETIMEDOUT;
    }
    if (session->openError != 0) {
      const int32_t error = session->openError;
      lock.unlock();
      writer_.join();
      return error;
    }
    session->accepting = true;
  }
  try {
    watch_ = std::thread(&CsvLog::Watch, this, session);
  } catch (const std::system_error& error) {
    Stop(*session);
    EndThreads(*session);
    return error.code().value();
  }
  std::lock_guard lock(mutex_);
  session_ = std::move(session);
  return 0;
}

void CsvLog::Close() {
  std::shared_ptr<LogSession> session;
  {
    std::lock_guard lock(mutex_);
    session = std::move(session_);  // no record reaches it from here on
  }
  if (!session) return;
  Stop(*session);
  watch_.join();  // by the close deadline at the latest
  EndThreads(*session);
  Account(std::move(session));
}

void CsvLog::Account(std::shared_ptr<LogSession> ended) {
  std::lock_guard lock(mutex_);
  if (ended) leftBehind_.push_back(std::move(ended));
  std::erase_if(leftBehind_, [this](const std::shared_ptr<LogSession>& session) {
    std::lock_guard sessionLock(session->mutex);
    if (!session->writerDone) return false;
    ended_.written += session->written;
    ended_.lost += session->lost + session->toldLost;
    return true;
  });
}

CsvLog::Health CsvLog::health() {
  Account(nullptr);
  std::lock_guard lock(mutex_);
  Health health = ended_;
  auto add = [&health](LogSession& session, bool current) {
    std::lock_guard sessionLock(session.mutex);
    health.written += session.written;
    health.lost += session.lost + session.toldLost;
    if (!current) return;
    health.error = session.lastError;
    Clock::time_point oldest;
    health.stalled = !session.told && session.OldestUnwritten(&oldest) &&
                     Clock::now() - oldest >= kStallLimit;
  };
  for (const auto& session : leftBehind_) add(*session, false);
  if (session_) add(*session_, true);
  return health;
}

void CsvLog::Stop(LogSession& session) {
  {
    std::lock_guard lock(session.mutex);
    session.accepting = false;
    session.stopping = true;
    session.closeDeadline = Clock::now() + kStallLimit;
  }
  session.writerWake.notify_all();
  session.changed.notify_all();
}

void CsvLog::EndThreads(LogSession& session) {
  std::unique_lock lock(session.mutex);
  session.changed.wait_until(lock, session.closeDeadline,
                             [&] { return session.writerDone || session.abandoned; });
  if (session.writerDone) {
    lock.unlock();
    writer_.join();
    return;
  }
  // Held by its file: it ends when the file lets it, and finds the session
  // abandoned.
  session.abandoned = true;
  lock.unlock();
  writer_.detach();
}

bool CsvLog::IsOpen() {
  std::lock_guard lock(mutex_);
  if (!session_) return false;
  std::lock_guard sessionLock(session_->mutex);
  return session_->accepting;
}

void CsvLog::SetRowName(int row, std::string name) {
  if (row < 0 || row >= kRowCount) return;
  std::lock_guard lock(mutex_);
  rowNames_[static_cast<size_t>(row)] = name;
  if (!session_) return;
  std::lock_guard sessionLock(session_->mutex);
  session_->rowNames[static_cast<size_t>(row)] = std::move(name);
}

bool CsvLog::Append(const NodeReport& report) {
  std::lock_guard lock(mutex_);
  if (!session_) return false;
  LogSession& session = *session_;
  std::lock_guard sessionLock(session.mutex);
  if (!session.accepting) return false;
  session.utf8.clear();
  AppendRecordLine(report, &session.utf8);
  session.utf8 += "\r\n";
  const bool wasEmpty = session.pendingRecords == 0;
  const size_t before = session.pending.size();
  session.encoder.Append(session.utf8, &session.pending);
  ++session.pendingRecords;
  if (wasEmpty) session.pendingSince = Clock::now();
  if (session.pending.size() > kQueueBytes && session.keepTrying) {
    // Only what the queue cannot hold is lost; logging goes on.
    session.pending.resize(before);
    --session.pendingRecords;
    ++session.lost;
    return true;
  }
  if (session.pending.size() > kQueueBytes) {
    // Decided and recorded here, in one piece; the watch tells it.
    session.failure = ENOBUFS;
    session.accepting = false;
    session.changed.notify_all();
    session.writerWake.notify_all();
    return true;  // counted in the notice
  }
  // The writer is woken for the first record after a lull and for a full
  // batch; otherwise it comes at its own time.
  if ((wasEmpty && session.writerSleeping) ||
      (before < kLogBatchBytes && session.pending.size() >= kLogBatchBytes)) {
    session.writerWake.notify_one();
  }
  // Only a log that gives up watches how long records wait.
  if (wasEmpty && session.watchIdle && !session.keepTrying) session.changed.notify_all();
  return true;
}

void CsvLog::Watch(std::shared_ptr<LogSession> sessionOwner) {
  NameThisThread("pelorin-logwait");
  LogSession& session = *sessionOwner;
  std::unique_lock lock(session.mutex);
  for (;;) {
    if (session.failure != 0 && !session.told) {
      Tell(lock, session);
      continue;
    }
    const Clock::time_point now = Clock::now();
    Clock::time_point oldest;
    // Only a log that gives up watches a stall; one that keeps trying waits.
    const bool waiting = !session.keepTrying && !session.told && session.OldestUnwritten(&oldest);
    if (session.stopping) {
      if (session.writerDone || session.abandoned) return;
      if (now >= session.closeDeadline) {
        // What the writer still holds is counted as not written.
        session.abandoned = true;
        if (session.failure == 0) session.failure = ETIMEDOUT;
        continue;
      }
    } else if (waiting && now - oldest >= kStallLimit) {
      session.abandoned = true;
      session.failure = ETIMEDOUT;
      session.writerWake.notify_all();
      continue;
    }
    if (session.stopping) {
      session.changed.wait_until(lock, session.closeDeadline);
    } else if (waiting) {
      session.changed.wait_until(lock, oldest + kStallLimit);
    } else {
      session.watchIdle = true;
      session.changed.wait(lock);
      session.watchIdle = false;
    }
  }
}

void CsvLog::Tell(std::unique_lock<std::mutex>& lock, LogSession& session) {
  const size_t unwritten =
      session.lost + session.pendingRecords + (session.writing ? session.inFlightRecords : 0);
  session.toldLost += unwritten;
  session.inFlightTold = session.writing;
  session.told = true;
  session.accepting = false;
  session.pending.clear();
  session.pendingRecords = 0;
  session.lost = 0;
  const int32_t error = session.failure;
  lock.unlock();
  if (onWriteFailure_) onWriteFailure_(error, unwritten);
  lock.lock();
}

}  // namespace pelorin
