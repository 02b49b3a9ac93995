// icmp-probe: one echo request per TTL through a chosen backend, for the lab.
//   icmp-probe [--backend auto|raw|datagram] [--timeout MS] ADDRESS TTL...
// Prints "TTL STATUS ADDRESS BACKEND" per request (address 0.0.0.0 when none).
#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/icmp_backends.h"
#include "platform/icmp_echo.h"

using namespace hs::platform;

int main(int argc, char** argv) {
  std::string backend = "auto";
  uint32_t timeout = 1000;
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
    if (i + 1 >= argc) break;
    if (std::strcmp(argv[i], "--backend") == 0) backend = argv[i + 1];
    else if (std::strcmp(argv[i], "--timeout") == 0) timeout = static_cast<uint32_t>(std::atoi(argv[i + 1]));
    else break;
  }
  if (argc - i < 2) {
    std::fprintf(stderr, "usage: icmp-probe [--backend auto|raw|datagram] [--timeout MS] ADDRESS TTL...\n");
    return 2;
  }
  IcmpOpenResult open = backend == "raw"        ? OpenRawIcmpEcho()
                        : backend == "datagram" ? OpenDatagramIcmpEcho()
                                                : OpenIcmpEcho();
  if (!open.echo) {
    std::fprintf(stderr, "icmp-probe: %s\n", open.error.c_str());
    return 3;
  }
  uint32_t destination = inet_addr(argv[i]);
  static const char kPayload[] = "icmp-probe payload!icmp-probe pa";
  for (int t = i + 1; t < argc; ++t) {
    int ttl = std::atoi(argv[t]);
    IcmpEchoReply reply;
    int n = open.echo->SendEcho(destination, static_cast<uint8_t>(ttl), kPayload, 32, timeout, &reply);
    in_addr a{};
    a.s_addr = n ? reply.address : 0;
    std::printf("%d %u %s %s\n", ttl, n ? reply.status : kIcmpTimedOut, inet_ntoa(a), open.backend.c_str());
    std::fflush(stdout);
  }
  return 0;
}
