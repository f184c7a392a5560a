#include "process_counts.h"

#include <winsock2.h>
#include <windows.h>
#include <tlhelp32.h>

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

int ThreadCount() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  const DWORD self = GetCurrentProcessId();
  int count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == self) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

}  // namespace pelorin::test
