#pragma once

namespace pelorin::monitor {

// Names the calling start-up worker thread, which then keeps the session,
// and raises its priority where the system lets a program do so without
// privileges.
void PrepareStartupThread();

}  // namespace pelorin::monitor
