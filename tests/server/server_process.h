// Starts hopsight-locd on a loopback port the system picks and talks HTTP/1.1
// to it over plain sockets, so the tests see the exact bytes on the wire.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "tests/server/test_support.h"

namespace hs::test {

struct HttpReply {
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::string raw;
};

class ServerProcess {
 public:
  // `args` follow --listen 127.0.0.1:0; `logPath` receives the request log.
  // A `descriptorLimit` starts the server with that soft limit of open files.
  ServerProcess(std::vector<std::string> args, const std::string& logPath, rlim_t descriptorLimit = 0) {
    std::string program = BuildDir() + "/bin/hopsight-locd";
    std::vector<std::string> all = {program, "--listen", "127.0.0.1:0", "--log", logPath};
    all.insert(all.end(), args.begin(), args.end());
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      if (descriptorLimit) {
        rlimit r{};
        getrlimit(RLIMIT_NOFILE, &r);
        r.rlim_cur = descriptorLimit;
        setrlimit(RLIMIT_NOFILE, &r);
      }
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv;
      for (auto& a : all) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    // Sanitizer builds load slowly: allow a generous, bounded start.
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out[0], POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[256];
      ssize_t n = read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    size_t colon = line.rfind(':');
    if (line.rfind("listening on 127.0.0.1:", 0) == 0 && colon != std::string::npos)
      port_ = std::atoi(line.c_str() + colon + 1);
  }
  ~ServerProcess() { Stop(); }

  // Exit status after SIGTERM; -1 when it did not end within 30 s.
  int Stop() {
    if (pid_ <= 0) return exitStatus_;
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    kill(pid_, SIGTERM);
    pollfd p{pidfd, POLLIN, 0};
    if (pidfd >= 0 && poll(&p, 1, 30000) == 1) {
      int status = 0;
      close(pidfd);
      waitpid(pid_, &status, 0);
      pid_ = 0;
      return exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (pidfd >= 0) close(pidfd);
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
    return exitStatus_ = -1;
  }

  int port() const { return port_; }

  // A connection to the server from `source`, a loopback address (the
  // server counts connections per client address); -1 when it fails.
  int Connect(const char* source = "127.0.0.1") const {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port_));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
      if (fd >= 0) close(fd);
      return -1;
    }
    timeval tv{30, 0};  // a bound on a broken server, not a speed goal
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
  }

  // Sends raw request bytes on a fresh connection and reads until the server
  // closes it, or, with `untilAnswered`, until one whole answer has come.
  std::string Exchange(const std::string& request, bool untilAnswered = true) const {
    int fd = Connect();
    std::string out;
    if (fd >= 0) {
      send(fd, request.data(), request.size(), MSG_NOSIGNAL);
      char buf[8192];
      ssize_t n;
      while ((n = recv(fd, buf, sizeof buf, 0)) > 0) {
        out.append(buf, static_cast<size_t>(n));
        if (untilAnswered && Complete(out)) break;  // a kept-alive connection is not closed for us
      }
      close(fd);
    }
    return out;
  }

  HttpReply Get(const std::string& target) const {
    HttpReply r;
    r.raw = Exchange("GET " + target + " HTTP/1.1\r\nHost: locd.test\r\nUser-Agent: Hopsight_Express\r\n"
                     "Connection: close\r\n\r\n");
    size_t end = r.raw.find("\r\n\r\n");
    if (end == std::string::npos || r.raw.size() < 12) return r;
    r.status = std::atoi(r.raw.c_str() + 9);
    size_t pos = r.raw.find("\r\n") + 2;
    while (pos < end) {
      size_t eol = r.raw.find("\r\n", pos);
      std::string line = r.raw.substr(pos, eol - pos);
      size_t colon = line.find(':');
      const std::string name = ToLower(line.substr(0, colon));
      size_t v = line.find_first_not_of(' ', colon + 1);
      r.headers[name] = v == std::string::npos ? "" : line.substr(v);
      pos = eol + 2;
    }
    r.body = r.raw.substr(end + 4);
    return r;
  }

  // Waits up to `ms` for the far end to close or reset `fd`; false when it
  // stays open (or sends data instead).
  static bool ClosedByPeer(int fd, int ms) {
    pollfd p{fd, POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, ms) != 1) return false;
    char c;
    ssize_t n = recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno == ECONNRESET);
  }

 private:
  // Headers and as many body bytes as their Content-Length says.
  static bool Complete(const std::string& r) {
    size_t end = r.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    const std::string head = ToLower(r.substr(0, end));
    size_t at = head.find("\r\ncontent-length:");
    if (at == std::string::npos) return false;
    return r.size() >= end + 4 + std::strtoul(head.c_str() + at + 17, nullptr, 10);
  }

  pid_t pid_ = -1;
  int port_ = 0;
  int exitStatus_ = -1;
};

}  // namespace hs::test
