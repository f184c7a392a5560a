// The receive thread of GatewayLink: draining, waiting for the gateway,
// reopening a lost serial port, frame assembly and dispatch.

#include "gateway_link.h"

#include "link_timing.h"
#include "serial_io.h"
#include "socket_io.h"
#include "thread_name.h"

#include <thread>

namespace pelorin {

void GatewayLink::ReceiveLoop() {
  NameThisThread("pelorin-receive");
  for (;;) {
    const LinkState s = state();
    if (s != LinkState::Draining && s != LinkState::Open) break;
    if (batchOpen_ && stagingPos_ == stagingLength_) EndBatch();
    if (gatherNext_ && stagingPos_ == stagingLength_ && s == LinkState::Open) {
      gatherNext_ = false;
      SleepUnlessClosing(kGatherMs);
    }
    uint8_t byte = 0;
    if (const int32_t code = ReadByte(&byte); code != 0) {
      if (!HandleReadFailure(code)) {
        drainFailure_ = code;
        break;
      }
      continue;
    }
    failureStreak_ = 0;
    if (state() == LinkState::Draining) {
      DrainByte(byte);
    } else {
      AssembleByte(byte);
    }
  }
  state_.store(ToInt(LinkState::Closed));
}

void GatewayLink::FinishReading(std::chrono::milliseconds bound) {
  if (state() != LinkState::Open) return;
  readAll_.store(false);
  finishing_.store(true);
  wake_.Signal();
  const auto deadline = LinkClock::now() + bound;
  while (!readAll_.load() && state() == LinkState::Open && LinkClock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  finishing_.store(false);
}

// Returns false when the link cannot become Open: the port was lost while
// draining and did not open again, or reads kept failing past the drain limit.
bool GatewayLink::HandleReadFailure(int32_t code) {
  const bool draining = state() == LinkState::Draining;
  if (code == LinkError::NoData) {
    failureStreak_ = 0;
    if (draining) {
      SleepUnlessClosing(kIdleWaitMs);
      int32_t expected = ToInt(LinkState::Draining);
      state_.compare_exchange_strong(expected, ToInt(LinkState::Open));
    } else if (finishing_.load()) {
      // Once a read that began after the request finds nothing, every frame
      // sent before it has been handed over (a batch ends before each read).
      if (finishRequestSeen_) {
        readAll_.store(true);
        SleepUnlessClosing(kIdleWaitMs);
      }
      finishRequestSeen_ = true;
    } else {
      finishRequestSeen_ = false;
      WaitForGateway();
    }
    return true;
  }
  if (useTcp == 0 && IsSerialDeviceGone(code)) {
    if (ReopenSerial(code) != 0) {
      if (draining) return false;
      SleepUnlessClosing(kReopenPauseMs);
      return true;
    }
  }
  if (draining && LinkClock::now() - drainStart_ >= kDrainHardLimit) return false;
  // A failure is tried again at once; one that repeats waits like an idle
  // link, so that a port that fails every read never makes the loop spin.
  if (++failureStreak_ > 1) SleepUnlessClosing(kIdleWaitMs);
  return true;
}

// Nothing waiting while Open: wait up to 100 ms for the next byte, or until a
// close or another thread's use of the descriptor wakes us. A socket that
// turns readable is read here, in the same turn.
void GatewayLink::WaitForGateway() {
  const auto deadline = LinkClock::now() + std::chrono::milliseconds(kIdleWaitMs);
  bool serialGone = false;
  bool endedEarly = false;  // the wait ended without a byte to read
  {
    const auto lock = LockDescriptorsForReceive();
    const bool tcp = useTcp != 0;
    const bool watched = tcp ? tcpSocket_ != kNoSocket && !peerClosed_ : serialPort_ != kNoSerial;
    const InputReadiness readiness =
        !watched ? WaitForWake(wake_, kIdleWaitMs)
        : tcp    ? WaitForSocketInput(tcpSocket_, wake_, kIdleWaitMs)
                 : WaitForSerialInput(serialPort_, wake_, kIdleWaitMs);
    endedEarly = readiness == InputReadiness::Failed;
    if (watched && (readiness == InputReadiness::HangUp ||
                    readiness == InputReadiness::Readable)) {
      if (tcp) {
        // Read at once what woke us; a closed peer is seen by the read.
        endedEarly = ReceiveIntoStaging() != 0;
      } else {
        int waiting = 0;
        SerialBytesWaiting(serialPort_, &waiting);
        serialGone = readiness == InputReadiness::HangUp && waiting == 0;
        endedEarly = waiting == 0;
      }
    }
  }
  if (serialGone) {
    Fail(kSerialGoneError);
    if (ReopenSerial(kSerialGoneError) != 0) SleepUnlessClosing(kReopenPauseMs);
    return;
  }
  // Readable with nothing to read (urgent data, a closed peer) or a failed
  // wait: sit out the rest of the wake-up instead of asking again at once.
  if (endedEarly) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - LinkClock::now());
    if (left.count() > 0) SleepUnlessClosing(static_cast<int>(left.count()));
  }
}

// The serial device no longer answers (a pulled cable): close it and open the
// device that the registry now gives for comPort. The gateway counts as lost
// until that succeeds. 0 or the open's error.
int32_t GatewayLink::ReopenSerial(int32_t failure) {
  const auto lock = LockDescriptorsForReceive();
  NoteConnection(true, failure);
  CloseSerialDevice(serialPort_);
  stagingPos_ = stagingLength_ = 0;
  assembler_.Clear();
  const int32_t code = OpenSerial();
  if (code == 0) NoteConnection(false, 0);
  return code;
}

void GatewayLink::DrainByte(uint8_t byte) {
  assembler_.Clear();
  const auto draining = LinkClock::now() - drainStart_;
  // Open may have given up meanwhile (Closing): that stays.
  int32_t expected = ToInt(LinkState::Draining);
  if (draining >= kDrainQuietLimit && byte == kFrameTerminator) {
    state_.compare_exchange_strong(expected, ToInt(LinkState::Open));
  } else if (draining >= kDrainHardLimit) {
    assembler_.SkipToNextTerminator();
    state_.compare_exchange_strong(expected, ToInt(LinkState::Open));
  }
}

void GatewayLink::AssembleByte(uint8_t byte) {
  switch (assembler_.Push(byte)) {
    case FrameAssembler::Result::Pending:
      break;
    case FrameAssembler::Result::Overflow:
      Fail(LinkError::BufferError);
      break;
    case FrameAssembler::Result::FrameReady:
      DispatchFrame();
      assembler_.Clear();
      break;
  }
}

void GatewayLink::DispatchFrame() {
  const uint8_t* frame = assembler_.data();
  const int32_t length = assembler_.length();
  framesReceived_.fetch_add(1, std::memory_order_relaxed);
  if (const auto value = GatewayQueryValue(frame, length)) {
    gatewayValue_.store(*value);
    return;
  }
  void* currentOwner = owner.load();
  if (currentOwner == nullptr) return;
  const FrameHandler currentHandler = handler.load();
  if (currentHandler != nullptr && currentHandler(currentOwner, frame, length) != 0) {
    pendingReplies_.fetch_sub(1);
  }
  batchOpen_ = true;
}

void GatewayLink::EndBatch() {
  batchOpen_ = false;
  void* currentOwner = owner.load();
  const BatchHandler currentHandler = batchHandler.load();
  if (currentOwner != nullptr && currentHandler != nullptr) currentHandler(currentOwner);
}

void GatewayLink::SleepUnlessClosing(int milliseconds) {
  const auto deadline = LinkClock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const LinkState s = state();
    if (s != LinkState::Draining && s != LinkState::Open) return;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - LinkClock::now());
    if (left.count() <= 0) return;
    WaitForWake(wake_, static_cast<int>(left.count()));
  }
}

// Another thread that waits to use or replace a descriptor goes first; the
// receive thread sleeps until it is done instead of asking again and again.
std::unique_lock<std::mutex> GatewayLink::LockDescriptorsForReceive() {
  std::unique_lock lock(descriptorMutex_);
  waitersGone_.wait(lock, [this] { return descriptorWaiters_.load() == 0; });
  return lock;
}

}  // namespace pelorin
