// Echo requests over Linux ICMP sockets. The datagram socket needs no
// privilege but must be allowed by net.ipv4.ping_group_range; the raw socket
// sees every ICMP packet of the host, so it matches answers strictly.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "platform/icmp_backends.h"
#include "platform/icmp_echo.h"
#include "platform/icmp_wire.h"

namespace hs::platform {
namespace {

using Clock = std::chrono::steady_clock;
namespace wire = icmpwire;

// Big enough for the echo reply to the largest request.
constexpr size_t kReceiveBuffer = 65536 + 64;
constexpr int kSocketBuffer = 256 * 1024;

uint16_t RandomU16() {
  std::random_device device;
  return static_cast<uint16_t>(device());
}

// Raw identifiers: random per process, then counted, so two objects in one
// process never share one and two processes most likely do not.
uint16_t NextRawIdentifier() {
  static std::atomic<uint16_t> next{RandomU16()};
  return next.fetch_add(1, std::memory_order_relaxed);
}

std::string SelfPath() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "<binary>";
  return std::string(path, static_cast<size_t>(n));
}

// Milliseconds left until `deadline`, rounded up so poll never wakes early.
int RemainingMs(Clock::time_point deadline) {
  auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

sockaddr_in MakeAddress(uint32_t address) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = address;
  return sin;
}

class SocketEcho : public IcmpEcho {
 public:
  explicit SocketEcho(int fd) : fd_(fd), sequence_(RandomU16()) {}
  ~SocketEcho() override { close(fd_); }
  SocketEcho(const SocketEcho&) = delete;
  SocketEcho& operator=(const SocketEcho&) = delete;

  int SendEcho(uint32_t destination, uint8_t ttl, const void* data, uint16_t size,
               uint32_t timeoutMs, IcmpEchoReply* reply) override {
    if (wire::IsUnaddressable(destination)) {
      *reply = IcmpEchoReply{0, kIcmpBadDestination};
      return 1;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Drain();
    if (ttl == 0 || !SetTtl(ttl)) return 0;
    wire::EchoExpectation expected;
    expected.destination = destination;
    expected.sequence = ++sequence_;
    expected.payload = static_cast<const uint8_t*>(data);
    expected.payloadSize = size;
    if (!Send(expected)) return 0;
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      int ready = poll(&p, 1, RemainingMs(deadline));
      if (ready < 0 && errno != EINTR) return 0;
      if (ready > 0) {
        if (auto answer = ReadPending(expected)) {
          *reply = IcmpEchoReply{answer->address, answer->status};
          return 1;
        }
      }
      if (RemainingMs(deadline) == 0) return 0;
    }
  }

 protected:
  // Sends the request; fills in the identifier the answer must carry.
  virtual bool Send(wire::EchoExpectation& expected) = 0;
  // Reads everything queued; the first answer to `expected` wins, the rest is
  // dropped (answers to earlier, timed-out requests or other traffic).
  virtual std::optional<wire::EchoAnswer> ReadPending(const wire::EchoExpectation& expected) = 0;
  virtual void Drain() = 0;

  int fd_;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kReceiveBuffer);

 private:
  bool SetTtl(uint8_t ttl) {
    if (ttl == ttl_) return true;
    int value = ttl;
    if (setsockopt(fd_, IPPROTO_IP, IP_TTL, &value, sizeof value) != 0) return false;
    ttl_ = ttl;
    return true;
  }

  uint16_t sequence_;
  int ttl_ = -1;
};

class RawEcho final : public SocketEcho {
 public:
  explicit RawEcho(int fd) : SocketEcho(fd), identifier_(NextRawIdentifier()) {}

 protected:
  bool Send(wire::EchoExpectation& expected) override {
    expected.identifier = identifier_;
    auto packet = wire::BuildEchoRequest(identifier_, expected.sequence, expected.payload,
                                         expected.payloadSize);
    sockaddr_in to = MakeAddress(expected.destination);
    return sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
                  sizeof to) == static_cast<ssize_t>(packet.size());
  }

  std::optional<wire::EchoAnswer> ReadPending(const wire::EchoExpectation& expected) override {
    uint8_t* buffer = buffer_.data();
    for (;;) {
      ssize_t n = recv(fd_, buffer, buffer_.size(), MSG_DONTWAIT);
      if (n < 0) {
        if (errno == EINTR) continue;
        return std::nullopt;
      }
      if (auto answer = wire::ParseRawPacket(buffer, static_cast<size_t>(n), expected)) return answer;
    }
  }

  void Drain() override {
    uint8_t* buffer = buffer_.data();
    while (recv(fd_, buffer, buffer_.size(), MSG_DONTWAIT) >= 0 || errno == EINTR) {
    }
  }

 private:
  uint16_t identifier_;
};

class DatagramEcho final : public SocketEcho {
 public:
  using SocketEcho::SocketEcho;

 protected:
  bool Send(wire::EchoExpectation& expected) override {
    // The kernel puts the socket's own identifier in; we learn it afterwards.
    auto packet = wire::BuildEchoRequest(0, expected.sequence, expected.payload, expected.payloadSize);
    sockaddr_in to = MakeAddress(expected.destination);
    if (sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) !=
        static_cast<ssize_t>(packet.size()))
      return false;
    if (!identifierKnown_) {
      sockaddr_in self{};
      socklen_t length = sizeof self;
      if (getsockname(fd_, reinterpret_cast<sockaddr*>(&self), &length) != 0) return false;
      identifier_ = ntohs(self.sin_port);
      identifierKnown_ = true;
    }
    expected.identifier = identifier_;
    return true;
  }

  std::optional<wire::EchoAnswer> ReadPending(const wire::EchoExpectation& expected) override {
    for (;;) {
      bool any = false;
      if (auto answer = ReadError(expected, any)) return answer;
      if (auto answer = ReadReply(expected, any)) return answer;
      if (!any) return std::nullopt;
    }
  }

  void Drain() override {
    wire::EchoExpectation nothing;  // sequence 0 with no identifier matches nothing we sent
    nothing.destination = INADDR_NONE;
    bool any = true;
    while (any) {
      any = false;
      ReadError(nothing, any);
      ReadReply(nothing, any);
    }
  }

 private:
  std::optional<wire::EchoAnswer> ReadReply(const wire::EchoExpectation& expected, bool& any) {
    uint8_t* buffer = buffer_.data();
    sockaddr_in from{};
    socklen_t length = sizeof from;
    ssize_t n = recvfrom(fd_, buffer, buffer_.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                         &length);
    if (n < 0) {
      // A pending hard error is reported once by an ordinary read; its
      // details are on the error queue.
      if (errno != EAGAIN && errno != EWOULDBLOCK) any = true;
      return std::nullopt;
    }
    any = true;
    return wire::ParseDatagramReply(buffer, static_cast<size_t>(n), from.sin_addr.s_addr, expected);
  }

  std::optional<wire::EchoAnswer> ReadError(const wire::EchoExpectation& expected, bool& any) {
    uint8_t* buffer = buffer_.data();
    alignas(cmsghdr) uint8_t control[512];
    sockaddr_in original{};
    iovec iov{buffer, buffer_.size()};
    msghdr msg{};
    msg.msg_name = &original;
    msg.msg_namelen = sizeof original;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n = recvmsg(fd_, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (n < 0) return std::nullopt;
    any = true;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR) continue;
      sock_extended_err ee;
      std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
      wire::QueuedError error;
      error.origin = ee.ee_origin;
      error.type = ee.ee_type;
      error.code = ee.ee_code;
      const auto* offender = reinterpret_cast<const sockaddr*>(
          reinterpret_cast<const uint8_t*>(CMSG_DATA(c)) + sizeof(sock_extended_err));
      if (c->cmsg_len >= CMSG_LEN(sizeof ee + sizeof(sockaddr_in)) && offender->sa_family == AF_INET) {
        sockaddr_in from;
        std::memcpy(&from, offender, sizeof from);
        error.offender = from.sin_addr.s_addr;
      }
      error.originalDestination = original.sin_addr.s_addr;
      error.quoted = buffer;
      error.quotedSize = static_cast<size_t>(n);
      return wire::ParseQueuedError(error, expected);
    }
    return std::nullopt;
  }

  uint16_t identifier_ = 0;
  bool identifierKnown_ = false;
};

void SetReceiveBuffer(int fd) {
  int size = kSocketBuffer;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

std::string RefusalText(int error) { return std::strerror(error); }

// Echo requests leave with IP flags 0, like every other field of the request
// fixed by the prober; Linux would set the don't-fragment bit for path MTU
// discovery.
bool ClearDontFragment(int fd) {
  int value = IP_PMTUDISC_DONT;
  return setsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &value, sizeof value) == 0;
}

}  // namespace

IcmpOpenResult OpenDatagramIcmpEcho() {
  IcmpOpenResult result;
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) {
    result.error = "datagram ICMP socket: " + RefusalText(errno);
    return result;
  }
  int on = 1;
  if (setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0) {
    result.error = "datagram ICMP socket: IP_RECVERR: " + RefusalText(errno);
    close(fd);
    return result;
  }
  if (!ClearDontFragment(fd)) {
    result.error = "datagram ICMP socket: IP_MTU_DISCOVER: " + RefusalText(errno);
    close(fd);
    return result;
  }
  SetReceiveBuffer(fd);
  result.echo = std::make_unique<DatagramEcho>(fd);
  result.backend = "datagram";
  return result;
}

IcmpOpenResult OpenRawIcmpEcho() {
  IcmpOpenResult result;
  int fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) {
    result.error = "raw ICMP socket: " + RefusalText(errno);
    return result;
  }
  // The raw socket gets a copy of every ICMP packet the host receives; let
  // only the kinds that can answer an echo request through.
  icmp_filter filter{};
  filter.data = ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_TIME_EXCEEDED) |
                  (1u << ICMP_PARAMETERPROB));
  if (setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) != 0) {
    result.error = "raw ICMP socket: ICMP_FILTER: " + RefusalText(errno);
    close(fd);
    return result;
  }
  if (!ClearDontFragment(fd)) {
    result.error = "raw ICMP socket: IP_MTU_DISCOVER: " + RefusalText(errno);
    close(fd);
    return result;
  }
  SetReceiveBuffer(fd);
  result.echo = std::make_unique<RawEcho>(fd);
  result.backend = "raw";
  return result;
}

IcmpOpenResult OpenIcmpEcho() {
  IcmpOpenResult datagram = OpenDatagramIcmpEcho();
  if (datagram.echo) return datagram;
  IcmpOpenResult raw = OpenRawIcmpEcho();
  if (raw.echo) return raw;
  IcmpOpenResult none;
  none.refusals = datagram.error + "; " + raw.error;
  none.program = SelfPath();
  none.error = "ICMP echo is not permitted (" + none.refusals +
               "). Allow unprivileged ICMP with: sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"" +
               " or grant raw sockets with: setcap cap_net_raw+ep " + none.program;
  return none;
}

}  // namespace hs::platform
