// A WhoIs registry of our own for tests: a small TCP server that reads one
// request line and answers it as scripted, in any of the ways real servers
// behave (a text, after a delay; never; bytes without end; closing at once).
// One thread per connection: a stalled client never holds up the others.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hs::test {

struct FakeReply {
  enum Kind { Text, NeverAnswer, Flood, CloseAtOnce } kind = Text;
  std::string text;
  uint32_t delayMs = 0;   // before the text is sent
  bool holdOpen = false;  // after the text, keep the connection open until the client closes it

  static FakeReply Of(std::string text, uint32_t delayMs = 0) { return {Text, std::move(text), delayMs}; }
};

class FakeRegistry {
 public:
  // Listens on the IPv4 address and port (0: any free port). Throws when it cannot.
  explicit FakeRegistry(const std::string& address = "127.0.0.1", uint16_t port = 0);
  // Stops listening, ends every connection and waits for them.
  ~FakeRegistry();
  FakeRegistry(const FakeRegistry&) = delete;
  FakeRegistry& operator=(const FakeRegistry&) = delete;

  uint16_t Port() const { return port_; }

  // The reply to one request line (without its CR LF).
  void Answer(const std::string& request, FakeReply reply);
  // The reply to every request not scripted above; default: close at once.
  void AnswerOthers(std::function<FakeReply(const std::string& request)> reply);

  // Request lines received so far, in order.
  std::vector<std::string> Requests() const;
  // While held, text replies wait before they are sent.
  void Hold();
  void Release();
  // Waits until `count` requests have arrived; false after `timeout`.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;
  int Connections() const { return connections_.load(); }
  // Connections whose handler has not finished yet.
  int OpenConnections() const { return open_.load(); }

 private:
  void AcceptLoop();
  void Serve(int fd);
  FakeReply ReplyTo(const std::string& request);
  bool WaitStop(uint32_t ms);  // true when stopped

  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::thread acceptThread_;
  mutable std::mutex lock_;
  mutable std::condition_variable requestArrived_;
  std::condition_variable released_;
  bool held_ = false;      // under lock_
  bool stopping_ = false;  // under lock_
  std::map<std::string, FakeReply> replies_;
  std::function<FakeReply(const std::string&)> others_;
  std::vector<std::string> requests_;
  std::list<std::thread> handlers_;
  std::atomic<int> connections_{0};
  std::atomic<int> open_{0};
};

}  // namespace hs::test
