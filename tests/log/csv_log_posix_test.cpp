// The CSV log when the file system fails it: a FIFO for a file, a file
// deleted or stalled under the log, a size limit reached mid-record.

#include "csv_log_fixture.h"

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelorin {
namespace {

using namespace test;
using LogFile = LogFileTest;

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

TEST_F(LogFile, FifosAreRefusedAtOnce) {
  const std::string unread = directory + "/unread";
  const std::string read = directory + "/read";
  ASSERT_EQ(mkfifo(unread.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(read.c_str(), 0600), 0);
  const int reader = open(read.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  EXPECT_EQ(log.Open(unread), ENXIO);  // nobody reads it: refused, not waited on
  EXPECT_EQ(log.Open(read), EINVAL);
  EXPECT_FALSE(log.IsOpen());
  close(reader);
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
