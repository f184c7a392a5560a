#include "startup_thread.h"

#include "thread_name.h"

#include <windows.h>

namespace pelorin::monitor {

// Above normal, so that the start-up's wait for the gateway's reply is not
// held up by a busy machine.
void PrepareStartupThread() {
  NameThisThread("pelorin-session");
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
}

}  // namespace pelorin::monitor
