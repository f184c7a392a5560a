#include "startup_thread.h"

#include <pthread.h>

namespace pelorin::monitor {

// The worker keeps normal priority: raising a thread above it needs
// privileges on Linux.
void PrepareStartupThread() { pthread_setname_np(pthread_self(), "pelorin-startup"); }

}  // namespace pelorin::monitor
