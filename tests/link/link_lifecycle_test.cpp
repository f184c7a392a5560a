#include "frame_collector.h"
#include "gateway_link.h"
#include "loopback.h"
#include "process_counts.h"
#include "serial_ports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include "pty.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace pelorin {
namespace {

TEST(LinkLifecycle, ManyOpenCloseCyclesLeakNoThreadOrDescriptor) {
  constexpr int kLinks = 8;
  constexpr int kCyclesPerLink = 125;  // 1,000 cycles in all
  SerialPortRegistry ports;
  test::LoopbackServer server(64);
#if !defined(_WIN32)
  test::Pty pty;  // one link of the eight opens a serial port
#endif
  std::thread([] {}).join();  // a sanitizer's helper thread starts with the first thread
  const int descriptors = test::OpenDescriptorCount();
  [[maybe_unused]] const int threads = test::ThreadCount();
  std::atomic<bool> stop{false};
  // The gateway accepts every connection and drops it again.
  std::thread acceptor([&] {
    while (!stop) {
      const test::Socket fd = server.Accept(50);
      if (fd >= 0) test::CloseSocket(fd);
    }
  });

  std::vector<std::thread> cyclers;
  std::atomic<int> failures{0};
  for (int i = 0; i < kLinks; ++i) {
    cyclers.emplace_back([&, i] {
      test::FrameCollector frames;
      GatewayLink link{ports};
      link.owner = &frames;
      link.handler = &test::FrameCollector::Handle;
      link.SetHostName("127.0.0.1");
      link.SetPortText(server.port());
#if !defined(_WIN32)
      if (i == 0) {
        link.useTcp = 0;
        link.comPort = ports.NumberForNode(pty.slavePath());
      }
#endif
      for (int cycle = 0; cycle < kCyclesPerLink; ++cycle) {
        if (!link.Open().ok()) ++failures;
        link.Close();
      }
    });
  }
  for (std::thread& t : cyclers) t.join();
  stop = true;
  acceptor.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(test::OpenDescriptorCount(), descriptors);
#if defined(PELORIN_UNDER_EMULATION)
  // The emulator's own threads come and go: the link's are counted.
  EXPECT_TRUE(test::PelorinThreadsGone());
#else
  EXPECT_EQ(test::ThreadCount(), threads);
#endif
}

#if !defined(_WIN32)
// A link made while the process had no descriptor to spare has no wake event:
// Open makes it, or fails with the system's code rather than opening a link
// that nothing can wake.
TEST(LinkLifecycleDeathTest, OpenMakesTheWakeEventThatTheLinkCouldNotMake) {
#if defined(PELORIN_UNDER_EMULATION)
  GTEST_SKIP() << "the emulator needs descriptors of its own, and cannot start the test again";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SerialPortRegistry ports;
        test::LoopbackServer server;
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 1024);
        setrlimit(RLIMIT_NOFILE, &limit);
        std::vector<int> taken;
        for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken.push_back(fd);
        GatewayLink link{ports};
        link.SetHostName("127.0.0.1");
        link.SetPortText(server.port());
        close(taken.back());  // one to spare: the wake event's or the socket's
        taken.pop_back();
        const LinkStatus spared = link.Open();
        for (const int fd : taken) close(fd);
        const LinkStatus freed = link.Open();
        link.Close();
        _exit(spared.code == EMFILE && freed.ok() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

// Linux only, and not under a sanitizer: it limits the address space.
#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Without room for another thread's stack, Open fails with a code instead of
// waiting for a receive thread that never runs.
TEST(LinkLifecycleDeathTest, OpenFailsWhenTheReceiveThreadCannotStart) {
#if defined(PELORIN_UNDER_EMULATION)
  GTEST_SKIP() << "the emulator's own address space is beyond any limit the test could set";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SerialPortRegistry ports;
        test::LoopbackServer server;
        GatewayLink link{ports};
        link.SetHostName("127.0.0.1");
        link.SetPortText(server.port());
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        std::FILE* status = std::fopen("/proc/self/statm", "r");
        long pages = 0;
        if (std::fscanf(status, "%ld", &pages) != 1) _exit(3);
        std::fclose(status);
        limit.rlim_cur = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (4 << 20);
        setrlimit(RLIMIT_AS, &limit);
        const LinkStatus result = link.Open();
        _exit(result.code == EAGAIN && link.state() == LinkState::Closed ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace pelorin
