#pragma once

#include <chrono>
#include <string>
#include <thread>

namespace pelorin::test {

// Descriptors and threads of this process, for leak checks. On Windows the
// descriptors counted are the process's sockets: Wine does not count handles.
int OpenDescriptorCount();
int ThreadCount();
// Only sockets and terminals: what the link opens, not what a toolkit caches.
int LinkDescriptorCount();
// Only the program's own threads, which carry names starting "pelorin-".
int PelorinThreadCount();
// Whether the program's threads are all gone, within five seconds: a thread
// that was joined can still be listed for a moment, under an emulator for as
// long as it takes to take down the host's thread behind it.
inline bool PelorinThreadsGone() {
  for (int look = 0; look < 100; ++look) {
    if (PelorinThreadCount() == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}
// The CPU time that every thread of this process has used so far.
double ProcessCpuMilliseconds();

#if !defined(_WIN32)
// How often the threads of this name have been switched to so far (voluntary
// and involuntary context switches): a waiting thread's wake-ups.
long long ThreadWakeups(const std::string& name);
#endif

}  // namespace pelorin::test
