#include "tests/whois/fake_registry.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace hs::test {
namespace {

constexpr uint32_t kRequestWaitMs = 5000;
constexpr size_t kMaxRequest = 1024;

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

FakeRegistry::FakeRegistry(const std::string& address, uint16_t port) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
  const int yes = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &at.sin_addr) != 1 ||
      ::bind(listenFd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(listenFd_, 128) != 0) {
    const std::string why = std::strerror(errno);
    ::close(listenFd_);
    throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + ": " + why);
  }
  socklen_t length = sizeof at;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&at), &length);
  port_ = ntohs(at.sin_port);
  if (::pipe2(stopPipe_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  SetNonBlocking(listenFd_);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

FakeRegistry::~FakeRegistry() {
  {
    std::lock_guard g(lock_);
    stopping_ = true;
  }
  released_.notify_all();
  ::close(stopPipe_[1]);  // every wait on the read end wakes up, for good
  acceptThread_.join();
  std::list<std::thread> handlers;
  {
    std::lock_guard g(lock_);
    handlers.swap(handlers_);
  }
  for (std::thread& t : handlers) t.join();
  ::close(stopPipe_[0]);
  ::close(listenFd_);
}

void FakeRegistry::Answer(const std::string& request, FakeReply reply) {
  std::lock_guard g(lock_);
  replies_[request] = std::move(reply);
}

void FakeRegistry::AnswerOthers(std::function<FakeReply(const std::string&)> reply) {
  std::lock_guard g(lock_);
  others_ = std::move(reply);
}

std::vector<std::string> FakeRegistry::Requests() const {
  std::lock_guard g(lock_);
  return requests_;
}

void FakeRegistry::Hold() {
  std::lock_guard g(lock_);
  held_ = true;
}

void FakeRegistry::Release() {
  {
    std::lock_guard g(lock_);
    held_ = false;
  }
  released_.notify_all();
}

bool FakeRegistry::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock g(lock_);
  return requestArrived_.wait_for(g, timeout, [&] { return requests_.size() >= count; });
}

bool FakeRegistry::WaitStop(uint32_t ms) {
  pollfd p{stopPipe_[0], POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(ms)) > 0;
}

void FakeRegistry::AcceptLoop() {
  for (;;) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    if (::poll(p, 2, -1) < 0 && errno != EINTR) return;
    if (p[1].revents) return;
    if (!(p[0].revents & POLLIN)) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    connections_.fetch_add(1);
    open_.fetch_add(1);
    std::lock_guard g(lock_);
    handlers_.emplace_back([this, fd] {
      Serve(fd);
      ::close(fd);
      open_.fetch_sub(1);
    });
  }
}

FakeReply FakeRegistry::ReplyTo(const std::string& request) {
  std::lock_guard g(lock_);
  requests_.push_back(request);
  requestArrived_.notify_all();
  if (auto it = replies_.find(request); it != replies_.end()) return it->second;
  if (others_) return others_(request);
  return {FakeReply::CloseAtOnce, {}, 0};
}

void FakeRegistry::Serve(int fd) {
  // One request line.
  std::string request;
  char buffer[4096];
  while (request.find('\n') == std::string::npos && request.size() < kMaxRequest) {
    pollfd p[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    if (::poll(p, 2, static_cast<int>(kRequestWaitMs)) <= 0 || p[1].revents) return;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    request.append(buffer, static_cast<size_t>(n));
  }
  request = request.substr(0, request.find('\n'));
  if (!request.empty() && request.back() == '\r') request.pop_back();

  const FakeReply reply = ReplyTo(request);
  if (reply.delayMs && WaitStop(reply.delayMs)) return;
  {
    std::unique_lock g(lock_);
    released_.wait(g, [this] { return !held_ || stopping_; });
    if (stopping_) return;
  }

  auto sendAll = [&](const char* data, size_t size) {
    while (size > 0) {
      const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
      if (n > 0) {
        data += n;
        size -= static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
      pollfd p[2] = {{fd, POLLOUT, 0}, {stopPipe_[0], POLLIN, 0}};
      if (::poll(p, 2, -1) < 0 || p[1].revents) return false;
    }
    return true;
  };

  switch (reply.kind) {
    case FakeReply::Text:
      if (!sendAll(reply.text.data(), reply.text.size()) || !reply.holdOpen) return;
      [[fallthrough]];
    case FakeReply::NeverAnswer:
      // Until the client gives up (or the registry stops).
      for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 || p[1].revents) return;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
      }
    case FakeReply::CloseAtOnce:
      return;
    case FakeReply::Flood: {
      std::string block;
      while (block.size() < 16384) block += "flood flood flood flood flood flood flood flood flood flood\n";
      while (sendAll(block.data(), block.size())) {
      }
      return;
    }
  }
}

}  // namespace hs::test
