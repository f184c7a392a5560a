#pragma once

#include "node_report.h"

namespace pelorin::bench {

// A KT-300's report as the simulator sends it: three digital inputs, a 10 V
// channel and a temperature channel.
inline NodeReport TypicalReport() {
  NodeReport report;
  report.timestamp = 1765000000;
  report.node = 26;
  report.id = 3;
  report.model = 3;
  report.digitalCount = 3;
  report.digital = {1, 0, 1, 0, 0};
  report.analogCount = 2;
  report.analog[0] = {2, 0x400000};
  report.analog[1] = {6, 0x00FA00};
  return report;
}

}  // namespace pelorin::bench
