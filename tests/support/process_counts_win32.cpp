#include "process_counts.h"

#include <winsock2.h>
#include <windows.h>
#include <tlhelp32.h>

#include <string_view>

namespace pelorin::test {

// Every handle value that answers a socket option is an open socket. Handle
// values are multiples of 4, and a test process holds far fewer than 16384.
int OpenDescriptorCount() {
  int count = 0;
  for (UINT_PTR handle = 4; handle < (UINT_PTR{1} << 16); handle += 4) {
    int type = 0;
    int size = sizeof type;
    if (getsockopt(static_cast<SOCKET>(handle), SOL_SOCKET, SO_TYPE,
                   reinterpret_cast<char*>(&type), &size) == 0) {
      ++count;
    }
  }
  return count;
}

namespace {

// Counts this process's threads that pass the test (all of them without one).
template <typename Test>
int CountThreads(Test test) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  const DWORD self = GetCurrentProcessId();
  int count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == self && test(entry.th32ThreadID)) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

}  // namespace

int ThreadCount() {
  return CountThreads([](DWORD) { return true; });
}

double ProcessCpuMilliseconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  const auto ticks = [](FILETIME time) {
    return static_cast<double>(ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart);
  };
  return (ticks(kernel) + ticks(user)) / 10000.0;  // 100 ns ticks
}

int LinkDescriptorCount() { return OpenDescriptorCount(); }

int PelorinThreadCount() {
  using Description = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  const auto describe = reinterpret_cast<Description>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  if (describe == nullptr) return -1;
  return CountThreads([describe](DWORD id) {
    const HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (thread == nullptr) return false;
    PWSTR name = nullptr;
    const bool ours = SUCCEEDED(describe(thread, &name)) && name != nullptr &&
                      std::wstring_view(name).starts_with(L"pelorin-");
    LocalFree(name);
    CloseHandle(thread);
    return ours;
  });
}

}  // namespace pelorin::test
