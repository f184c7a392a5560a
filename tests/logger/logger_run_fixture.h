#pragma once

#include "file_lines.h"
#include "logger_run.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelorin::logger {

inline RunTiming Quick() {
  RunTiming timing;
  timing.firstPause = std::chrono::milliseconds(100);
  timing.longestPause = std::chrono::milliseconds(400);
  timing.logRetry = std::chrono::milliseconds(300);
  return timing;
}

// The logger on a thread of its own, and every line it says.
class LoggerRunTest : public ::testing::Test {
 protected:
  ~LoggerRunTest() override {
    if (thread_.joinable()) Stop();
  }

  LoggerOptions TcpOptions(const std::string& port) {
    LoggerOptions options;
    options.useTcp = true;
    options.host = "127.0.0.1";
    options.port = port;
    options.csvPath = folder_.path() + "/log.csv";
    return options;
  }

  // A run of its own: what an earlier one said is forgotten.
  void Start(const LoggerOptions& options, RunTiming timing = Quick()) {
    {
      std::lock_guard lock(mutex_);
      lines_.clear();
    }
    run_ = std::make_unique<LoggerRun>(
        options,
        [this](std::string_view line, bool) {
          std::lock_guard lock(mutex_);
          lines_.emplace_back(line);
          said_.notify_all();
        },
        std::move(timing));
    thread_ = std::thread([this] { status_ = run_->Run(); });
  }

  // Stops the logger as a signal would; it must end within two seconds.
  void Stop() {
    const auto start = std::chrono::steady_clock::now();
    run_->RequestStop();
    thread_.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(status_, 0);
  }

  // Waits until the logger has said a line holding text count times.
  bool Said(const std::string& text, size_t count = 1,
            std::chrono::seconds within = std::chrono::seconds(15)) {
    std::unique_lock lock(mutex_);
    return said_.wait_for(lock, within, [&] { return CountLocked(text) >= count; });
  }

  size_t LinesWith(const std::string& text) {
    std::lock_guard lock(mutex_);
    return CountLocked(text);
  }

  std::string LineWith(const std::string& text) {
    std::lock_guard lock(mutex_);
    for (const std::string& line : lines_) {
      if (line.find(text) != std::string::npos) return line;
    }
    return {};
  }

  // The log's lines, without their CR LF; each must have had one.
  std::vector<std::string> CsvLines(const std::string& name = "log.csv") {
    return CsvLinesAt(folder_.path() + "/" + name);
  }
  std::vector<std::string> CsvLinesAt(const std::string& path) {
    std::vector<std::string> lines = test::FileLines(path);
    EXPECT_TRUE(lines.empty() || lines.back().rfind("(unterminated)", 0) != 0) << "a line without its end";
    return lines;
  }

  test::TemporaryFolder folder_;

 private:
  size_t CountLocked(const std::string& text) const {
    size_t found = 0;
    for (const std::string& line : lines_) found += line.find(text) != std::string::npos;
    return found;
  }

  std::unique_ptr<LoggerRun> run_;
  std::thread thread_;
  int status_ = -1;
  std::mutex mutex_;
  std::condition_variable said_;
  std::vector<std::string> lines_;
};

// The number that a line like "...; 42 reports in this session" gives.
inline uint64_t NumberBefore(const std::string& line, const std::string& words) {
  const size_t at = line.rfind(words);
  if (at == std::string::npos || at < 2) return 0;
  const size_t start = line.rfind(' ', at - 2) + 1;
  return std::stoull(line.substr(start, at - 1 - start));
}

}  // namespace pelorin::logger
