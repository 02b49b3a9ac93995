// A scripted network for the trace engine's tests: echo answers by TTL,
// a fake millisecond clock, and recorders for views, status and sounds.
#pragma once

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/icmp_echo.h"
#include "platform/resolver.h"
#include "trace/collaborators.h"
#include "trace/engine.h"

namespace hs::test {

inline uint32_t Ip(const char* dotted) { return inet_addr(dotted); }

struct FakeClock {
  std::atomic<uint32_t> now{1000};
  uint32_t operator()() const { return now.load(); }
};

// What one echo request gets back; nullopt is silence.
using Answer = std::optional<platform::IcmpEchoReply>;

class ScriptedNetwork {
 public:
  // answer(destination, ttl, sendNumber) -> reply; sendNumber counts every send in the process.
  std::function<Answer(uint32_t destination, int ttl)> answer;
  // Called before a send returns; may block (gates).
  std::function<void(uint32_t destination, int ttl)> beforeReply;
  uint32_t rttMs = 7;
  FakeClock clock;

  std::unique_ptr<platform::IcmpEcho> Open();

  std::vector<std::pair<uint32_t, int>> Sends() {
    std::lock_guard g(lock_);
    return sends_;
  }
  int SendsWithTtl(int ttl) {
    std::lock_guard g(lock_);
    int n = 0;
    for (auto& s : sends_) n += s.second == ttl;
    return n;
  }

 private:
  friend class ScriptedEcho;
  std::mutex lock_;
  std::vector<std::pair<uint32_t, int>> sends_;
};

class ScriptedEcho final : public platform::IcmpEcho {
 public:
  explicit ScriptedEcho(ScriptedNetwork& net) : net_(net) {}
  int SendEcho(uint32_t destination, uint8_t ttl, const void*, uint16_t size, uint32_t,
               platform::IcmpEchoReply* reply) override {
    {
      std::lock_guard g(net_.lock_);
      net_.sends_.emplace_back(destination, ttl);
    }
    if (net_.beforeReply) net_.beforeReply(destination, ttl);
    net_.clock.now += net_.rttMs;
    Answer a = net_.answer ? net_.answer(destination, ttl) : std::nullopt;
    if (!a) return 0;
    *reply = *a;
    return 1;
  }

 private:
  ScriptedNetwork& net_;
};

inline std::unique_ptr<platform::IcmpEcho> ScriptedNetwork::Open() {
  return std::make_unique<ScriptedEcho>(*this);
}

class ScriptedResolver final : public platform::Resolver {
 public:
  std::map<std::string, uint32_t> forward;
  std::map<uint32_t, std::string> reverse;
  std::string localName = "workstation";

  uint32_t FirstAddress(const std::string& host) override {
    auto it = forward.find(host);
    return it == forward.end() ? 0 : it->second;
  }
  std::optional<std::string> ReverseName(uint32_t address) override {
    auto it = reverse.find(address);
    if (it == reverse.end()) return std::nullopt;
    return it->second;
  }
  std::string LocalHostName() override { return localName; }
};

class RecordingSounds final : public SoundOutput {
 public:
  void Play(const std::string& path) override {
    std::lock_guard g(lock_);
    played_.push_back(path.substr(path.rfind('/') + 1));
  }
  std::vector<std::string> Played() {
    std::lock_guard g(lock_);
    return played_;
  }
  int Count(const std::string& file) {
    int n = 0;
    for (auto& p : Played()) n += p == file;
    return n;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> played_;
};

class RecordingStatus final : public StatusDisplay {
 public:
  void ShowStatus(const std::string& text, int position) override {
    std::lock_guard g(lock_);
    shown_.emplace_back(text, position);
  }
  std::vector<std::pair<std::string, int>> Shown() {
    std::lock_guard g(lock_);
    return shown_;
  }
  bool Showed(const std::string& text) {
    for (auto& s : Shown())
      if (s.first == text) return true;
    return false;
  }

 private:
  std::mutex lock_;
  std::vector<std::pair<std::string, int>> shown_;
};

// Keeps, for every refresh of the views, the addresses of the rows shown.
class RecordingViews final : public TraceViews {
 public:
  explicit RecordingViews(HopTable& table) : table_(table) {}
  void RefreshRows() override {
    std::vector<uint32_t> addresses;
    for (const HopRef& row : table_.Snapshot()) addresses.push_back(row ? row->address.load() : 0);
    std::lock_guard g(lock_);
    refreshes_.push_back(std::move(addresses));
  }
  void ShowTargetError(int box) override { errorBox = box; }
  void SetTitle(const std::string& t) override {
    std::lock_guard g(lock_);
    title_ = t;
  }
  std::vector<std::vector<uint32_t>> Refreshes() {
    std::lock_guard g(lock_);
    return refreshes_;
  }
  std::string Title() {
    std::lock_guard g(lock_);
    return title_;
  }
  std::atomic<int> errorBox{0};

 private:
  HopTable& table_;
  std::mutex lock_;
  std::vector<std::vector<uint32_t>> refreshes_;
  std::string title_;
};

// Waits (bounded) until `done` holds.
inline bool WaitFor(const std::function<bool()>& done, int maxMs = 5000) {
  for (int i = 0; i < maxMs; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

}  // namespace hs::test
