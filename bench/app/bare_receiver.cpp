// The least any receiver of a gateway's stream can cost: one blocking receive
// after another, frames split at their terminator and counted, nothing shown.
// The program cost benchmark measures it beside the window program.
//
// Usage: pelorin-bench-bare-receiver PORT SECONDS (a gateway on 127.0.0.1)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PORT SECONDS\n", argv[0]);
    return 2;
  }
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    std::perror("connect");
    return 1;
  }
  const uint8_t start[] = {'0', '0', 'M', 'D', 0xC8};
  send(fd, start, sizeof start, 0);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));
  long frames = 0;
  uint8_t buffer[4096];
  while (std::chrono::steady_clock::now() < end) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) frames += buffer[i] == 0xC8;
  }
  std::printf("%ld frames\n", frames);
  close(fd);
  return 0;
}
