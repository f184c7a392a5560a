#pragma once

#include "descriptor_wait.h"
#include "frame_assembler.h"
#include "link_error.h"
#include "link_platform.h"
#include "name_resolution.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>

namespace pelorin {

class SerialPortRegistry;

enum class LinkState : int32_t { Closed = 0, Draining = 1, Open = 2, Closing = 3 };

// The owner's callback for each received frame, on the receive thread: the
// owner pointer, the frame's bytes (the terminator 0xC8 last) and their count.
// A nonzero result counts the frame as the reply to an awaited command.
using FrameHandler = int32_t (*)(void* owner, const uint8_t* frame, int32_t length);
// The owner's callback, on the receive thread, once the frames of a read have
// all gone to the FrameHandler and before the thread waits for more: the
// moment to pass on what they brought as one piece.
using BatchHandler = void (*)(void* owner);

// What the link knows of its connection to the gateway. Lost: the gateway
// closed or reset the TCP connection, or it broke (keep-alive found nobody
// at the other end); or the serial device stopped answering and has not come
// back. Recovered: the link found the gateway again by itself, by reopening
// the serial device or by a send that replaced a reset connection; the
// gateway then needs its start command again.
struct LinkConnection {
  bool lost = false;
  // Why it was lost last: the platform's error number, or NotConnected when
  // the gateway closed the connection.
  int32_t reason = 0;
  uint32_t losses = 0;      // since Open
  uint32_t recoveries = 0;  // since Open
};

// The watcher's callback whenever the LinkConnection changes, on the thread
// that saw the change (the receive thread, or a sending one). Like the other
// handlers it must return without waiting for the owner's threads.
using ConnectionHandler = void (*)(void* watcher);

// The program's one connection to the gateway, over a serial port or TCP.
// The owner sets the connection fields, owner and its handlers, then calls Open; a
// worker may call SendCommand; the owner sets abortRequested to cut a wait
// short, clears owner and calls Close. Open and Close run on the owner's thread.
class GatewayLink {
 public:
  explicit GatewayLink(const SerialPortRegistry& serialPorts);
  // With a resolver of the caller's own in place of the system's.
  GatewayLink(const SerialPortRegistry& serialPorts, NameResolver resolve);
  ~GatewayLink();
  GatewayLink(const GatewayLink&) = delete;
  GatewayLink& operator=(const GatewayLink&) = delete;

  // Connection parameters, written by the owner while the link is Closed.
  int32_t useTcp = 1;
  char hostName[256] = {};
  char portText[16] = {};
  int32_t comPort = 0;
  int32_t serialSpeed = 0;  // the line speed a serial port is set to; 0 keeps its own

  // Copies a text into hostName or portText; false (field unchanged) when it
  // does not fit.
  bool SetHostName(std::string_view host);
  bool SetPortText(std::string_view port);

  std::atomic<void*> owner{nullptr};
  std::atomic<FrameHandler> handler{nullptr};
  std::atomic<BatchHandler> batchHandler{nullptr};
  std::atomic<int32_t> abortRequested{0};
  // Told of every change of connection(); null for nobody.
  std::atomic<void*> watcher{nullptr};
  std::atomic<ConnectionHandler> connectionHandler{nullptr};

  // Opens the port or connects, starts the receive thread and returns once the
  // bytes that were already waiting have been drained and the link is Open.
  // It takes at most the connect (name resolution, then up to 1 s) plus about
  // 2.2 s of draining; a port that is lost while draining and cannot be opened
  // again fails it with the platform's code, and abortRequested fails it with
  // Abort, while it connects or drains.
  LinkStatus Open();
  // Ends the receive thread and closes the port; does nothing unless Open.
  // Never call it from the receive thread (a FrameHandler).
  void Close();
  // Before a Close that ends the program: returns once the receive thread has
  // read, and handed over, all that the gateway had sent by now, or after
  // `bound` (a gateway that never pauses). At once unless Open.
  void FinishReading(std::chrono::milliseconds bound);
  // Sends "%02d" node + command + 0xC8; with a wait, polls every 100 ms until a
  // frame answers (Timeout after waitSeconds), or until abortRequested is set.
  LinkStatus SendCommand(int32_t node, int32_t waitSeconds, std::string_view command);

  LinkState state() const { return static_cast<LinkState>(state_.load()); }
  // The reason of the last failure on any thread: a record, not a result.
  int32_t lastError() const { return lastError_.load(); }
  int32_t pendingReplies() const { return pendingReplies_.load(); }
  int32_t gatewayValue() const { return gatewayValue_.load(); }
  // The connection as the link knows it since the last Open. The link stays
  // Open when the gateway is lost: a serial device is opened again as soon as
  // it is back; a TCP connection is replaced only by a send or a new Open.
  LinkConnection connection() const;
  // Frames received since the link was made, those the link keeps included:
  // a sign of life, whatever the frames say.
  uint64_t framesReceived() const { return framesReceived_.load(std::memory_order_relaxed); }

 private:
  int32_t OpenSerial();
  int32_t ConnectTcp(SocketHandle* connected, bool reconnecting, uint32_t session);
  int32_t ReadByte(uint8_t* byte);
  int32_t RefillStaging();
  int32_t ReceiveIntoStaging();
  int32_t WriteText(std::string_view text);
  int32_t WriteSerialFrame(std::string_view text);
  void ClosePort();

  void ReceiveLoop();
  bool HandleReadFailure(int32_t code);
  void WaitForGateway();
  int32_t ReopenSerial(int32_t failure);
  // Records a loss or a recovery and tells the watcher.
  void NoteConnection(bool lost, int32_t reason);
  void DrainByte(uint8_t byte);
  void AssembleByte(uint8_t byte);
  void DispatchFrame();
  void EndBatch();
  void SleepUnlessClosing(int milliseconds);
  std::unique_lock<std::mutex> LockDescriptorsForReceive();
  int32_t Fail(int32_t code);

  // Exclusive use of the descriptors by the thread that replaces or uses them.
  // Another thread announces itself in descriptorWaiters_ and wakes the
  // receive thread out of its wait; the receive thread takes the descriptors
  // only when nobody waits for them (waitersGone_).
  class DescriptorUse;

  const SerialPortRegistry& serialPorts_;
  const NameResolver resolve_;
  const int32_t retryCount_ = 10;

  std::atomic<int32_t> lastError_{0};
  std::atomic<int32_t> pendingReplies_{0};
  std::atomic<int32_t> gatewayValue_{-1};
  std::atomic<uint64_t> framesReceived_{0};
  std::atomic<int32_t> state_{static_cast<int32_t>(LinkState::Closed)};
  // FinishReading asks; the receive thread answers when nothing is left.
  std::atomic<bool> finishing_{false};
  std::atomic<bool> readAll_{false};
  // Counts the openings, so that a reconnect that outlasts its session never
  // puts its socket into the next one.
  std::atomic<uint32_t> session_{0};

  std::mutex descriptorMutex_;
  std::condition_variable waitersGone_;
  std::atomic<int32_t> descriptorWaiters_{0};
  // Guarded by descriptorMutex_.
  SerialHandle serialPort_ = kNoSerial;
  SocketHandle tcpSocket_ = kNoSocket;
  bool peerClosed_ = false;        // TCP: the peer has gone; wait without the socket
  bool streamRestarted_ = false;  // TCP: a reconnect replaced the socket
  int32_t cutFramePort_ = -1;     // serial: the port whose last frame was cut short

  mutable std::mutex connectionMutex_;
  LinkConnection connection_;  // guarded by connectionMutex_

  WakeEvent wake_;
  std::thread receiveThread_;

  // Receive thread only (set up by Open before the thread starts).
  FrameAssembler assembler_;
  uint8_t staging_[16384];
  size_t stagingPos_ = 0;
  size_t stagingLength_ = 0;
  // The last read found bytes and left none behind: let the next ones gather.
  bool gatherNext_ = false;
  // A frame went to the owner since the last EndBatch.
  bool batchOpen_ = false;
  std::chrono::steady_clock::time_point drainStart_;
  int32_t failureStreak_ = 0;  // reads failed in a row, NoData aside
  bool finishRequestSeen_ = false;  // a read has begun since FinishReading asked
  // Why the receive thread ended while Draining; Open reports it.
  int32_t drainFailure_ = 0;
};

}  // namespace pelorin
