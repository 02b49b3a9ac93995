// Holds many slow connections open to a server on loopback, as an attacker
// or a crowd of clients on bad links would: half of them connect and send
// nothing, half send a request line one byte a second. Connections that the
// server ends are opened again at once, so the count stays up.
//
//   slow_clients PORT COUNT SECONDS [FIRST_SOURCE]
//
// The connections come from COUNT / 31 + 1 loopback addresses from
// FIRST_SOURCE on (default 127.0.1.1), at most 32 each: the server caps
// connections per address. Prints "open N" once all are open, and at the
// end how many the server closed and how many were opened again.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int Open(uint16_t port, uint32_t source) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(source);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
      connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

struct Slow {
  int fd = -1;
  uint32_t source = 0;
  bool trickles = false;
  size_t sent = 0;
};

const char kLine[] = "GET /loc/?0123456789abcdef01234567&Z0808080800000005 HTTP/1.1\r\nHost: slow.test\r\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: slow_clients PORT COUNT SECONDS [FIRST_SOURCE]\n");
    return 2;
  }
  uint16_t port = static_cast<uint16_t>(std::atoi(argv[1]));
  size_t count = static_cast<size_t>(std::atol(argv[2]));
  int seconds = std::atoi(argv[3]);
  in_addr first{};
  inet_pton(AF_INET, argc > 4 ? argv[4] : "127.0.1.1", &first);
  rlimit r{};
  getrlimit(RLIMIT_NOFILE, &r);
  r.rlim_cur = r.rlim_max;
  setrlimit(RLIMIT_NOFILE, &r);

  std::vector<Slow> slow(count);
  for (size_t i = 0; i < count; ++i) {
    slow[i].source = ntohl(first.s_addr) + static_cast<uint32_t>(i / 31);
    slow[i].trickles = i % 2 == 1;
    slow[i].fd = Open(port, slow[i].source);
    if (slow[i].fd < 0) {
      std::perror("slow_clients: connect");
      return 1;
    }
  }
  std::printf("open %zu\n", count);
  std::fflush(stdout);

  size_t closedByServer = 0, reopened = 0;
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  auto nextByte = std::chrono::steady_clock::now();
  std::vector<pollfd> fds(count);
  while (std::chrono::steady_clock::now() < end) {
    for (size_t i = 0; i < count; ++i) fds[i] = {slow[i].fd, POLLIN | POLLRDHUP, 0};
    poll(fds.data(), fds.size(), 100);
    for (size_t i = 0; i < count; ++i) {
      if (!fds[i].revents) continue;
      char buf[4096];
      if (recv(slow[i].fd, buf, sizeof buf, MSG_DONTWAIT) > 0) continue;  // an error answer; the close follows
      close(slow[i].fd);
      ++closedByServer;
      slow[i].fd = Open(port, slow[i].source);
      slow[i].sent = 0;
      if (slow[i].fd < 0) return std::perror("slow_clients: reconnect"), 1;
      ++reopened;
    }
    if (std::chrono::steady_clock::now() >= nextByte) {
      nextByte += std::chrono::seconds(1);
      for (Slow& s : slow)
        if (s.trickles && s.sent + 1 < sizeof kLine) send(s.fd, kLine + s.sent++, 1, MSG_NOSIGNAL);
    }
  }
  std::printf("closed by the server %zu, opened again %zu\n", closedByServer, reopened);
  for (Slow& s : slow) close(s.fd);
  return 0;
}
