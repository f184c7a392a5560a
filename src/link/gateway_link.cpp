#include "gateway_link.h"

#include "link_timing.h"

#include "serial_io.h"
#include "socket_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

namespace pelorin {

namespace {

using std::chrono::milliseconds;

bool CopyText(std::string_view text, char* field, size_t capacity) {
  if (text.size() >= capacity) return false;
  std::memcpy(field, text.data(), text.size());
  field[text.size()] = '\0';
  return true;
}

}  // namespace

// Taken by every thread but the receive thread before it touches a descriptor.
class GatewayLink::DescriptorUse {
 public:
  explicit DescriptorUse(GatewayLink& link) : link_(link) {
    link_.descriptorWaiters_.fetch_add(1);
    link_.wake_.Signal();
    link_.descriptorMutex_.lock();
  }
  ~DescriptorUse() {
    link_.descriptorWaiters_.fetch_sub(1);
    link_.descriptorMutex_.unlock();
    link_.waitersGone_.notify_all();
  }
  DescriptorUse(const DescriptorUse&) = delete;
  DescriptorUse& operator=(const DescriptorUse&) = delete;

 private:
  GatewayLink& link_;
};

GatewayLink::GatewayLink(const SerialPortRegistry& serialPorts)
    : GatewayLink(serialPorts, &ResolveIPv4) {}

GatewayLink::GatewayLink(const SerialPortRegistry& serialPorts, NameResolver resolve)
    : serialPorts_(serialPorts), resolve_(resolve) {
  StartSocketLibrary();
}

GatewayLink::~GatewayLink() {
  Close();
  EndSocketLibrary();
}

bool GatewayLink::SetHostName(std::string_view host) {
  return CopyText(host, hostName, sizeof hostName);
}

bool GatewayLink::SetPortText(std::string_view port) {
  return CopyText(port, portText, sizeof portText);
}

int32_t GatewayLink::Fail(int32_t code) {
  lastError_.store(code);
  return code;
}

// ---------------------------------------------------------------------------
// Open, Close, SendCommand

LinkStatus GatewayLink::Open() {
  lastError_.store(0);
  if (state() != LinkState::Closed) return {Fail(LinkError::AlreadyOpen)};
  // Without its wake event the receive thread could only be ended by the
  // time-outs of its waits.
  if (const int32_t code = wake_.Create(); code != 0) return {Fail(code)};
  // A request left over from an earlier session must not abort this connect.
  abortRequested.store(0);

  int32_t code = 0;
  SocketHandle connected = kNoSocket;
  if (useTcp != 0) code = ConnectTcp(&connected, false, 0);
  {
    DescriptorUse use(*this);
    if (useTcp != 0) {
      CloseSocket(tcpSocket_);
      tcpSocket_ = connected;
    } else {
      code = OpenSerial();
    }
    peerClosed_ = false;
    streamRestarted_ = false;
  }
  if (code != 0) return {code};
  session_.fetch_add(1);

  abortRequested.store(0);
  state_.store(ToInt(LinkState::Draining));
  pendingReplies_.store(0);
  assembler_.Clear();
  stagingPos_ = stagingLength_ = 0;
  gatherNext_ = false;
  batchOpen_ = false;
  drainStart_ = LinkClock::now();
  failureStreak_ = 0;
  drainFailure_ = 0;
  {
    std::lock_guard lock(connectionMutex_);
    connection_ = {};
  }
  wake_.Drain();
  try {
    receiveThread_ = std::thread([this] { ReceiveLoop(); });
  } catch (const std::system_error& e) {
    state_.store(ToInt(LinkState::Closed));
    ClosePort();
    return {Fail(e.code().value() != 0 ? e.code().value() : EAGAIN)};
  }
  while (state() == LinkState::Draining) {
    // An owner that gives up does not wait for a gateway that never pauses.
    int32_t draining = ToInt(LinkState::Draining);
    if (abortRequested.load() != 0 &&
        state_.compare_exchange_strong(draining, ToInt(LinkState::Closing))) {
      abortRequested.store(0);
      wake_.Signal();
      receiveThread_.join();
      ClosePort();
      return {Fail(LinkError::Abort)};
    }
    std::this_thread::sleep_for(milliseconds(10));
  }
  if (state() == LinkState::Open) return {0};
  // The port was lost while draining and could not be opened again.
  receiveThread_.join();
  ClosePort();
  return {Fail(drainFailure_)};
}

void GatewayLink::Close() {
  if (state() != LinkState::Open) return;
  if (std::this_thread::get_id() == receiveThread_.get_id()) return;
  state_.store(ToInt(LinkState::Closing));
  wake_.Signal();
  receiveThread_.join();
  ClosePort();
}

LinkStatus GatewayLink::SendCommand(int32_t node, int32_t waitSeconds,
                                    std::string_view command) {
  char number[16];
  std::snprintf(number, sizeof number, "%02d", node);
  std::string frame = number;
  frame.append(command);
  frame.push_back(static_cast<char>(kFrameTerminator));
  if (frame.size() > 255) return {Fail(LinkError::CommandError)};

  if (waitSeconds != 0) pendingReplies_.fetch_add(1);
  if (const int32_t code = WriteText(frame); code != 0) {
    pendingReplies_.store(0);
    return {code};
  }
  if (waitSeconds == 0) return {0};

  for (int64_t remaining = int64_t{waitSeconds} * 1000; remaining > 0;
       remaining -= kCommandPollMs) {
    if (abortRequested.exchange(0) != 0) return {Fail(LinkError::Abort)};
    if (pendingReplies_.load() < 1) {
      pendingReplies_.store(0);
      return {0};
    }
    // The reply is looked for every poll; an abort is seen sooner, so that a
    // stop never waits a whole poll for it.
    for (int slept = 0; slept < kCommandPollMs && abortRequested.load() == 0;
         slept += kAbortSliceMs) {
      std::this_thread::sleep_for(milliseconds(kAbortSliceMs));
    }
  }
  pendingReplies_.store(0);
  return {Fail(LinkError::Timeout)};
}

// ---------------------------------------------------------------------------
// Transport operations

int32_t GatewayLink::OpenSerial() {
  if (const int32_t code = OpenSerialPort(serialPorts_, comPort, serialSpeed, retryCount_, &serialPort_);
      code != 0) {
    return Fail(code);
  }
  return 0;
}

// Connects a socket of its own, holding no lock: name resolution alone can
// take many seconds. An abort ends it, and so does the end of the session that
// a reconnect belongs to, both within a few milliseconds.
int32_t GatewayLink::ConnectTcp(SocketHandle* connected, bool reconnecting, uint32_t session) {
  *connected = kNoSocket;
  int32_t stop = 0;
  const auto stopWanted = [&] {
    if (abortRequested.exchange(0) != 0) {
      stop = LinkError::Abort;
    } else if (reconnecting && (state() != LinkState::Open || session_.load() != session)) {
      stop = LinkError::NotOpen;
    }
    return stop != 0;
  };
  SocketHandle fd = kNoSocket;
  if (const int32_t code = OpenTcpSocket(&fd); code != 0) return Fail(code);
  auto fail = [&](int32_t code) {
    CloseSocket(fd);
    return Fail(code);
  };

  Ipv4Endpoint address;
  const std::optional<int32_t> resolved =
      ResolveUnlessCancelled(resolve_, hostName, portText, &address, stopWanted);
  if (!resolved) return fail(stop);
  if (*resolved != 0) return fail(*resolved);
  if (stopWanted()) return fail(stop);
  if (const int32_t code = StartConnect(fd, address); code != 0) return fail(code);

  // Every check must find the socket connected; one that runs out of time
  // fails the connect at once, so the checks never add up to a longer wait.
  // Each check's second is waited in slices, looking for an abort between them.
  for (int32_t check = 0; check < retryCount_; ++check) {
    ConnectCheck result{ConnectCheck::TimedOut, 0};
    for (int waited = 0; waited < 1000 && result.kind == ConnectCheck::TimedOut;
         waited += kConnectSliceMs) {
      if (stopWanted()) return fail(stop);
      result = CheckConnect(fd, kConnectSliceMs);
    }
    switch (result.kind) {
      case ConnectCheck::Writable:
        break;
      case ConnectCheck::TimedOut:
        return fail(LinkError::Timeout);
      case ConnectCheck::NotWritable:
        return fail(LinkError::NotConnected);
      case ConnectCheck::Failed:
        return fail(result.error);
    }
  }
  if (const int32_t code = PrepareTransfers(fd); code != 0) return fail(code);
  *connected = fd;
  return 0;
}

int32_t GatewayLink::ReadByte(uint8_t* byte) {
  if (stagingPos_ == stagingLength_) {
    if (const int32_t code = RefillStaging(); code != 0) return Fail(code);
  }
  *byte = staging_[stagingPos_++];
  return 0;
}

// Takes every byte that has already arrived, up to the staging buffer's size:
// from a socket in one receive, from a serial port after asking for the count
// of its input queue, whose failure tells a lost device.
int32_t GatewayLink::RefillStaging() {
  const auto lock = LockDescriptorsForReceive();
  if (useTcp != 0) return ReceiveIntoStaging();
  stagingPos_ = stagingLength_ = 0;
  if (serialPort_ == kNoSerial) return kSerialGoneError;
  int waiting = 0;
  if (const int32_t code = SerialBytesWaiting(serialPort_, &waiting); code != 0) {
    return IsSerialDeviceGone(code) ? code : kSerialGoneError;
  }
  if (waiting == 0) return LinkError::NoData;
  const long received = ReadSerialWaiting(serialPort_, staging_,
                                          std::min(sizeof staging_, static_cast<size_t>(waiting)));
  if (received == 0) return kSerialGoneError;  // end of input: the device has hung up
  if (received < 0) return static_cast<int32_t>(-received);
  stagingLength_ = static_cast<size_t>(received);
  gatherNext_ = stagingLength_ < sizeof staging_;
  return 0;
}

// One receive of whatever the socket holds; NoData when nothing has arrived.
// A connection that the peer has closed or dropped stays quiet from then on.
// Called with the descriptors locked.
int32_t GatewayLink::ReceiveIntoStaging() {
  stagingPos_ = stagingLength_ = 0;
  if (streamRestarted_) {
    assembler_.Clear();
    streamRestarted_ = false;
  }
  if (tcpSocket_ == kNoSocket || peerClosed_) return LinkError::NoData;
  const long received = ReceiveWaiting(tcpSocket_, staging_, sizeof staging_);
  if (received == -LinkError::NoData) return LinkError::NoData;
  if (received <= 0) {
    peerClosed_ = true;
    NoteConnection(true, received == 0 ? LinkError::NotConnected : static_cast<int32_t>(-received));
    return LinkError::NoData;
  }
  stagingLength_ = static_cast<size_t>(received);
  gatherNext_ = stagingLength_ < sizeof staging_;
  return 0;
}

int32_t GatewayLink::WriteText(std::string_view text) {
  lastError_.store(LinkError::NotOpen);
  if (state() != LinkState::Open) return LinkError::NotOpen;
  lastError_.store(0);

  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const uint32_t session = session_.load();
  {
    DescriptorUse use(*this);
    // Close may have closed the port between the check above and the lock.
    if (state() != LinkState::Open) return Fail(LinkError::NotOpen);
    if (useTcp == 0) {
      const int32_t code = serialPort_ == kNoSerial ? kSerialGoneError : WriteSerialFrame(text);
      return code != 0 ? Fail(code) : 0;
    }
    // A socket the peer has reset (or one a failed reconnect left closed) is
    // replaced by a new connection, and the text is sent once more on it.
    const int32_t code = tcpSocket_ == kNoSocket ? kConnectionLostError
                                                  : SendAll(tcpSocket_, bytes, text.size());
    if (code == 0) return 0;
    Fail(code);
    if (!IsConnectionReset(code)) return code;
    // Meanwhile the receive thread waits without a socket.
    CloseSocket(tcpSocket_);
  }
  SocketHandle connected = kNoSocket;
  if (const int32_t code = ConnectTcp(&connected, true, session); code != 0) return code;
  DescriptorUse use(*this);
  if (state() != LinkState::Open || session_.load() != session) {
    CloseSocket(connected);
    return Fail(LinkError::NotOpen);
  }
  CloseSocket(tcpSocket_);
  tcpSocket_ = connected;
  if (peerClosed_) NoteConnection(false, 0);
  peerClosed_ = false;
  streamRestarted_ = true;
  const int32_t code = SendAll(tcpSocket_, bytes, text.size());
  return code != 0 ? Fail(code) : 0;
}

// A write cut short leaves the start of a frame in the gateway's input, where
// the next frame would be joined to it: the next write to that port ends it
// with a terminator first, even after the port was closed and opened again.
// Not at once: a line that has just failed to take a write in time seldom
// takes another byte.
int32_t GatewayLink::WriteSerialFrame(std::string_view text) {
  std::string bytes;
  if (cutFramePort_ == comPort) bytes.push_back(static_cast<char>(kFrameTerminator));
  bytes.append(text);
  const int timeoutMs = retryCount_ * static_cast<int>(bytes.size()) + 1000;
  bool cutShort = false;
  const int32_t code = WriteSerial(serialPort_, reinterpret_cast<const uint8_t*>(bytes.data()),
                                   bytes.size(), timeoutMs, &cutShort);
  if (code == 0) {
    cutFramePort_ = -1;
  } else if (cutShort) {
    cutFramePort_ = comPort;
  }
  return code;
}

LinkConnection GatewayLink::connection() const {
  std::lock_guard lock(connectionMutex_);
  return connection_;
}

void GatewayLink::NoteConnection(bool lost, int32_t reason) {
  {
    std::lock_guard lock(connectionMutex_);
    if (connection_.lost == lost) return;
    connection_.lost = lost;
    if (lost) {
      connection_.reason = reason;
      ++connection_.losses;
    } else {
      ++connection_.recoveries;
    }
  }
  void* const currentWatcher = watcher.load();
  const ConnectionHandler tell = connectionHandler.load();
  if (currentWatcher != nullptr && tell != nullptr) tell(currentWatcher);
}

void GatewayLink::ClosePort() {
  DescriptorUse use(*this);
  CloseSerialDevice(serialPort_);
  CloseSocket(tcpSocket_);
}

}  // namespace pelorin
