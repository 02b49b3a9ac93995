#include "platform/tcp_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace hs::platform {
namespace {

uint64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

class Socket {
 public:
  Socket() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP)) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

enum class Wait { Ready, TimedOut, Cancelled, Failed };

// Waits for `events` until `deadline`, asking keepGoing every poll slice.
Wait WaitFor(int fd, short events, uint64_t deadline, const TcpLimits& limits,
             const std::function<bool()>& keepGoing) {
  for (;;) {
    if (!keepGoing()) return Wait::Cancelled;
    const uint64_t now = NowMs();
    if (now >= deadline) return Wait::TimedOut;
    const uint64_t slice = std::min<uint64_t>(deadline - now, std::max<uint32_t>(limits.pollMs, 1));
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(slice));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Wait::Failed;
    }
    if (n > 0) return Wait::Ready;  // errors and hang-ups show up in the next call
  }
}

}  // namespace

TcpExchangeResult TcpExchange(uint32_t address, uint16_t port, std::string_view request,
                              const TcpLimits& limits, const std::function<bool()>& keepGoing) {
  TcpExchangeResult result;
  const uint64_t start = NowMs();
  const uint64_t exchangeDeadline = start + limits.exchangeMs;
  Socket socket;
  if (socket.fd() < 0) return result;

  // Connect.
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = address;
  if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    if (errno != EINPROGRESS) return result;
    const uint64_t deadline = std::min(exchangeDeadline, start + limits.connectMs);
    switch (WaitFor(socket.fd(), POLLOUT, deadline, limits, keepGoing)) {
      case Wait::Ready: break;
      case Wait::Cancelled: result.end = TcpEnd::Cancelled; return result;
      default: return result;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return result;
  }
  if (!keepGoing()) {
    result.end = TcpEnd::Cancelled;
    return result;
  }

  // Send the whole request.
  result.end = TcpEnd::SendFailed;
  size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = ::send(socket.fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const uint64_t deadline = std::min(exchangeDeadline, NowMs() + limits.receiveMs);
      switch (WaitFor(socket.fd(), POLLOUT, deadline, limits, keepGoing)) {
        case Wait::Ready: continue;
        case Wait::Cancelled: result.end = TcpEnd::Cancelled; return result;
        default: return result;
      }
    }
    return result;
  }
  if (!keepGoing()) {
    result.end = TcpEnd::Cancelled;
    return result;
  }

  // Receive until the peer closes.
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::recv(socket.fd(), buffer, sizeof buffer, 0);
    if (n == 0) {
      result.end = TcpEnd::Closed;
      return result;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        result.end = TcpEnd::ReceiveError;
        return result;
      }
      const uint64_t now = NowMs();
      const bool exchangeBound = exchangeDeadline <= now + limits.receiveMs;
      const uint64_t deadline = exchangeBound ? exchangeDeadline : now + limits.receiveMs;
      switch (WaitFor(socket.fd(), POLLIN, deadline, limits, keepGoing)) {
        case Wait::Ready: continue;
        case Wait::TimedOut:
          result.end = exchangeBound ? TcpEnd::ExchangeTimeout : TcpEnd::ReceiveTimeout;
          return result;
        case Wait::Cancelled:
          result.received.clear();
          result.end = TcpEnd::Cancelled;
          return result;
        case Wait::Failed:
          result.end = TcpEnd::ReceiveError;
          return result;
      }
    }
    if (!keepGoing()) {
      result.received.clear();
      result.end = TcpEnd::Cancelled;
      return result;
    }
    if (result.received.size() + static_cast<size_t>(n) > limits.maxBytes) {
      result.received.clear();
      result.received.shrink_to_fit();
      result.end = TcpEnd::TooLarge;
      return result;
    }
    result.received.append(buffer, static_cast<size_t>(n));
    if (NowMs() >= exchangeDeadline) {
      result.end = TcpEnd::ExchangeTimeout;
      return result;
    }
  }
}

}  // namespace hs::platform
