#pragma once

// What the CSV log tests share: a log on a file in a folder of its own, and
// the lines that the file should hold.

#include "csv_log.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

namespace pelorin::test {

inline NodeReport Report(int32_t node) {
  NodeReport report;
  report.timestamp = 1765000000;
  report.node = node;
  report.model = 1;
  report.analogCount = 1;
  report.analog[0] = {2, 0x400000};
  return report;
}

inline std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

inline size_t Lines(const std::string& text) {
  size_t count = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++count;
  return count;
}

// Waits for the writer thread; false if the condition still fails after a
// time no healthy run comes near.
inline bool Eventually(const std::function<bool()>& condition) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

inline long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
      .count();
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = directory + "/records.csv";
    for (int row = 0; row < kRowCount; ++row) log.SetRowName(row, "入力 " + std::to_string(row + 1));
  }
  void TearDown() override { log.Close(); }

  TemporaryFolder folder;
  const std::string& directory = folder.path();
  std::string path;
  std::atomic<int32_t> failures{0};
  std::atomic<size_t> unwritten{0};
  // How long the failure handler takes: a report that lags behind the
  // failure's decision, while the window closes and opens the log.
  std::atomic<int> handlerPauseMs{0};
  CsvLog log{[this](int32_t, size_t records) {
    std::this_thread::sleep_for(std::chrono::milliseconds(handlerPauseMs));
    unwritten += records;
    ++failures;
  }};
};

inline const std::string kHeader =
    "\x93\xFA\x95\x74,\x8E\x9E\x8D\x8F,\x83\x6D\x81\x5B\x83\x68\x94\xD4\x8D\x86,\x8B\x40\x8E\xED,ID,"
    "\x93\xFC\x97\xCD 1,,\x93\xFC\x97\xCD 2,,\x93\xFC\x97\xCD 3,,\x93\xFC\x97\xCD 4,,"
    "\x93\xFC\x97\xCD 5,\r\n";

}  // namespace pelorin::test
