#pragma once

#include <string>

namespace pelorin::test {

// Descriptors and threads of this process, for leak checks. On Windows the
// descriptors counted are the process's sockets: Wine does not count handles.
int OpenDescriptorCount();
int ThreadCount();
// Only sockets and terminals: what the link opens, not what a toolkit caches.
int LinkDescriptorCount();
// Only the program's own threads, which carry names starting "pelorin-".
int PelorinThreadCount();
// The CPU time that every thread of this process has used so far.
double ProcessCpuMilliseconds();

#if !defined(_WIN32)
// How often the threads of this name have been switched to so far (voluntary
// and involuntary context switches): a waiting thread's wake-ups.
long long ThreadWakeups(const std::string& name);
#endif

}  // namespace pelorin::test
