// One request-and-answer exchange over TCP: connect, send, receive until the
// peer closes. Every step is bounded in time, the answer in size, and a
// caller's check ends the exchange within one poll slice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace hs::platform {

struct TcpLimits {
  uint32_t connectMs = 0;   // from the start of the connect to an established connection
  uint32_t receiveMs = 0;   // longest wait for any one block (also for the send)
  uint32_t exchangeMs = 0;  // the whole exchange, connect included
  size_t maxBytes = 0;      // an answer that would grow beyond this is refused
  uint32_t pollMs = 20;     // how often a wait asks `keepGoing`
};

enum class TcpEnd {
  Closed,           // the peer closed the connection: the answer is complete
  ReceiveError,     // a receive failed (reset, ...)
  ReceiveTimeout,   // no block arrived within receiveMs
  ExchangeTimeout,  // the whole exchange took longer than exchangeMs
  TooLarge,         // the answer would have grown beyond maxBytes
  ConnectFailed,    // refused, unreachable or timed out
  SendFailed,
  Cancelled,        // keepGoing() said no
};

struct TcpExchangeResult {
  TcpEnd end = TcpEnd::ConnectFailed;
  std::string received;  // empty for ConnectFailed, SendFailed, Cancelled and TooLarge
};

// Connects to `address` (IPv4, network byte order) and `port`, sends the
// request whole and gathers what comes back. `keepGoing` is asked after the
// connect, after the send, before each block is appended and while any step
// waits; when it answers false the exchange ends at once with Cancelled.
TcpExchangeResult TcpExchange(uint32_t address, uint16_t port, std::string_view request,
                              const TcpLimits& limits, const std::function<bool()>& keepGoing);

}  // namespace hs::platform
