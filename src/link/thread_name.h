#pragma once

namespace pelorin {

// Names the calling thread for debuggers and process listings, where the
// platform lets a program do so.
void NameThisThread(const char* name);

}  // namespace pelorin
