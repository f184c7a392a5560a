#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pelorin::test {

// A log file's lines without their CR LF. A last line without one comes as
// "(unterminated) " and its bytes, so that a cut line never passes for whole.
inline std::vector<std::string> FileLines(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes.substr(start, end - start));
  }
  if (start != bytes.size()) lines.push_back("(unterminated) " + bytes.substr(start));
  return lines;
}

}  // namespace pelorin::test
