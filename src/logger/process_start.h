#pragma once

namespace pelorin::logger {

// Before anything else is opened: a service's standard streams may be closed
// (`>&- 2>&-`), and the log file must not become one of them; a stream whose
// reader went away must not end the program.
void PrepareProcess();

}  // namespace pelorin::logger
