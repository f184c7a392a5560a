#include "process_start.h"

namespace pelorin::logger {

// The log file is a system handle, never one of the C runtime's stream
// numbers, and a broken pipe fails the write instead of ending the program.
void PrepareProcess() {}

}  // namespace pelorin::logger
