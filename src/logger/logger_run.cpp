#include "logger_run.h"

#include "failure_text.h"
#include "link_error.h"
#include "thread_name.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>

namespace pelorin::logger {

namespace {

protocol::SessionPacing Pacing(const RunTiming& timing, const LoggerOptions& options) {
  protocol::SessionPacing pacing;
  pacing.firstPause = timing.firstPause;
  pacing.longestPause = timing.longestPause;
  pacing.commandWaitSeconds = timing.commandWaitSeconds;
  pacing.silence = std::chrono::seconds(options.silenceSeconds);
  return pacing;
}

// How long a stop waits for the link to read what the gateway has sent: the
// log's close has the rest of the stop's two seconds.
constexpr std::chrono::milliseconds kFinishReadingBound{500};
// How long a stop gives the broker the queued reports and the "offline".
constexpr std::chrono::milliseconds kPublishingBound{1000};

// "3960 published, 0 not published", for the stop line and the summaries.
std::string PublishedText(uint64_t published, uint64_t notPublished) {
  return std::to_string(published) + " published, " + std::to_string(notPublished) + " not published";
}

}  // namespace

LoggerRun::LoggerRun(const LoggerOptions& options, Say say, RunTiming timing, Show show)
    : options_(options),
      say_(std::move(say)),
      timing_(std::move(timing)),
      show_(std::move(show)),
      log_(nullptr, CsvLog::Persistence::KeepTrying, timing_.logRetry),
      keeper_(options_, LogTiming{timing_.logRetry, timing_.logReminder}, log_, sink_,
              [this](std::string_view line, bool failure) { Tell(line, failure); }),
      session_(link_, sink_, *this, Pacing(timing_, options_)) {
  if (options_.useTcp) {
    link_.useTcp = 1;
    link_.SetHostName(options_.host);
    link_.SetPortText(options_.port);
  } else {
    link_.useTcp = 0;
    link_.comPort = SerialPortNumber(ports_, options_.serialDevice);
    link_.serialSpeed = options_.speed.value_or(0);
  }
  for (int row = 0; row < 5; ++row) log_.SetRowName(row, options_.rowNames[static_cast<size_t>(row)]);
}

LoggerRun::~LoggerRun() {
  session_.EndKeeping();
  session_.Close();
  log_.Close();
  if (publisher_) publisher_->Stop(std::chrono::milliseconds(0));
}

std::unique_ptr<mqtt::MqttPublisher> LoggerRun::MakePublisher() {
  if (!options_.mqtt) return nullptr;
  return std::make_unique<mqtt::MqttPublisher>(
      *options_.mqtt, options_.rowNames,
      [this](std::string_view line, bool failure) { Tell(line, failure); }, timing_.publish);
}

void LoggerRun::RequestStop() {
  std::lock_guard lock(sharedMutex_);
  shared_.stop = true;
  requested_.notify_all();
}

void LoggerRun::RequestReopen() {
  std::lock_guard lock(sharedMutex_);
  shared_.reopen = true;
  requested_.notify_all();
}

bool LoggerRun::Stopping() {
  std::lock_guard lock(sharedMutex_);
  return shared_.stop;
}

int LoggerRun::Run() {
  if (logging_) keeper_.Open();
  // Told by the publisher; without a log there is nothing left to do.
  if (publisher_ && !publisher_->Start() && !logging_) return 1;
  std::thread keeper;
  try {
    keeper = std::thread([this] {
      NameThisThread("pelorin-session");
      session_.Keep();
    });
  } catch (const std::system_error& error) {
    Tell("cannot start the session's thread: " + DescribeFailure(error.code().value()), true);
    if (logging_) keeper_.Close();
    if (publisher_) publisher_->Stop(std::chrono::milliseconds(0));
    return 1;
  }
  notice_.Ready();
  LookAfterLogUntilStopped();
  notice_.Stopping();
  // An attempt to reach the gateway is aborted; what the gateway has sent
  // by now is read and goes to the log before the link closes.
  session_.EndKeeping();
  keeper.join();
  link_.FinishReading(kFinishReadingBound);
  session_.Close();
  if (logging_) keeper_.Close();
  if (publisher_) publisher_->Stop(kPublishingBound);
  std::string outcome = logging_ ? keeper_.Outcome() : "";
  if (publisher_) {
    const mqtt::PublishCounts counts = publisher_->counts();
    outcome += (logging_ ? "; " : "") + PublishedText(counts.published, counts.notPublished);
  }
  Tell("stopped; " + std::to_string(sink_.reports()) + " reports decoded, " + outcome);
  return 0;
}

std::string LoggerRun::GatewayName() const {
  return options_.useTcp ? options_.host + ":" + options_.port : options_.serialDevice;
}

void LoggerRun::SessionChanged(const protocol::SessionEvent& event) {
  using Kind = protocol::SessionEvent::Kind;
  switch (event.kind) {
    case Kind::Started:
      Tell((started_ ? "reconnected to the gateway at " : "connected to the gateway at ") +
           GatewayName() + "; start command answered");
      started_ = true;
      notice_.Connected();
      {
        std::lock_guard lock(sharedMutex_);
        ++shared_.sessions;
      }
      return;
    case Kind::TryFailed:
      // A stop cuts a try short: nothing went wrong.
      if (event.code == LinkError::Abort && Stopping()) return;
      Tell((event.opened ? "the gateway at " + GatewayName() + " did not answer the start command: "
                         : "cannot reach the gateway at " + GatewayName() + ": ") +
           DescribeFailure(event.code) + "; next try in " + Seconds(event.nextTry));
      notice_.NotReached(DescribeFailure(event.code));
      return;
    case Kind::Lost:
    case Kind::Silent: {
      std::string why = "nothing heard from the gateway for " +
                        std::to_string(options_.silenceSeconds) + " s";
      if (event.kind == Kind::Lost) {
        why = event.code == LinkError::NotConnected ? "the gateway closed the connection"
              : options_.useTcp ? "the connection broke (" + DescribeFailure(event.code) + ")"
                                : "the serial device is gone (" + DescribeFailure(event.code) + ")";
      }
      const uint64_t reports = sink_.reports();
      Tell("gateway lost: " + why + "; " + std::to_string(reports - reportsBeforeLoss_) +
           " reports in this session; reconnecting" +
           (event.nextTry.count() > 0 ? " in " + Seconds(event.nextTry) : ""));
      reportsBeforeLoss_ = reports;
      notice_.Lost(why);
      std::lock_guard lock(sharedMutex_);
      ++shared_.losses;
      return;
    }
  }
}

void LoggerRun::Tell(std::string_view line, bool failure) {
  std::lock_guard lock(tellMutex_);
  for (const RepeatedLines::Line& told : repeated_.Take(line, failure)) say_(told.text, told.failure);
}

void LoggerRun::TellRepeats() {
  std::lock_guard lock(tellMutex_);
  for (const RepeatedLines::Line& told : repeated_.TakeDue()) say_(told.text, told.failure);
}

void LoggerRun::LookAfterLogUntilStopped() {
  nextSummary_ = Clock::now() + timing_.summary;
  for (;;) {
    bool reopen = false;
    {
      std::unique_lock lock(sharedMutex_);
      if (shared_.stop) return;
      reopen = std::exchange(shared_.reopen, false);
    }
    if (logging_) {
      if (reopen) keeper_.Reopen();
      keeper_.LookAfter();
    }
    ShowView();
    SummarizeWhenDue();
    TellRepeats();
    notice_.Tick(sink_.reports());
    // A report of a new day waits for its file, the log's health and the
    // view for their turn: a look ten times a second.
    Clock::time_point wake = Clock::now() + std::chrono::milliseconds(100);
    if (logging_) wake = std::min(wake, keeper_.NextTry());
    std::unique_lock lock(sharedMutex_);
    requested_.wait_until(lock, wake, [&] { return shared_.stop || shared_.reopen; });
  }
}

void LoggerRun::SummarizeWhenDue() {
  if (Clock::now() < nextSummary_) return;
  nextSummary_ += timing_.summary;
  const LogCounts counts = keeper_.Counts();
  const mqtt::PublishCounts published = publisher_ ? publisher_->counts() : mqtt::PublishCounts{};
  Shared now;
  {
    std::lock_guard lock(sharedMutex_);
    now = shared_;
  }
  const std::string period =
      timing_.summary == std::chrono::hours(1) ? "hour" : Seconds(timing_.summary);
  Tell("in the last " + period + ": " + std::to_string(counts.decoded - summarized_.decoded) +
       " reports decoded, " + Outcome(counts, published) + "; " +
       std::to_string(now.sessions - summarizedShared_.sessions) + " sessions started, " +
       std::to_string(now.losses - summarizedShared_.losses) + " gateway losses");
  summarized_ = counts;
  summarizedPublished_ = published;
  summarizedShared_ = now;
}

std::string LoggerRun::Outcome(const LogCounts& logged, const mqtt::PublishCounts& published) const {
  std::string outcome;
  if (logging_) {
    outcome = std::to_string(logged.written - summarized_.written) + " written, " +
              std::to_string(logged.notWritten - summarized_.notWritten) + " not written";
  }
  if (publisher_) {
    outcome += (logging_ ? "; " : "") +
               PublishedText(published.published - summarizedPublished_.published,
                             published.notPublished - summarizedPublished_.notPublished);
  }
  return outcome;
}

// Digits that change more often than this cannot be read anyway.
constexpr int kViewsPerSecond = 4;

void LoggerRun::ShowView() {
  if (!show_ || Clock::now() < nextView_) return;
  RowValues::Snapshot rows;
  std::string status, time;
  if (!sink_.TakeView(&rows, &status, &time)) return;
  {
    std::lock_guard lock(tellMutex_);
    show_(rows, status, time);
  }
  nextView_ = Clock::now() + std::chrono::milliseconds(1000 / kViewsPerSecond);
}

}  // namespace pelorin::logger
