#include "serial_io.h"

#include "link_error.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace pelorin {

namespace {

HANDLE Native(SerialHandle port) { return reinterpret_cast<HANDLE>(port); }

int32_t LastSystemError() {
  const DWORD error = GetLastError();
  return error != 0 ? static_cast<int32_t>(error) : ERROR_GEN_FAILURE;
}

// One request on the port, opened for overlapped use: started, then waited
// for to its end. The port's time-outs bound reads and writes alike. A
// write's bytes live with it, so that a request that the driver still holds
// can be given up whole (Abandon).
class PortRequest {
 public:
  PortRequest() { overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~PortRequest() {
    if (overlapped_.hEvent != nullptr) CloseHandle(overlapped_.hEvent);
  }
  PortRequest(const PortRequest&) = delete;
  PortRequest& operator=(const PortRequest&) = delete;

  OVERLAPPED* get() { return &overlapped_; }
  HANDLE event() const { return overlapped_.hEvent; }
  // The request's byte count once it has ended; false with the error left in
  // GetLastError when it failed.
  bool Finish(HANDLE port, BOOL started, DWORD* count) {
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    return GetOverlappedResult(port, &overlapped_, count, TRUE) != FALSE;
  }

  std::vector<uint8_t> bytes;

 private:
  OVERLAPPED overlapped_{};
};

// How long a cancelled write is waited for. A well-behaved driver ends it at
// once; one that ignores the cancellation must not hold the link's caller.
constexpr DWORD kCancelledWriteWaitMs = 500;

// Requests given up while their driver still held them: freed once the
// driver has ended them (the event is set after the last write into the
// OVERLAPPED), looked at whenever another is given up. Never destroyed: a
// driver may still hold one while the process exits.
void Abandon(std::unique_ptr<PortRequest> request) {
  static std::mutex& mutex = *new std::mutex;
  static auto& held = *new std::vector<std::unique_ptr<PortRequest>>;
  const std::lock_guard lock(mutex);
  std::erase_if(held, [](const std::unique_ptr<PortRequest>& given) {
    return WaitForSingleObject(given->event(), 0) == WAIT_OBJECT_0;
  });
  held.push_back(std::move(request));
}

// Cancels the request and waits for its end, for a bounded time: its result
// as GetOverlappedResult gives it, or nothing when the driver still holds it
// and it has been given up.
std::optional<bool> Cancel(HANDLE port, std::unique_ptr<PortRequest>& request, DWORD* count) {
  CancelIoEx(port, request->get());
  if (WaitForSingleObject(request->event(), kCancelledWriteWaitMs) != WAIT_OBJECT_0) {
    Abandon(std::move(request));
    return std::nullopt;
  }
  return GetOverlappedResult(port, request->get(), count, FALSE) != FALSE;
}

// Frames are binary bytes: whatever line settings the last program left, the
// port carries 8 data bits without parity, flow control or dropped bytes, at
// the speed asked for or the one it has. DTR and RTS go up, since many USB
// CDC gateways send nothing until DTR is raised and usbser.sys does not raise
// it by itself.
int32_t MakeRaw(HANDLE port, int32_t speed) {
  DCB settings{};
  settings.DCBlength = sizeof settings;
  if (!GetCommState(port, &settings)) return LastSystemError();
  if (speed != 0) settings.BaudRate = static_cast<DWORD>(speed);
  settings.fBinary = TRUE;
  settings.fParity = FALSE;
  settings.ByteSize = 8;
  settings.Parity = NOPARITY;
  settings.StopBits = ONESTOPBIT;
  settings.fOutxCtsFlow = FALSE;
  settings.fOutxDsrFlow = FALSE;
  settings.fDsrSensitivity = FALSE;
  settings.fOutX = FALSE;
  settings.fInX = FALSE;
  settings.fErrorChar = FALSE;
  settings.fNull = FALSE;
  settings.fAbortOnError = FALSE;
  settings.fDtrControl = DTR_CONTROL_ENABLE;
  settings.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetCommState(port, &settings)) return LastSystemError();
  return 0;
}

}  // namespace

// COMn names the device itself: Windows keeps the numbers, so the registry
// that Linux needs for them has no part here.
int32_t OpenSerialPort([[maybe_unused]] const SerialPortRegistry& ports, int32_t comPort,
                       int32_t speed, int writeMsPerByte, SerialHandle* port) {
  char name[32];
  std::snprintf(name, sizeof name, "\\\\.\\COM%d", comPort);
  // Overlapped, so that the receive thread can wait for the port's next byte
  // and for its wake event at once.
  const HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  *port = reinterpret_cast<SerialHandle>(handle);
  if (handle == INVALID_HANDLE_VALUE) return LastSystemError();
  if (const int32_t error = MakeRaw(handle, speed); error != 0) {
    CloseHandle(handle);
    *port = kNoSerial;
    return error;
  }
  // Reads take only queued bytes, so of these only the write time-out ever
  // takes effect.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 50;
  timeouts.ReadTotalTimeoutMultiplier = static_cast<DWORD>(writeMsPerByte);
  timeouts.ReadTotalTimeoutConstant = 1000;
  timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(writeMsPerByte);
  timeouts.WriteTotalTimeoutConstant = 1000;
  SetCommTimeouts(handle, &timeouts);
  SetCommMask(handle, EV_RXCHAR);
  return 0;
}

// The port's write time-out asks the driver to end the write in time; drivers
// that ignore it, or a line held by flow control, would make the wait endless,
// so the wait has its own bound and cancels the write when it runs out.
int32_t WriteSerial(SerialHandle port, const uint8_t* bytes, size_t length, int timeoutMs,
                    bool* cutShort) {
  *cutShort = false;
  auto request = std::make_unique<PortRequest>();
  request->bytes.assign(bytes, bytes + length);
  const BOOL started = WriteFile(Native(port), request->bytes.data(), static_cast<DWORD>(length),
                                 nullptr, request->get());
  if (!started && GetLastError() != ERROR_IO_PENDING) return LastSystemError();
  DWORD written = 0;
  std::optional<bool> ended;
  bool timedOut = false;
  if (!started &&
      WaitForSingleObject(request->event(), static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
    // The write may still end on its own before the cancellation.
    timedOut = true;
    ended = Cancel(Native(port), request, &written);
  } else {
    ended = GetOverlappedResult(Native(port), request->get(), &written, TRUE) != FALSE;
  }
  // How much of a write that the driver keeps reaches the line is unknown.
  if (!ended) {
    *cutShort = true;
    return static_cast<int32_t>(ERROR_TIMEOUT);
  }
  const int32_t failure = *ended ? 0 : LastSystemError();
  if (*ended && written == length) return 0;
  *cutShort = written > 0 && written < length;
  return failure != 0 && !timedOut ? failure : static_cast<int32_t>(ERROR_TIMEOUT);
}

// ClearCommError also clears the line-error flags, which the link ignores.
int32_t SerialBytesWaiting(SerialHandle port, int* count) {
  *count = 0;
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(Native(port), &errors, &status)) return LastSystemError();
  *count = static_cast<int>(status.cbInQue);
  return 0;
}

long ReadSerialWaiting(SerialHandle port, uint8_t* buffer, size_t capacity) {
  DWORD read = 0;
  PortRequest request;
  const BOOL started = ReadFile(Native(port), buffer, static_cast<DWORD>(capacity), nullptr, request.get());
  if (!request.Finish(Native(port), started, &read)) return -LastSystemError();
  // Counted bytes that a read still does not return: try again later.
  return read != 0 ? static_cast<long>(read) : -LinkError::NoData;
}

// Waits for the port's next received byte (EV_RXCHAR) and the wake event
// together; a wait that ends otherwise cancels the port's request.
InputReadiness WaitForSerialInput(SerialHandle port, const WakeEvent& wake, int timeoutMs) {
  PortRequest request;
  DWORD events = 0;
  if (WaitCommEvent(Native(port), &events, request.get())) return InputReadiness::Readable;
  if (GetLastError() != ERROR_IO_PENDING) return InputReadiness::HangUp;
  // A byte that came just before the request started raised no event.
  int waiting = 0;
  InputReadiness outcome = InputReadiness::Readable;
  if (SerialBytesWaiting(port, &waiting) != 0 || waiting == 0) {
    const HANDLE handles[2] = {request.event(), reinterpret_cast<HANDLE>(wake.native())};
    switch (WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(timeoutMs))) {
      case WAIT_OBJECT_0:
        break;
      case WAIT_OBJECT_0 + 1:
        outcome = InputReadiness::Woken;
        break;
      case WAIT_TIMEOUT:
        outcome = InputReadiness::TimedOut;
        break;
      default:
        outcome = InputReadiness::Failed;
        break;
    }
  }
  if (outcome != InputReadiness::Readable || WaitForSingleObject(request.event(), 0) != WAIT_OBJECT_0) {
    CancelIoEx(Native(port), request.get());
  }
  DWORD ignored = 0;
  if (!GetOverlappedResult(Native(port), request.get(), &ignored, TRUE) &&
      GetLastError() != ERROR_OPERATION_ABORTED && outcome == InputReadiness::Readable) {
    return InputReadiness::HangUp;
  }
  return outcome;
}

void CloseSerialDevice(SerialHandle& port) {
  if (port != kNoSerial) CloseHandle(Native(port));
  port = kNoSerial;
}

}  // namespace pelorin
