// The two ICMP echo backends, each openable on its own so that tests and the
// lab probe can exercise a chosen one. Programs use OpenIcmpEcho().
#pragma once

#include "platform/icmp_echo.h"

namespace hs::platform {

// socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP): needs the caller's group in
// net.ipv4.ping_group_range.
IcmpOpenResult OpenDatagramIcmpEcho();
// socket(AF_INET, SOCK_RAW, IPPROTO_ICMP): needs root or CAP_NET_RAW.
IcmpOpenResult OpenRawIcmpEcho();

}  // namespace hs::platform
