#pragma once

#include "sim_options.h"

namespace pelorin::sim {

// Serves one session on a new pseudo terminal, its slave's path printed
// first; the exit status of the simulator.
int ServePty(const Options& options);

}  // namespace pelorin::sim
