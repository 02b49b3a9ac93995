// A tiny HTTP server on 127.0.0.1 for client tests: every request gets a
// scripted reply (any bytes, a delay, a connection held open without an
// answer, an endless body, or a connection closed at once), and every request
// is recorded so that the test can read the exact request line and headers.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hs::test {

class ScriptedHttpServer {
 public:
  struct Reply {
    enum Kind { Send, Stall, Close, Flood } kind = Send;
    std::string bytes;  // Send: everything after the connection is accepted; Flood: the headers
    int delayMs = 0;    // a slow server: wait before answering
  };
  struct Request {
    std::string target;  // "/loc/?..."
    std::string head;    // request line and headers
  };

  static Reply Ok(const std::string& body, int delayMs = 0) {
    return {Reply::Send,
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                body,
            delayMs};
  }
  static Reply Raw(std::string bytes) { return {Reply::Send, std::move(bytes), 0}; }
  static Reply Stall() { return {Reply::Stall, {}, 0}; }
  static Reply CloseAtOnce() { return {Reply::Close, {}, 0}; }
  // Headers promising a huge body, then bytes until the client goes away.
  static Reply Flood() {
    return {Reply::Flood, "HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\nConnection: close\r\n\r\n", 0};
  }

  explicit ScriptedHttpServer(std::function<Reply(const std::string& target)> handler)
      : handler_(std::move(handler)) {
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listen_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(listen_, 64) != 0) return;
    socklen_t len = sizeof sa;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    if (pipe2(stop_, O_CLOEXEC) != 0) return;
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedHttpServer() {
    if (thread_.joinable()) {
      (void)!write(stop_[1], "x", 1);
      thread_.join();
    }
    for (int fd : held_) close(fd);
    close(listen_);
    close(stop_[0]);
    close(stop_[1]);
  }

  int port() const { return port_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  std::vector<Request> Requests() const {
    std::lock_guard g(lock_);
    return requests_;
  }
  size_t RequestCount() const {
    std::lock_guard g(lock_);
    return requests_.size();
  }
  // Waits (bounded) until `n` requests have arrived.
  bool WaitForRequests(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    std::unique_lock g(lock_);
    return arrived_.wait_for(g, timeout, [&] { return requests_.size() >= n; });
  }

 private:
  bool Stopping() const {
    pollfd p{stop_[0], POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }
  // Waits for `events` on fd or the stop pipe; false on stop or after 10 s.
  bool WaitFor(int fd, short events, int timeoutMs = 10000) {
    pollfd p[2] = {{fd, events, 0}, {stop_[0], POLLIN, 0}};
    if (poll(p, 2, timeoutMs) <= 0) return false;
    return !(p[1].revents & POLLIN);
  }
  bool SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      if (!WaitFor(fd, POLLOUT)) return false;
      ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  void Serve() {
    while (WaitFor(listen_, POLLIN, -1)) {
      int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::string head;
      char buf[4096];
      while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 && WaitFor(fd, POLLIN, 5000)) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        head.append(buf, static_cast<size_t>(n));
      }
      const size_t sp1 = head.find(' '), sp2 = head.find(' ', sp1 + 1);
      Request request{sp1 == std::string::npos || sp2 == std::string::npos ? "" : head.substr(sp1 + 1, sp2 - sp1 - 1),
                      head.substr(0, head.find("\r\n\r\n"))};
      Reply reply = handler_(request.target);
      {
        std::lock_guard g(lock_);
        requests_.push_back(request);
      }
      arrived_.notify_all();
      if (reply.delayMs > 0) {
        pollfd p{stop_[0], POLLIN, 0};
        if (poll(&p, 1, reply.delayMs) > 0) {  // stopping
          close(fd);
          return;
        }
      }
      switch (reply.kind) {
        case Reply::Send:
          SendAll(fd, reply.bytes);
          shutdown(fd, SHUT_WR);
          close(fd);
          break;
        case Reply::Stall:
          held_.push_back(fd);  // answered never; closed when the server stops
          break;
        case Reply::Close:
          close(fd);
          break;
        case Reply::Flood: {
          bool open = SendAll(fd, reply.bytes);
          const std::string chunk(16384, 'x');
          while (open && !Stopping()) open = SendAll(fd, chunk);
          close(fd);
          break;
        }
      }
    }
  }

  std::function<Reply(const std::string&)> handler_;
  int listen_ = -1;
  int port_ = 0;
  int stop_[2] = {-1, -1};
  std::vector<int> held_;
  std::thread thread_;
  mutable std::mutex lock_;
  mutable std::condition_variable arrived_;
  std::vector<Request> requests_;
};

}  // namespace hs::test
