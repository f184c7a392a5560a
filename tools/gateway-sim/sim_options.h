#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pelorin::sim {

enum class Fault { None, Silent, LateAccept, Reset, Close, Garbage, Flood, Prefill };

struct Options {
  std::string host = "127.0.0.1";
  int port = 10003;            // 0 picks a free port (printed at start)
  bool usePty = false;
  double rate = 2.0;           // reports per second; 0 = as fast as possible
  int64_t count = -1;          // reports per session; -1 = no limit
  uint32_t seed = 1;
  Fault fault = Fault::None;
  int resetAfter = 10;         // frames before the reset or close (Fault::Reset, Close)
  int lateMs = 1500;           // delay before accepting (Fault::LateAccept)
  bool exitAfterSession = false;
  bool fixedReport = false;    // every report is FixedReport()
  bool noStartCommand = false; // stream from the start, like a gateway already running
  bool help = false;
};

// Parses the command line; on failure returns nothing and sets error.
std::optional<Options> ParseOptions(int argc, char** argv, std::string* error);

const char* UsageText();

}  // namespace pelorin::sim
