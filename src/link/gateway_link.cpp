#include "gateway_link.h"

#include "posix_serial.h"
#include "posix_socket.h"
#include "serial_ports.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <string>
#include <system_error>

namespace pelorin {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kIdleWaitMs = 100;
constexpr int kReopenPauseMs = 500;
constexpr int kCommandPollMs = 100;
// Draining turns Open at the first quiet moment. A gateway that never pauses
// gets the link Open at the next terminator after kDrainQuietLimit, and at
// kDrainHardLimit at the latest, skipping to the next terminator from there.
constexpr auto kDrainQuietLimit = milliseconds(1000);
constexpr auto kDrainHardLimit = milliseconds(2000);

constexpr int32_t ToInt(LinkState s) { return static_cast<int32_t>(s); }

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
    link_.descriptorMutex_.unlock();
    link_.descriptorWaiters_.fetch_sub(1);
  }
  DescriptorUse(const DescriptorUse&) = delete;
  DescriptorUse& operator=(const DescriptorUse&) = delete;

 private:
  GatewayLink& link_;
};

GatewayLink::GatewayLink(const SerialPortRegistry& serialPorts)
    : serialPorts_(serialPorts) {}

GatewayLink::~GatewayLink() { Close(); }

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
  // A request left over from an earlier session must not abort this connect.
  abortRequested.store(0);

  int32_t code = 0;
  {
    DescriptorUse use(*this);
    code = useTcp != 0 ? ConnectTcp() : OpenSerial();
    peerClosed_ = false;
    streamRestarted_ = false;
  }
  if (code != 0) return {code};

  abortRequested.store(0);
  state_.store(ToInt(LinkState::Draining));
  pendingReplies_.store(0);
  assembler_.Clear();
  stagingPos_ = stagingLength_ = 0;
  drainStart_ = Clock::now();
  wake_.Drain();
  try {
    receiveThread_ = std::thread([this] { ReceiveLoop(); });
  } catch (const std::system_error& e) {
    state_.store(ToInt(LinkState::Closed));
    ClosePort();
    return {Fail(e.code().value() != 0 ? e.code().value() : EAGAIN)};
  }
  while (state() != LinkState::Open) std::this_thread::sleep_for(milliseconds(10));
  return {0};
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
    std::this_thread::sleep_for(milliseconds(kCommandPollMs));
  }
  pendingReplies_.store(0);
  return {Fail(LinkError::Timeout)};
}

// ---------------------------------------------------------------------------
// Transport operations

int32_t GatewayLink::OpenSerial() {
  const auto node = serialPorts_.DeviceNode(comPort);
  if (!node) return Fail(ENOENT);
  if (const int32_t code = OpenSerialDevice(node->c_str(), &serialPort_); code != 0) {
    return Fail(code);
  }
  return 0;
}

int32_t GatewayLink::ConnectTcp() {
  CloseDescriptor(tcpSocket_);
  int fd = -1;
  if (const int32_t code = OpenTcpSocket(&fd); code != 0) return Fail(code);
  auto fail = [&](int32_t code) {
    CloseDescriptor(fd);
    return Fail(code);
  };

  sockaddr_in address{};
  if (const int32_t code = ResolveIPv4(hostName, portText, &address); code != 0) {
    return fail(code);
  }
  if (const int32_t code = StartConnect(fd, address); code != 0) return fail(code);

  // Every check must find the socket connected; one that runs out of time
  // fails the connect at once, so the checks never add up to a longer wait.
  for (int32_t check = 0; check < retryCount_; ++check) {
    if (abortRequested.exchange(0) != 0) return fail(LinkError::Abort);
    const ConnectCheck result = CheckConnect(fd, 1000);
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
  if (const int32_t code = SetBlocking(fd); code != 0) return fail(code);
  tcpSocket_ = fd;
  return 0;
}

int32_t GatewayLink::ReadByte(uint8_t* byte) {
  if (stagingPos_ == stagingLength_) {
    if (const int32_t code = RefillStaging(); code != 0) return Fail(code);
  }
  *byte = staging_[stagingPos_++];
  return 0;
}

// Takes every byte that has already arrived, up to the staging buffer's size.
int32_t GatewayLink::RefillStaging() {
  LetDescriptorWaitersIn();
  std::lock_guard lock(descriptorMutex_);
  stagingPos_ = stagingLength_ = 0;
  if (streamRestarted_) {
    assembler_.Clear();
    streamRestarted_ = false;
  }
  int waiting = 0;
  long received = 0;
  if (useTcp != 0) {
    if (tcpSocket_ < 0 || peerClosed_) return LinkError::NoData;
    BytesWaiting(tcpSocket_, &waiting);  // a failed query reads as 0
    if (waiting == 0) return LinkError::NoData;
    received = ReceiveWaiting(tcpSocket_, staging_,
                              std::min(sizeof staging_, static_cast<size_t>(waiting)));
    if (received == 0) return LinkError::NotConnected;
  } else {
    if (serialPort_ < 0) return ENODEV;
    // A serial device that has gone fails the query itself: that is no quiet
    // port but a lost one.
    if (const int32_t code = BytesWaiting(serialPort_, &waiting); code != 0) {
      return IsSerialDeviceGone(code) ? code : EIO;
    }
    if (waiting == 0) return LinkError::NoData;
    received = ReadSerialWaiting(serialPort_, staging_,
                                 std::min(sizeof staging_, static_cast<size_t>(waiting)));
    if (received == 0) return EIO;  // end of input: the device has hung up
  }
  if (received < 0) {
    const int32_t code = static_cast<int32_t>(-received);
    return code == EAGAIN || code == EINTR ? LinkError::NoData : code;
  }
  stagingLength_ = static_cast<size_t>(received);
  return 0;
}

int32_t GatewayLink::WriteText(std::string_view text) {
  lastError_.store(LinkError::NotOpen);
  if (state() != LinkState::Open) return LinkError::NotOpen;
  lastError_.store(0);

  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  DescriptorUse use(*this);
  if (useTcp == 0) {
    const int timeoutMs = retryCount_ * static_cast<int>(text.size()) + 1000;
    const int32_t code =
        serialPort_ < 0 ? EIO : WriteSerial(serialPort_, bytes, text.size(), timeoutMs);
    return code != 0 ? Fail(code) : 0;
  }

  // A socket the peer has reset (or one a failed reconnect left closed) is
  // replaced by a new connection, and the text is sent once more on it.
  int32_t code = tcpSocket_ < 0 ? EPIPE : SendAll(tcpSocket_, bytes, text.size());
  if (code == 0) return 0;
  Fail(code);
  if (!IsConnectionReset(code)) return code;
  CloseDescriptor(tcpSocket_);
  if (const int32_t reconnect = ConnectTcp(); reconnect != 0) return reconnect;
  peerClosed_ = false;
  streamRestarted_ = true;
  code = SendAll(tcpSocket_, bytes, text.size());
  return code != 0 ? Fail(code) : 0;
}

void GatewayLink::ClosePort() {
  DescriptorUse use(*this);
  CloseSerialDevice(serialPort_);
  CloseDescriptor(tcpSocket_);
}

// ---------------------------------------------------------------------------
// Receive thread

void GatewayLink::ReceiveLoop() {
  pthread_setname_np(pthread_self(), "pelorin-receive");
  for (;;) {
    const LinkState s = state();
    if (s != LinkState::Draining && s != LinkState::Open) break;
    uint8_t byte = 0;
    if (const int32_t code = ReadByte(&byte); code != 0) {
      HandleReadFailure(code);
      continue;
    }
    if (state() == LinkState::Draining) {
      DrainByte(byte);
    } else {
      AssembleByte(byte);
    }
  }
  state_.store(ToInt(LinkState::Closed));
}

void GatewayLink::HandleReadFailure(int32_t code) {
  if (code == LinkError::NoData) {
    if (state() == LinkState::Draining) {
      SleepUnlessClosing(kIdleWaitMs);
      int32_t draining = ToInt(LinkState::Draining);
      state_.compare_exchange_strong(draining, ToInt(LinkState::Open));
    } else {
      WaitForGateway();
    }
    return;
  }
  if (useTcp == 0 && IsSerialDeviceGone(code)) ReopenSerial();
  // Anything else is tried again at once.
}

// Nothing waiting while Open: wait up to 100 ms for the next byte, or until a
// close or another thread's use of the descriptor wakes us.
void GatewayLink::WaitForGateway() {
  bool serialGone = false;
  {
    LetDescriptorWaitersIn();
    std::lock_guard lock(descriptorMutex_);
    const int fd = useTcp != 0 ? (peerClosed_ ? -1 : tcpSocket_) : serialPort_;
    const InputReadiness readiness = WaitForInput(fd, wake_, kIdleWaitMs);
    if (fd >= 0 && (readiness == InputReadiness::HangUp ||
                    readiness == InputReadiness::Readable)) {
      int waiting = 0;
      BytesWaiting(fd, &waiting);
      if (useTcp != 0) {
        // A closed peer stays readable for ever; from now on wait without it.
        if (waiting == 0 && (readiness == InputReadiness::HangUp || PeerHasClosed(fd))) {
          peerClosed_ = true;
        }
      } else {
        serialGone = readiness == InputReadiness::HangUp && waiting == 0;
      }
    }
  }
  if (serialGone) {
    Fail(EIO);
    ReopenSerial();
  }
}

// The serial device no longer answers (a pulled cable): close it and open the
// device that the registry now gives for comPort; pause when that fails.
void GatewayLink::ReopenSerial() {
  int32_t code = 0;
  {
    LetDescriptorWaitersIn();
    std::lock_guard lock(descriptorMutex_);
    CloseSerialDevice(serialPort_);
    code = OpenSerial();
    stagingPos_ = stagingLength_ = 0;
    assembler_.Clear();
  }
  if (code != 0) SleepUnlessClosing(kReopenPauseMs);
}

void GatewayLink::DrainByte(uint8_t byte) {
  assembler_.Clear();
  const auto draining = Clock::now() - drainStart_;
  if (draining >= kDrainQuietLimit && byte == kFrameTerminator) {
    state_.store(ToInt(LinkState::Open));
  } else if (draining >= kDrainHardLimit) {
    assembler_.SkipToNextTerminator();
    state_.store(ToInt(LinkState::Open));
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
}

void GatewayLink::SleepUnlessClosing(int milliseconds) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const LinkState s = state();
    if (s != LinkState::Draining && s != LinkState::Open) return;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return;
    WaitForInput(-1, wake_, static_cast<int>(left.count()));
  }
}

// Another thread waits to use or replace a descriptor: let it go first.
void GatewayLink::LetDescriptorWaitersIn() const {
  while (descriptorWaiters_.load() > 0) std::this_thread::sleep_for(milliseconds(1));
}

}  // namespace pelorin
