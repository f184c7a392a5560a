#include "report_session.h"

#include "frame_handler.h"

#include <algorithm>

namespace pelorin::protocol {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

void HandOverReports(void* owner) { static_cast<ReportSink*>(owner)->ReportsHandedOver(); }

// EndKeeping gives its abort again this often until Keep has returned: an
// Open clears a request left from before as it begins.
constexpr auto kAbortRepeat = 10ms;

}  // namespace

ReportSession::ReportSession(GatewayLink& link, ReportSink& sink, SessionObserver& observer,
                             SessionPacing pacing)
    : link_(link), sink_(sink), observer_(observer), pacing_(pacing) {}

ReportSession::~ReportSession() {
  EndKeeping();
  Close();
}

int32_t ReportSession::Open() {
  {
    std::lock_guard lock(mutex_);
    shared_.end = false;
  }
  return OpenLink();
}

int32_t ReportSession::OpenLink() {
  link_.owner = &sink_;
  link_.handler = &FrameHandler;
  link_.batchHandler = &HandOverReports;
  link_.connectionHandler = &OnConnectionChanged;
  link_.watcher = this;
  const LinkStatus status = link_.Open();
  if (!status.ok()) Close();
  return status.code;
}

int32_t ReportSession::Start() {
  // Whatever happens to the connection from here on is news to Keep.
  known_ = link_.connection();
  const LinkStatus status = link_.SendCommand(0, pacing_.commandWaitSeconds, "MD");
  if (!status.ok()) Close();
  return status.code;
}

void ReportSession::Close() {
  link_.owner = nullptr;
  link_.watcher = nullptr;
  link_.Close();
}

void ReportSession::Keep() {
  {
    std::lock_guard lock(mutex_);
    if (shared_.end) return;
    shared_.keeping = true;
    // An owner's abort that came after the start had succeeded must not cut
    // a later try short; EndKeeping's comes under the lock.
    link_.abortRequested = 0;
  }
  std::chrono::milliseconds pause = pacing_.firstPause;
  bool live = link_.state() == LinkState::Open;
  Clock::time_point sessionStart = Clock::now();
  for (;;) {
    if (live) {
      const Watch watch = WatchGateway();
      if (watch == Watch::Ended) break;
      live = false;
      if (Clock::now() - sessionStart >= pacing_.steadySession) pause = pacing_.firstPause;
      SessionEvent event{SessionEvent::Kind::Silent};
      if (watch == Watch::Lost) event = {SessionEvent::Kind::Lost, link_.connection().reason};
      // A serial device is opened again by the link as soon as it is back; a
      // TCP connection that has gone, or a gateway that says nothing, is
      // tried anew.
      if (watch == Watch::Silent || link_.useTcp != 0) Close();
      if (link_.state() != LinkState::Open) event.nextTry = pause;
      observer_.SessionChanged(event);
    } else if (TryToStart(pause)) {
      live = true;
      sessionStart = Clock::now();
      continue;
    }
    if (!AwaitNextTry(pause)) break;
    pause = std::min(pause * 2, pacing_.longestPause);
  }
  std::lock_guard lock(mutex_);
  shared_.keeping = false;
  changed_.notify_all();
}

void ReportSession::EndKeeping() {
  std::unique_lock lock(mutex_);
  shared_.end = true;
  changed_.notify_all();
  // The abort cuts short a connect, a drain or the wait for an answer, on
  // the keeping thread or in a Start of the owner's.
  do {
    link_.abortRequested = 1;
  } while (!changed_.wait_for(lock, kAbortRepeat, [this] { return !shared_.keeping; }));
}

ReportSession::Watch ReportSession::WatchGateway() {
  const bool listening = pacing_.silence.count() > 0;
  // A quiet gateway is looked at a few times within the silence.
  const auto look = std::clamp<Clock::duration>(pacing_.silence / 10, 100ms, 1s);
  uint64_t heard = link_.framesReceived();
  Clock::time_point lastHeard = Clock::now();
  for (;;) {
    const LinkConnection connection = link_.connection();
    if (connection.lost || connection.losses != known_.losses) return Watch::Lost;
    if (!Wait(listening ? std::optional(Clock::now() + look) : std::nullopt, true)) {
      return Watch::Ended;
    }
    if (!listening) continue;
    if (const uint64_t frames = link_.framesReceived(); frames != heard) {
      heard = frames;
      lastHeard = Clock::now();
    } else if (Clock::now() - lastHeard >= pacing_.silence) {
      return Watch::Silent;
    }
  }
}

// Before the next try: a link that is still open waits for its serial device
// to come back, which it looks for itself; otherwise the pause.
bool ReportSession::AwaitNextTry(std::chrono::milliseconds pause) {
  if (link_.state() != LinkState::Open) return Wait(Clock::now() + pause, false);
  for (;;) {
    if (!link_.connection().lost) return !Ending();
    if (!Wait(std::nullopt, true)) return false;
  }
}

bool ReportSession::TryToStart(std::chrono::milliseconds nextTry) {
  const int32_t openCode = link_.state() == LinkState::Open ? 0 : OpenLink();
  const bool opened = openCode == 0;
  const int32_t code = opened ? Start() : openCode;
  if (code == 0) {
    observer_.SessionChanged({SessionEvent::Kind::Started});
    return true;
  }
  // A try that EndKeeping aborted is no news.
  if (!Ending()) observer_.SessionChanged({SessionEvent::Kind::TryFailed, code, opened, nextTry});
  return false;
}

bool ReportSession::Wait(std::optional<Clock::time_point> until, bool watchLink) {
  std::unique_lock lock(mutex_);
  const auto woken = [&] { return shared_.end || (watchLink && shared_.linkChanged); };
  if (until) {
    changed_.wait_until(lock, *until, woken);
  } else {
    changed_.wait(lock, woken);
  }
  if (watchLink) shared_.linkChanged = false;
  return !shared_.end;
}

bool ReportSession::Ending() {
  std::lock_guard lock(mutex_);
  return shared_.end;
}

void ReportSession::OnConnectionChanged(void* session) {
  auto* self = static_cast<ReportSession*>(session);
  std::lock_guard lock(self->mutex_);
  self->shared_.linkChanged = true;
  self->changed_.notify_all();
}

}  // namespace pelorin::protocol
