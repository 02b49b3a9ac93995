#include "platform/instance.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/files.h"

namespace hs::platform {
namespace {

using Clock = std::chrono::steady_clock;

std::string Reason(const std::string& what, int code) { return what + ": " + std::strerror(code); }

bool MakeAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

bool PeerIsThisUser(int fd, uid_t* peer = nullptr) {
  ucred cred{};
  socklen_t size = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0) return false;
  if (peer) *peer = cred.uid;
  return cred.uid == ::getuid();
}

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 60000));
}

void CloseQuietly(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

// ------------------------------------------------------------------ the lock

InstanceLock::InstanceLock(InstanceLock&& o) noexcept
    : state_(o.state_), fd_(o.fd_), error_(std::move(o.error_)) {
  o.fd_ = -1;
  o.state_ = State::Failed;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& o) noexcept {
  if (this != &o) {
    Release();
    state_ = o.state_;
    fd_ = o.fd_;
    error_ = std::move(o.error_);
    o.fd_ = -1;
    o.state_ = State::Failed;
  }
  return *this;
}

InstanceLock::~InstanceLock() { Release(); }

InstanceLock InstanceLock::Take(const std::string& path) {
  InstanceLock lock;
  lock.fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lock.fd_ < 0) {
    lock.error_ = Reason("cannot open " + path, errno);
    return lock;
  }
  if (::flock(lock.fd_, LOCK_EX | LOCK_NB) == 0) {
    lock.state_ = State::Held;
    return lock;
  }
  const int code = errno;
  CloseQuietly(lock.fd_);
  if (code == EWOULDBLOCK) {
    lock.state_ = State::HeldByAnother;
  } else {
    lock.error_ = Reason("cannot lock " + path, code);
  }
  return lock;
}

InstanceLock InstanceLock::Adopt(int fd) {
  InstanceLock lock;
  struct stat st {};
  // Our own lock: taking it again on the same open file succeeds at once.
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    lock.error_ = "the lock passed down is not held";
    return lock;
  }
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  lock.fd_ = fd;
  lock.state_ = State::Held;
  return lock;
}

void InstanceLock::Release() {
  CloseQuietly(fd_);
  if (state_ == State::Held) state_ = State::Failed;
}

int InstanceLock::TakeDescriptor() {
  const int fd = fd_;
  fd_ = -1;
  state_ = State::Failed;
  return fd;
}

// ----------------------------------------------------------- the channel server

ChannelServer::ChannelServer(int fd, int wakeRead, int wakeWrite, std::string path, Limits limits)
    : fd_(fd), wakeRead_(wakeRead), wakeWrite_(wakeWrite), path_(std::move(path)), limits_(limits) {}

std::unique_ptr<ChannelServer> ChannelServer::Listen(const std::string& path, std::string* error, Limits limits) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return nullptr;
  };
  sockaddr_un address{};
  if (!MakeAddress(path, address)) return fail("the socket path is too long: " + path);
  int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return fail(Reason("cannot make a socket", errno));
  // The lock is ours, so a socket file there is a killed instance's.
  ::unlink(path.c_str());
  // Nobody else may connect, not even for the moment before the chmod.
  const mode_t old = ::umask(0177);
  const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int bindError = errno;
  ::umask(old);
  if (bound != 0) {
    ::close(fd);
    return fail(Reason("cannot listen at " + path, bindError));
  }
  if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 128) != 0) {
    const int code = errno;
    ::close(fd);
    ::unlink(path.c_str());
    return fail(Reason("cannot listen at " + path, code));
  }
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    const int code = errno;
    ::close(fd);
    ::unlink(path.c_str());
    return fail(Reason("cannot make a pipe", code));
  }
  return std::unique_ptr<ChannelServer>(new ChannelServer(fd, wake[0], wake[1], path, limits));
}

std::unique_ptr<ChannelServer> ChannelServer::Adopt(int fd, const std::string& path, std::string* error,
                                                    Limits limits) {
  int type = 0, listening = 0;
  socklen_t size = sizeof type;
  bool ok = fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) == 0 && type == SOCK_SEQPACKET;
  size = sizeof listening;
  ok = ok && ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening;
  int wake[2];
  if (!ok || ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    if (error) *error = "the channel passed down is not a listening socket";
    return nullptr;
  }
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  return std::unique_ptr<ChannelServer>(new ChannelServer(fd, wake[0], wake[1], path, limits));
}

int ChannelServer::TakeDescriptor() {
  const int fd = fd_;
  fd_ = -1;
  path_.clear();  // the socket file stays for the program that takes over
  return fd;
}

ChannelServer::~ChannelServer() {
  Stop();
  if (fd_ >= 0) ::close(fd_);
  ::close(wakeRead_);
  ::close(wakeWrite_);
  if (!path_.empty()) ::unlink(path_.c_str());
}

void ChannelServer::Start(Deliver deliver, Refuse refuse) {
  std::lock_guard g(lock_);
  if (thread_.joinable()) return;
  thread_ = std::thread([this, deliver = std::move(deliver), refuse = std::move(refuse)] { Serve(deliver, refuse); });
}

void ChannelServer::Stop() {
  std::lock_guard g(lock_);
  if (!thread_.joinable()) return;
  const char byte = 1;
  while (::write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {
  }
  thread_.join();
}

void ChannelServer::Serve(const Deliver& deliver, const Refuse& refuse) {
  struct Waiting {
    int fd;
    Clock::time_point deadline;
  };
  std::deque<Waiting> waiting;  // accepted, nothing read yet; oldest first
  std::vector<char> buffer(limits_.maxMessage + 1);
  auto tell = [&](const std::string& why) {
    if (refuse) refuse(why);
  };
  // Reads the one message of a connection. False when it has not come yet.
  auto readMessage = [&](int fd) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return false;
    if (n > static_cast<ssize_t>(limits_.maxMessage)) {
      tell("a message of " + std::to_string(n) + " bytes was dropped (at most " +
           std::to_string(limits_.maxMessage) + ")");
    } else if (n > 0) {
      deliver(std::string(buffer.data(), static_cast<size_t>(n)));
    }
    return true;  // read, empty (the client left) or failed: done with it
  };

  std::vector<pollfd> fds;
  for (;;) {
    fds.assign({{wakeRead_, POLLIN, 0}, {fd_, POLLIN, 0}});
    for (const Waiting& w : waiting) fds.push_back({w.fd, POLLIN, 0});
    int timeout = -1;
    if (!waiting.empty()) {
      const auto first = std::min_element(waiting.begin(), waiting.end(), [](const Waiting& a, const Waiting& b) {
        return a.deadline < b.deadline;
      });
      timeout = MillisecondsUntil(first->deadline);
    }
    const int ready = ::poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents != 0) break;  // Stop()

    // Connections that have spoken (or hung up), then the ones out of time.
    std::deque<Waiting> still;
    for (size_t i = 0; i < waiting.size(); ++i) {
      const Waiting& w = waiting[i];
      const short events = ready > 0 ? fds[2 + i].revents : 0;
      if (events != 0 && readMessage(w.fd)) {
        ::close(w.fd);
      } else if (Clock::now() >= w.deadline) {
        tell("a connection sent nothing in time");
        ::close(w.fd);
      } else {
        still.push_back(w);
      }
    }
    waiting.swap(still);

    if (ready > 0 && (fds[1].revents & POLLIN)) {
      for (;;) {
        int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) break;
        uid_t peer = 0;
        if (!PeerIsThisUser(client, &peer)) {
          tell("a request from user " + std::to_string(peer) + " was refused");
          ::close(client);
          continue;
        }
        // A client normally sent before we accepted: no slot needed.
        if (readMessage(client)) {
          ::close(client);
          continue;
        }
        if (static_cast<int>(waiting.size()) >= limits_.maxWaiting) {
          tell("too many silent connections: the oldest was closed");
          ::close(waiting.front().fd);
          waiting.pop_front();
        }
        waiting.push_back({client, Clock::now() + std::chrono::milliseconds(limits_.clientTimeoutMs)});
      }
    }
  }
  for (const Waiting& w : waiting) ::close(w.fd);
  char drain[64];
  while (::read(wakeRead_, drain, sizeof drain) > 0) {
  }
}

// ------------------------------------------------------------ the client side

SendResult SendOverChannel(const std::string& path, const std::string& message, uint32_t waitMs,
                           std::string* error) {
  auto fail = [&](SendResult result, const std::string& why) {
    if (error) *error = why;
    return result;
  };
  sockaddr_un address{};
  if (!MakeAddress(path, address)) return fail(SendResult::Failed, "the socket path is too long: " + path);
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  int fd = -1;
  for (;;) {
    fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return fail(SendResult::Failed, Reason("cannot make a socket", errno));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) break;
    const int code = errno;
    ::close(fd);
    fd = -1;
    // Not listening yet, or its queue is full: try again for a while.
    const bool later = code == ENOENT || code == ECONNREFUSED || code == EAGAIN;
    if (!later) return fail(code == EACCES ? SendResult::Refused : SendResult::Failed, Reason("cannot reach " + path, code));
    if (Clock::now() >= deadline) return fail(SendResult::NoListener, Reason("nobody listens at " + path, code));
    ::poll(nullptr, 0, std::min(5, MillisecondsUntil(deadline) + 1));
  }
  if (!PeerIsThisUser(fd)) {
    ::close(fd);
    return fail(SendResult::Refused, "the listener at " + path + " belongs to another user");
  }
  for (;;) {
    if (::send(fd, message.data(), message.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(message.size())) break;
    const int code = errno;
    if (code == EINTR) continue;
    if (code == EAGAIN && Clock::now() < deadline) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, MillisecondsUntil(deadline) + 1);
      continue;
    }
    ::close(fd);
    return fail(code == EMSGSIZE ? SendResult::Refused : SendResult::Failed, Reason("cannot send to " + path, code));
  }
  ::close(fd);
  return SendResult::Sent;
}

// ------------------------------------------------------------ replacing the program

std::string ReplaceProgram(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<int>& keep, const std::string& name, const std::string& value) {
  for (int fd : keep) ::fcntl(fd, F_SETFD, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  if (!name.empty()) ::setenv(name.c_str(), value.c_str(), 1);
  ::execv(program.c_str(), argv.data());
  const int code = errno;
  if (!name.empty()) ::unsetenv(name.c_str());
  for (int fd : keep) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return Reason("cannot start " + program, code);
}

// ------------------------------------------------------------------- signals

namespace {
int signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}
}  // namespace

int TerminationSignalDescriptor() {
  static const int fd = [] {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    struct sigaction sa {};
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &sa, nullptr);
    return signalPipe[0];
  }();
  return fd;
}

}  // namespace hs::platform
