#pragma once

#include "gateway_link.h"
#include "report_sink.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace pelorin::protocol {

// How a kept session tries again: the pause before the next try doubles from
// the first to the longest, and starts from the first again only after a
// session that lasted the steady time; a gateway that drops every
// connection soon after it is made is thus tried ever less often.
struct SessionPacing {
  std::chrono::milliseconds firstPause{1000};
  std::chrono::milliseconds longestPause{60000};
  std::chrono::milliseconds steadySession{10000};
  int32_t commandWaitSeconds = 5;
  // Nothing heard from the gateway for this long counts as losing it; zero
  // never does, since nodes may well stay quiet for hours.
  std::chrono::seconds silence{0};
};

// What a kept session tells its owner.
struct SessionEvent {
  enum class Kind {
    Lost,       // the link lost the gateway; code: why (LinkConnection::reason)
    Silent,     // nothing heard for the silence; the link was closed
    TryFailed,  // a try to reach the gateway again failed; code: why
    Started,    // the link is open and the gateway answered the start command
  };
  Kind kind;
  int32_t code = 0;
  // TryFailed: whether the link opened, so that only the start command went
  // unanswered. TryFailed, Lost and Silent: the pause until the next try;
  // zero for a serial device that is gone, tried again as soon as it is back.
  bool opened = false;
  std::chrono::milliseconds nextTry{0};
};

class SessionObserver {
 public:
  // On the thread that keeps the session; must not wait for the owner's
  // other threads.
  virtual void SessionChanged(const SessionEvent& event) = 0;

 protected:
  ~SessionObserver() = default;
};

// A session of node reports on a gateway link, the same for the window and
// for the unattended logger: the link's frames go to the frame handler, which
// decodes each report into the sink; node 0's start command "MD" makes the
// gateway send them. Once started, Keep follows the gateway: a gateway that
// is lost (its connection closed, reset or broken, its serial device gone,
// or silent past the silence) is told and reached again, the start command
// sent again, for as long as the owner keeps the session.
class ReportSession {
 public:
  ReportSession(GatewayLink& link, ReportSink& sink, SessionObserver& observer,
                SessionPacing pacing = {});
  ~ReportSession();
  ReportSession(const ReportSession&) = delete;
  ReportSession& operator=(const ReportSession&) = delete;

  // Sets the link's frames going to the sink and opens it (draining what
  // waits). 0 or the link's failure code; on failure no frame reaches the sink.
  int32_t Open();
  // Sends the start command and waits for the gateway's answer. 0, or the
  // failure code after the link has been closed.
  int32_t Start();
  // Keeps the session on the calling thread, the one that called Start,
  // until EndKeeping. From a closed link the first try is made at once.
  void Keep();
  // From another thread: Keep returns within about a tenth of a second, a
  // try in progress aborted, and a Start in progress is aborted too. Returns
  // once Keep has returned, or will return as soon as it is called.
  void EndKeeping();
  // No frame reaches the sink from here on; then the link closes. Not while
  // Keep runs.
  void Close();

 private:
  enum class Watch { Ended, Lost, Silent };
  int32_t OpenLink();
  // While the gateway is there: until the link loses it, the silence, or
  // EndKeeping.
  Watch WatchGateway();
  // Until the next try is due; false at EndKeeping.
  bool AwaitNextTry(std::chrono::milliseconds pause);
  // Opens the link unless it is open, then sends the start command; tells
  // the outcome, a failure with the pause that follows it.
  bool TryToStart(std::chrono::milliseconds nextTry);
  // Waits until the time (or without end), EndKeeping or, with watchLink, a
  // change of the link's connection. False at EndKeeping.
  bool Wait(std::optional<std::chrono::steady_clock::time_point> until, bool watchLink);
  bool Ending();
  static void OnConnectionChanged(void* session);

  GatewayLink& link_;
  ReportSink& sink_;
  SessionObserver& observer_;
  const SessionPacing pacing_;

  // Shared by the keeping thread, the link's threads and EndKeeping.
  std::mutex mutex_;
  std::condition_variable changed_;
  struct {
    bool end = false;          // EndKeeping was called
    bool keeping = false;      // Keep runs
    bool linkChanged = false;  // the link's connection changed since the last look
  } shared_;

  // The connection as the last Start found it; the thread of Start and Keep
  // only.
  LinkConnection known_;
};

}  // namespace pelorin::protocol
