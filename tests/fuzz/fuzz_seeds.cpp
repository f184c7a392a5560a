// Writes seed corpora for the fuzz targets from the simulator's frames:
// fuzz_seeds FRAMING_DIR HANDLER_DIR

#include "frame_builder.h"

#include <cstdio>
#include <string>

namespace {

void Write(const std::string& path, const pelorin::sim::Frame& bytes) {
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fuzz_seeds FRAMING_DIR HANDLER_DIR\n");
    return 2;
  }
  using namespace pelorin::sim;
  ReportGenerator reports(1);
  Frame stream;
  for (int i = 0; i < 64; ++i) {
    const Frame frame = NodeReport(reports.Next());
    Write(std::string(argv[2]) + "/report" + std::to_string(i), frame);
    stream.insert(stream.end(), frame.begin(), frame.end());
    if (i % 8 == 0) {
      Write(std::string(argv[1]) + "/stream" + std::to_string(i / 8), stream);
      stream.clear();
    }
  }
  Write(std::string(argv[2]) + "/reply", GatewayReply());
  Write(std::string(argv[2]) + "/query", GatewayQuery(21));
  Frame overlong(300, 'x');
  overlong.push_back(0xC8);
  const Frame reply = GatewayReply();
  overlong.insert(overlong.end(), reply.begin(), reply.end());
  Write(std::string(argv[1]) + "/overlong", overlong);
  return 0;
}
