#include "startup_thread.h"

#include "thread_name.h"

namespace pelorin::monitor {

// The worker keeps normal priority: raising a thread above it needs
// privileges on Linux.
void PrepareStartupThread() { NameThisThread("pelorin-session"); }

}  // namespace pelorin::monitor
