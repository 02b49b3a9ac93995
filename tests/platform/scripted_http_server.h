// A tiny HTTP server on 127.0.0.1 for client tests: every request gets a
// scripted reply (any bytes, a delay, a connection held open without an
// answer, an endless body, or a connection closed at once), and every request
// is recorded so that the test can read the exact request line and headers.
#pragma once

#include <string>
#include <vector>

#include "tests/platform/scripted_server.h"

namespace hs::test {

class ScriptedHttpServer {
 public:
  using Reply = ScriptedServer::Reply;
  struct Request {
    std::string target;  // "/loc/?..."
    std::string head;    // request line and headers
  };

  static Reply Ok(const std::string& body, uint32_t delayMs = 0) {
    return Reply::Of("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                         "\r\nConnection: close\r\n\r\n" + body,
                     delayMs);
  }
  static Reply Raw(std::string bytes) { return Reply::Of(std::move(bytes)); }
  static Reply Stall() { return {Reply::Stall, {}}; }
  static Reply CloseAtOnce() { return {Reply::Close, {}}; }
  // Headers promising a huge body, then bytes until the client goes away.
  static Reply Flood() {
    return {Reply::Flood, "HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\nConnection: close\r\n\r\n"};
  }

  explicit ScriptedHttpServer(std::function<Reply(const std::string& target)> handler)
      : server_("\r\n\r\n", [handler = std::move(handler)](const std::string& head) { return handler(Target(head)); }) {}

  int port() const { return server_.Port(); }
  std::string host() const { return "127.0.0.1:" + std::to_string(port()); }
  std::vector<Request> Requests() const {
    std::vector<Request> out;
    for (const std::string& head : server_.Requests()) out.push_back({Target(head), head});
    return out;
  }
  size_t RequestCount() const { return server_.Requests().size(); }
  bool WaitForRequests(size_t n) const { return server_.WaitForRequests(n); }

 private:
  static std::string Target(const std::string& head) {
    const size_t a = head.find(' '), b = head.find(' ', a + 1);
    return a == std::string::npos || b == std::string::npos ? "" : head.substr(a + 1, b - a - 1);
  }
  ScriptedServer server_;
};

}  // namespace hs::test
