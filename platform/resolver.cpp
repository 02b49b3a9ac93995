#include "platform/resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace hs::platform {

std::optional<uint32_t> SystemResolver::FirstAddress(const std::string& host) {
  if (host.empty()) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_RAW;  // one entry per address, not per socket type
  addrinfo* result = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) return std::nullopt;
  std::optional<uint32_t> address;
  for (addrinfo* ai = result; ai; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
      address = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
      break;
    }
  }
  freeaddrinfo(result);
  return address;
}

std::optional<std::string> SystemResolver::ReverseName(uint32_t address) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = address;
  char host[NI_MAXHOST];
  // EAI_NONAME and EAI_AGAIN both mean "no name" to us: the resolver answers
  // EAI_AGAIN for unlisted addresses when no DNS server is reachable.
  int rc = getnameinfo(reinterpret_cast<sockaddr*>(&sin), sizeof sin, host, sizeof host,
                       nullptr, 0, NI_NAMEREQD);
  if (rc != 0 || host[0] == '\0') return std::nullopt;
  return std::string(host);
}

std::string SystemResolver::LocalHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

uint32_t DottedToAddress(const std::string& text) { return inet_addr(text.c_str()); }

std::string AddressToDotted(uint32_t address) {
  in_addr a{};
  a.s_addr = address;
  char buf[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, buf, sizeof buf);
  return buf;
}

}  // namespace hs::platform
