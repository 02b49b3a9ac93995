// A TCP server of our own for client tests: it reads one request (up to a
// terminator: a line feed for WhoIs, an empty line for HTTP) and answers as
// scripted, in any of the ways real servers behave: bytes, after a delay; never;
// bytes without end; closing at once. Every request is recorded. One thread
// per connection, so a stalled client never holds up the others.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <list>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace hs::test {

class ScriptedServer {
 public:
  struct Reply {
    // Text, NeverAnswer and CloseAtOnce are the WhoIs tests' names for the same kinds.
    enum Kind { Send, Stall, Close, Flood, Text = Send, NeverAnswer = Stall, CloseAtOnce = Close } kind = Send;
    std::string bytes;      // Send: the answer; Flood: what comes before the endless filler
    uint32_t delayMs = 0;   // a slow server: wait before answering
    bool holdOpen = false;  // Send: afterwards, keep the connection until the client closes it
    std::string filler = std::string(16384, 'x');  // Flood: sent again and again

    static Reply Of(std::string bytes, uint32_t delayMs = 0) { return {Send, std::move(bytes), delayMs}; }
  };
  using Handler = std::function<Reply(const std::string& request)>;

  // Listens on the IPv4 address and port (0: any free port); throws when it cannot.
  ScriptedServer(std::string terminator, Handler handler, const std::string& address = "127.0.0.1",
                 uint16_t port = 0)
      : terminator_(std::move(terminator)), handler_(std::move(handler)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int yes = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    socklen_t length = sizeof at;
    if (listen_ < 0 || ::inet_pton(AF_INET, address.c_str(), &at.sin_addr) != 1 ||
        ::bind(listen_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(listen_, 128) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&at), &length) != 0 || ::pipe2(stop_, O_CLOEXEC) != 0) {
      const std::string why = std::strerror(errno);
      if (listen_ >= 0) ::close(listen_);
      throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + ": " + why);
    }
    port_ = ntohs(at.sin_port);
    accept_ = std::thread([this] { AcceptLoop(); });
  }
  // Stops listening, ends every connection and waits for them.
  ~ScriptedServer() {
    {
      std::lock_guard g(lock_);
      stopping_ = true;
    }
    released_.notify_all();
    ::close(stop_[1]);  // every wait on the read end wakes up, for good
    accept_.join();
    for (std::thread& t : handlers_) t.join();
    ::close(stop_[0]);
    ::close(listen_);
  }
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t Port() const { return port_; }
  // Requests received so far, in order, each without its terminator.
  std::vector<std::string> Requests() const {
    std::lock_guard g(lock_);
    return requests_;
  }
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    std::unique_lock g(lock_);
    return arrived_.wait_for(g, timeout, [&] { return requests_.size() >= count; });
  }
  // While held, answers wait before they are sent.
  void Hold() {
    std::lock_guard g(lock_);
    held_ = true;
  }
  void Release() {
    {
      std::lock_guard g(lock_);
      held_ = false;
    }
    released_.notify_all();
  }
  int Connections() const { return connections_.load(); }

 private:
  // Waits for `events` on fd or for the stop; false on stop, error or after `ms` (-1: no limit).
  bool WaitFor(int fd, short events, int ms) const {
    pollfd p[2] = {{fd, events, 0}, {stop_[0], POLLIN, 0}};
    return ::poll(p, 2, ms) > 0 && !p[1].revents;
  }
  bool SendAll(int fd, const std::string& bytes) const {
    for (size_t sent = 0; sent < bytes.size();) {
      const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n > 0) sent += size_t(n);
      else if ((n < 0 && errno != EAGAIN && errno != EINTR) || !WaitFor(fd, POLLOUT, -1)) return false;
    }
    return true;
  }

  void AcceptLoop() {
    while (WaitFor(listen_, POLLIN, -1)) {
      const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd < 0) continue;
      connections_.fetch_add(1);
      std::lock_guard g(lock_);
      handlers_.emplace_back([this, fd] {
        Serve(fd);
        ::close(fd);
      });
    }
  }

  void Serve(int fd) {
    std::string request;
    char buffer[4096];
    while (request.find(terminator_) == std::string::npos && request.size() < 65536) {
      const ssize_t n = WaitFor(fd, POLLIN, 5000) ? ::recv(fd, buffer, sizeof buffer, 0) : 0;
      if (n <= 0) return;
      request.append(buffer, size_t(n));
    }
    request.resize(std::min(request.size(), request.find(terminator_)));
    if (!request.empty() && request.back() == '\r') request.pop_back();
    {
      std::lock_guard g(lock_);
      requests_.push_back(request);
    }
    arrived_.notify_all();
    const Reply reply = handler_(request);
    pollfd stop{stop_[0], POLLIN, 0};
    if (reply.delayMs && ::poll(&stop, 1, int(reply.delayMs)) > 0) return;
    {
      std::unique_lock g(lock_);
      released_.wait(g, [this] { return !held_ || stopping_; });
      if (stopping_) return;
    }
    switch (reply.kind) {
      case Reply::Send:
        if (!SendAll(fd, reply.bytes)) return;
        if (!reply.holdOpen) return (void)::shutdown(fd, SHUT_WR);
        [[fallthrough]];
      case Reply::Stall:  // until the client gives up (or the server stops)
        while (WaitFor(fd, POLLIN, -1)) {
          const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
          if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
        }
        return;
      case Reply::Close:
        return;
      case Reply::Flood:
        for (bool open = SendAll(fd, reply.bytes); open;) open = SendAll(fd, reply.filler);
        return;
    }
  }
  const std::string terminator_;
  const Handler handler_;
  int listen_ = -1;
  int stop_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::thread accept_;
  mutable std::mutex lock_;
  mutable std::condition_variable arrived_;
  std::condition_variable released_;
  bool held_ = false;      // under lock_
  bool stopping_ = false;  // under lock_
  std::vector<std::string> requests_;
  std::list<std::thread> handlers_;  // under lock_ until the accept thread has ended
  std::atomic<int> connections_{0};
};

}  // namespace hs::test
