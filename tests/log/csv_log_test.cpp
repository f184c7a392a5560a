#include "csv_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace pelorin {
namespace {

NodeReport Report(int32_t node) {
  NodeReport report;
  report.timestamp = 1765000000;
  report.node = node;
  report.model = 1;
  report.analogCount = 1;
  report.analog[0] = {2, 0x400000};
  return report;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

size_t Lines(const std::string& text) {
  size_t count = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++count;
  return count;
}

// Waits for the writer thread; false if the condition still fails after a
// time no healthy run comes near.
bool Eventually(const std::function<bool()>& condition) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The descriptor of this process that is open on path.
int DescriptorOf(const std::string& path) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == path) {
      return std::stoi(entry.path().filename().string());
    }
  }
  return -1;
}

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    // A test that hangs ends the test program instead of hanging it.
    alarm(60);
    char name[] = "/tmp/pelorin-log-XXXXXX";
    directory = mkdtemp(name);
    path = directory + "/records.csv";
    for (int row = 0; row < kRowCount; ++row) log.SetRowName(row, "入力 " + std::to_string(row + 1));
  }
  void TearDown() override {
    log.Close();
    std::remove(path.c_str());
    rmdir(directory.c_str());
    alarm(0);
  }

  std::string directory;
  std::string path;
  std::atomic<int32_t> failures{0};
  CsvLog log{[this](int32_t) { ++failures; }};
};

const std::string kHeader =
    "\x93\xFA\x95\x74,\x8E\x9E\x8D\x8F,\x83\x6D\x81\x5B\x83\x68\x94\xD4\x8D\x86,\x8B\x40\x8E\xED,ID,"
    "\x93\xFC\x97\xCD 1,,\x93\xFC\x97\xCD 2,,\x93\xFC\x97\xCD 3,,\x93\xFC\x97\xCD 4,,"
    "\x93\xFC\x97\xCD 5,\r\n";

TEST_F(LogFile, HeaderComesWithTheFirstRecordOfAnEmptyFile) {
  ASSERT_EQ(log.Open(path), 0);
  EXPECT_EQ(Read(path), "");  // nothing is written before the first record
  log.SetRowName(0, "流量");    // names as they are when the first record comes
  log.Append(Report(1));
  log.Append(Report(2));
  log.Close();
  const std::string text = Read(path);
  std::string header = kHeader;
  header.replace(header.find("\x93\xFC\x97\xCD 1"), 6, "\x97\xAC\x97\xCA");
  EXPECT_EQ(text.rfind(header, 0), 0u);
  EXPECT_EQ(Lines(text), 3u);
  EXPECT_NE(text.find(",1,KT-100,0, 5.0000,V,\r\n"), std::string::npos);
  EXPECT_NE(text.find(",2,KT-100,0, 5.0000,V,\r\n"), std::string::npos);
}

TEST_F(LogFile, AFileWithContentGetsNoHeader) {
  { std::ofstream(path, std::ios::binary) << "earlier,content\r\n"; }
  ASSERT_EQ(log.Open(path), 0);
  log.Append(Report(7));
  log.Close();
  const std::string text = Read(path);
  EXPECT_EQ(text.rfind("earlier,content\r\n", 0), 0u);
  EXPECT_EQ(Lines(text), 2u);
  EXPECT_EQ(text.find("ID,"), std::string::npos);
}

TEST_F(LogFile, OnAndOffBeforeAnyRecordLeavesAnEmptyFile) {
  ASSERT_EQ(log.Open(path), 0);
  log.Close();
  log.Append(Report(1));  // logging is off: nothing happens
  EXPECT_EQ(access(path.c_str(), F_OK), 0);
  EXPECT_EQ(Read(path), "");
  ASSERT_EQ(log.Open(path), 0);
  log.Append(Report(1));
  log.Close();
  EXPECT_EQ(Read(path).rfind(kHeader, 0), 0u);
}

TEST_F(LogFile, OpenFailsWhereNoFileCanBe) {
  const std::string unread = directory + "/unread";
  const std::string read = directory + "/read";
  ASSERT_EQ(mkfifo(unread.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(read.c_str(), 0600), 0);
  const int reader = open(read.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  const struct {
    std::string path;
    int32_t error;
  } cases[] = {
      {directory + "/missing/records.csv", ENOENT},
      {directory, EISDIR},
      {unread, ENXIO},  // nobody reads it: refused at once, not waited on
      {read, EINVAL},
      {"/dev/full", EINVAL},
  };
  for (const auto& c : cases) EXPECT_EQ(log.Open(c.path), c.error) << c.path;
  EXPECT_FALSE(log.IsOpen());
  close(reader);
  unlink(read.c_str());
  unlink(unread.c_str());
}

TEST_F(LogFile, ASecondWriterIsLockedOut) {
  ASSERT_EQ(log.Open(path), 0);
  CsvLog second{nullptr};
  EXPECT_EQ(second.Open(path), EAGAIN);
  log.Close();
  EXPECT_EQ(second.Open(path), 0);
}

TEST_F(LogFile, FailedWriteClosesTheLogAndSaysSo) {
  // The file is deleted with its folder: it cannot be made again.
  ASSERT_EQ(log.Open(path), 0);
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(rmdir(directory.c_str()), 0);
  log.Append(Report(1));
  ASSERT_TRUE(Eventually([this] { return failures == 1; }));
  EXPECT_FALSE(log.IsOpen());
  log.Append(Report(2));  // closed: no further attempt, no further notice
  log.Close();
  EXPECT_EQ(failures.load(), 1);
}

TEST_F(LogFile, ADeletedFileIsMadeAgain) {
  ASSERT_EQ(log.Open(path), 0);
  ASSERT_EQ(unlink(path.c_str()), 0);
  log.Append(Report(3));
  log.Close();
  const std::string text = Read(path);
  EXPECT_EQ(text.rfind(kHeader, 0), 0u);
  EXPECT_EQ(Lines(text), 2u);
  EXPECT_EQ(failures.load(), 0);
}

TEST_F(LogFile, AFileThatStopsTakingRecordsIsGivenUp) {
  // The log's file is swapped for a pipe that nobody reads, whose writes
  // block as those to a share that stopped answering.
  const std::string pipe = directory + "/unread";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  const struct {
    const char* name;
    int records;
    bool closeAtOnce;
  } cases[] = {
      {"left logging", 5000, false},  // far more than the pipe holds
      {"closed at once", 5000, true},
      {"more records than the log keeps", 250000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    failures = 0;
    ASSERT_EQ(log.Open(path), 0);
    const int stalled = open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(dup2(stalled, DescriptorOf(path)), 0);
    close(stalled);
    for (int i = 0; i < c.records; ++i) log.Append(Report(i));
    if (!c.closeAtOnce) {
      EXPECT_TRUE(Eventually([this] { return failures != 0; }));
      EXPECT_FALSE(log.IsOpen());
    }
    log.Close();
    EXPECT_EQ(failures.load(), 1);
  }
  close(reader);
  unlink(pipe.c_str());
}

TEST_F(LogFile, APartlyWrittenRecordIsTakenBack) {
  // The file may grow by the header, one record and part of the next only.
  const auto appendBeyondTheLimit = [this] {
    std::signal(SIGXFSZ, SIG_IGN);
    if (log.Open(path) != 0) _exit(2);
    log.Append(Report(1));
    log.Close();
    const off_t whole = static_cast<off_t>(Read(path).size());
    const rlimit limit{static_cast<rlim_t>(whole + 20), RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    if (log.Open(path) != 0) _exit(2);
    log.Append(Report(2));
    log.Close();
    const bool ok = failures == 1 && !log.IsOpen() &&
                    static_cast<off_t>(Read(path).size()) == whole;
    _exit(ok ? 0 : 1);
  };
  EXPECT_EXIT(appendBeyondTheLimit(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace pelorin
