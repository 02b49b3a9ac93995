// A WhoIs registry of our own for tests: it reads one request line and
// answers it as scripted (see ScriptedServer for the ways it can behave).
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "tests/platform/scripted_server.h"

namespace hs::test {

using FakeReply = ScriptedServer::Reply;

class FakeRegistry {
 public:
  // Listens on the IPv4 address and port (0: any free port). Throws when it cannot.
  explicit FakeRegistry(const std::string& address = "127.0.0.1", uint16_t port = 0)
      : server_("\n", [this](const std::string& request) { return ReplyTo(request); }, address, port) {}

  uint16_t Port() const { return server_.Port(); }
  // The reply to one request line (without its CR LF).
  void Answer(const std::string& request, FakeReply reply) {
    std::lock_guard g(lock_);
    replies_[request] = std::move(reply);
  }
  // The reply to every request not scripted above; default: close at once.
  void AnswerOthers(std::function<FakeReply(const std::string& request)> reply) {
    std::lock_guard g(lock_);
    others_ = std::move(reply);
  }
  std::vector<std::string> Requests() const { return server_.Requests(); }
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
    return server_.WaitForRequests(count, timeout);
  }
  // While held, answers wait before they are sent.
  void Hold() { server_.Hold(); }
  void Release() { server_.Release(); }
  int Connections() const { return server_.Connections(); }

 private:
  FakeReply ReplyTo(const std::string& request) {
    std::lock_guard g(lock_);
    if (auto it = replies_.find(request); it != replies_.end()) return it->second;
    return others_ ? others_(request) : FakeReply{FakeReply::CloseAtOnce, {}};
  }

  std::mutex lock_;
  std::map<std::string, FakeReply> replies_;
  std::function<FakeReply(const std::string&)> others_;
  ScriptedServer server_;  // last: its threads end before the scripts above go
};

}  // namespace hs::test
