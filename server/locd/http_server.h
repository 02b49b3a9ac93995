// The HTTP side of hopsight-locd: an event-driven server on Boost.Beast and
// Boost.Asio. One thread waits on every connection at once (epoll), so idle
// or slow clients cost a socket and a few hundred bytes each, never a thread;
// the lookups run on a small pool of worker threads.
//
// Clients on the internet are not all friendly. Each connection must deliver
// its request head within a short time, kept-alive connections may idle only
// for a while, answers must be taken within a time, and each client address
// may hold only so many connections. Requests on one connection are answered
// one after the other, so pipelined requests get their answers in order.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "server/locd/service.h"

namespace hs::locd {

// What the server does with one request: path and raw query in, a status
// and a body out. Runs on a worker thread; must be safe to call concurrently.
using RequestHandler =
    std::function<Reply(std::string_view path, std::string_view rawQuery, std::string_view remoteAddress)>;

struct HttpLimits {
  size_t maxConnections = 10000;  // at once, all clients together (also capped by the descriptor limit)
  size_t maxPerAddress = 32;      // at once, from one client address
  // A new connection's request head, and the rest of a request whose first
  // byte has come, must arrive within this time.
  std::chrono::milliseconds headerTimeout{5000};
  // A kept-alive connection may wait this long for its next request.
  std::chrono::milliseconds idleTimeout{15000};
  // The client must take an answer within this time.
  std::chrono::milliseconds writeTimeout{10000};
};

// Request line and headers together; a full route request is under 1 KB.
inline constexpr size_t kMaxRequestHead = 16 * 1024;
// Requests carry no body we read; a small one is taken and dropped.
inline constexpr size_t kMaxRequestBody = 16 * 1024;

struct HttpOptions {
  std::string host;   // numeric address or a name that resolves locally
  uint16_t port = 0;  // 0: the system picks one
  size_t workers = 4;
  HttpLimits limits;
  FILE* log = stderr;  // one line per request
};

class HttpServer {
 public:
  // Binds and listens; nullptr with `error` naming the reason when that
  // fails (a port that another server holds gives "address in use").
  static std::unique_ptr<HttpServer> Listen(const HttpOptions& options, RequestHandler handler, std::string* error);
  ~HttpServer();

  uint16_t port() const;
  // The connection limit in force (the requested one, lowered to fit the
  // descriptor limit).
  size_t maxConnections() const;

  // Serves until SIGTERM or SIGINT arrives or Stop() is called, then lets
  // answers being written finish (briefly) and returns.
  void Run();
  // Safe from any thread.
  void Stop();

  class Impl;

 private:
  explicit HttpServer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The bytes that the server sends back for `bytes` received on one
// connection that then closes, requests handled in order. The same parser
// settings and answers as the server; for tests and fuzzing without sockets.
std::string AnswerBytes(std::string_view bytes, const RequestHandler& handler,
                        std::string_view remoteAddress = "127.0.0.1");

// Raises the soft limit of open descriptors to the hard limit and returns
// the soft limit now in force.
size_t RaiseDescriptorLimit();

}  // namespace hs::locd
