#include "sim_options.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace pelorin::sim {

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T* value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end;
}

bool ParseFault(std::string_view text, Fault* fault) {
  static constexpr struct {
    std::string_view name;
    Fault fault;
  } kFaults[] = {{"silent", Fault::Silent},   {"late-accept", Fault::LateAccept},
                 {"reset", Fault::Reset},     {"close", Fault::Close},
                 {"garbage", Fault::Garbage},
                 {"flood", Fault::Flood},     {"prefill", Fault::Prefill}};
  for (const auto& entry : kFaults) {
    if (entry.name == text) {
      *fault = entry.fault;
      return true;
    }
  }
  return false;
}

bool ParseEndpoint(std::string_view text, Options* options) {
  const size_t colon = text.rfind(':');
  std::string_view port = text;
  if (colon != std::string_view::npos) {
    if (colon == 0) return false;
    options->host = std::string(text.substr(0, colon));
    port = text.substr(colon + 1);
  }
  return ParseNumber(port, &options->port) && options->port >= 0 && options->port <= 65535;
}

}  // namespace

const char* UsageText() {
  return "Usage: pelorin-gateway-sim [options]\n"
         "A simulated gateway of the sensor network for Pelorin.\n"
         "\n"
         "  --tcp [HOST:]PORT   listen on HOST:PORT (default 127.0.0.1:10003; port 0 picks one)\n"
         "  --pty               serve a pseudo terminal instead; prints its device path\n"
         "  --rate N            node reports per second after the start command\n"
         "                      (default 2; 0 = as fast as possible)\n"
         "  --count N           reports per session, then silence (default: no limit)\n"
         "  --seed N            seed of the report values (default 1)\n"
         "  --fault KIND        silent       never answers the start command\n"
         "                      late-accept  accepts a connection only after --late-ms\n"
         "                      reset        resets the connection after --reset-after frames\n"
         "                      close        closes the connection after --reset-after frames\n"
         "                      garbage      mixes garbage and over-long frames into the stream\n"
         "                      flood        streams without a pause from the first moment\n"
         "                      prefill      sends bytes before the start command arrives\n"
         "  --reset-after N     frames before the reset or close (default 10)\n"
         "  --late-ms MS        accept delay of late-accept (default 1500)\n"
         "  --fixed-report      send one fixed report every time: node 26, KT-200,\n"
         "                      inputs 1 0 1 0 0, 5 V and a broken temperature wire\n"
         "  --no-start-command  stream reports without waiting for the start command,\n"
         "                      like a gateway that was already running\n"
         "  --exit-after-session  exit when the first session ends\n"
         "  --help              print this text\n";
}

std::optional<Options> ParseOptions(int argc, char** argv, std::string* error) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string_view* out) {
      if (i + 1 >= argc) {
        *error = "option " + std::string(arg) + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    auto bad = [&](std::string_view v) {
      *error = "bad value '" + std::string(v) + "' for " + std::string(arg);
      return std::nullopt;
    };
    std::string_view v;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--pty") {
      options.usePty = true;
    } else if (arg == "--no-start-command") {
      options.noStartCommand = true;
    } else if (arg == "--fixed-report") {
      options.fixedReport = true;
    } else if (arg == "--exit-after-session") {
      options.exitAfterSession = true;
    } else if (arg == "--tcp") {
      if (!value(&v)) return std::nullopt;
      if (!ParseEndpoint(v, &options)) return bad(v);
    } else if (arg == "--rate") {
      if (!value(&v)) return std::nullopt;
      if (!ParseNumber(v, &options.rate) || options.rate < 0) return bad(v);
    } else if (arg == "--count") {
      if (!value(&v)) return std::nullopt;
      if (!ParseNumber(v, &options.count) || options.count < 0) return bad(v);
    } else if (arg == "--seed") {
      if (!value(&v)) return std::nullopt;
      if (!ParseNumber(v, &options.seed)) return bad(v);
    } else if (arg == "--fault") {
      if (!value(&v)) return std::nullopt;
      if (!ParseFault(v, &options.fault)) return bad(v);
    } else if (arg == "--reset-after") {
      if (!value(&v)) return std::nullopt;
      if (!ParseNumber(v, &options.resetAfter) || options.resetAfter < 0) return bad(v);
    } else if (arg == "--late-ms") {
      if (!value(&v)) return std::nullopt;
      if (!ParseNumber(v, &options.lateMs) || options.lateMs < 0) return bad(v);
    } else {
      *error = "unknown option '" + std::string(arg) + "'";
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace pelorin::sim
