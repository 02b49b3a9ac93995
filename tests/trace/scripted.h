// A scripted network for the trace engine's tests: echo answers by TTL,
// a fake millisecond clock, scripted lookups, and recorders for views,
// status and sounds. Every scripted part announces what it did on one event
// hub, so a test (or a gate inside a scripted call) waits for the event it
// needs instead of sleeping.
#pragma once

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/icmp_echo.h"
#include "platform/resolver.h"
#include "trace/collaborators.h"
#include "trace/engine.h"

namespace hs::test {

inline uint32_t Ip(const char* dotted) { return inet_addr(dotted); }

// A number for the calling thread, unique for the whole test run (thread
// ids are reused once a thread has ended).
inline int ThreadNumber() {
  static std::atomic<int> next{1};
  thread_local const int number = next++;
  return number;
}

// Something happened somewhere: a send, a status text, a sound, a view
// update, a lookup, or an action of the test itself.
class Events {
 public:
  void Notify() {
    {
      std::lock_guard g(lock_);
      ++version_;
    }
    changed_.notify_all();
  }
  // Waits until `done` holds, checking it after every notice. `done` runs
  // under the hub's lock: it may read anything but must not notify. False
  // when it still does not hold after `limit` (a test failure, not a timing).
  bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    std::unique_lock g(lock_);
    return changed_.wait_for(g, limit, done);
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  uint64_t version_ = 0;
};

// One hub for the whole test binary; tests run one after another.
inline Events& Changes() {
  static Events events;
  return events;
}
inline bool WaitUntil(const std::function<bool()>& done) { return Changes().WaitUntil(done); }

// A list that any thread appends to and the test reads; every append is announced.
template <typename T>
class EventLog {
 public:
  void Add(T item) {
    {
      std::lock_guard g(lock_);
      items_.push_back(std::move(item));
    }
    Changes().Notify();
  }
  std::vector<T> All() {
    std::lock_guard g(lock_);
    return items_;
  }

 private:
  std::mutex lock_;
  std::vector<T> items_;
};

struct FakeClock {
  std::atomic<uint32_t> now{1000};
  uint32_t operator()() const { return now.load(); }
};

// What one echo request gets back; nullopt is silence.
using Answer = std::optional<platform::IcmpEchoReply>;

struct Send {
  uint32_t destination = 0;
  int ttl = 0;
  // Sent through the echo facility whose first request had TTL 255: the
  // destination probe's (the controller's first request has TTL 1).
  bool destinationProbe = false;
};

class ScriptedNetwork {
 public:
  std::function<Answer(uint32_t destination, int ttl)> answer;
  // Called before a send returns; may block (gates).
  std::function<void(const Send&)> beforeReply;
  uint32_t rttMs = 7;
  FakeClock clock;

  std::unique_ptr<platform::IcmpEcho> Open();

  std::vector<Send> Sends() { return sends_.All(); }
  int SendsWithTtl(int ttl) {
    int n = 0;
    for (const Send& s : Sends()) n += s.ttl == ttl;
    return n;
  }
  // Sends of the controllers (hops and their target tests), not of destination probes.
  int ControllerSends() {
    int n = 0;
    for (const Send& s : Sends()) n += !s.destinationProbe;
    return n;
  }
  bool Sent(uint32_t destination, int ttl) {
    for (const Send& s : Sends())
      if (s.destination == destination && s.ttl == ttl) return true;
    return false;
  }

 private:
  friend class ScriptedEcho;
  EventLog<Send> sends_;
};

class ScriptedEcho final : public platform::IcmpEcho {
 public:
  explicit ScriptedEcho(ScriptedNetwork& net) : net_(net) {}
  int SendEcho(uint32_t destination, uint8_t ttl, const void*, uint16_t, uint32_t,
               platform::IcmpEchoReply* reply) override {
    if (sends_++ == 0) destinationProbe_ = ttl == kTargetTestTtl;
    const Send send{destination, ttl, destinationProbe_};
    net_.sends_.Add(send);
    if (net_.beforeReply) net_.beforeReply(send);
    net_.clock.now += net_.rttMs;
    Answer a = net_.answer ? net_.answer(destination, ttl) : std::nullopt;
    Changes().Notify();
    if (!a) return 0;
    *reply = *a;
    return 1;
  }

 private:
  ScriptedNetwork& net_;
  int sends_ = 0;
  bool destinationProbe_ = false;
};

inline std::unique_ptr<platform::IcmpEcho> ScriptedNetwork::Open() {
  return std::make_unique<ScriptedEcho>(*this);
}

// Names to addresses from `forward`; no reverse names (those are the lookups').
class ScriptedResolver final : public platform::Resolver {
 public:
  std::map<std::string, uint32_t> forward;

  std::optional<uint32_t> FirstAddress(const std::string& host) override {
    auto it = forward.find(host);
    if (it == forward.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::string> ReverseName(uint32_t) override { return std::nullopt; }
  std::string LocalHostName() override { return "workstation"; }
};

// Names from a cache and a reverse table, like the real lookups: a network
// lookup fills the cache. Every call is counted and announced; the hooks run
// inside the call (they may block) and may change its answer.
class ScriptedLookups final : public HopLookups {
 public:
  std::map<uint32_t, std::string> cachedNames;   // found without the network
  std::map<uint32_t, std::string> reverseNames;  // found with it (then cached)

  // Before a name lookup answers; may block.
  std::function<void(HopRecord& row, bool networkAllowed)> onLookupName;
  // The domain lookup's answer ("finished at once"); may block. Default: false.
  std::function<bool(const HopRef& row)> onDomainLookup;
  // LocateHop's answer; when true the row gets `placedAt`. Default: false.
  std::function<bool(HopRecord& row)> onLocateHop;
  // Before LocateByWhoIs answers false; may block.
  std::function<void(HopRecord& row)> onLocateByWhoIs;
  GeoLocation placedAt{LocationSource::Database, 48.1, 11.6, 40};

  bool LookupHopName(HopRecord& row, bool networkAllowed, const CancellationWatch& watch) override {
    if (onLookupName) onLookupName(row, networkAllowed);
    bool found = false;
    {
      std::lock_guard g(lock_);
      const uint32_t address = row.address;
      auto cached = cachedNames.find(address);
      if (cached == cachedNames.end() && networkAllowed) {
        auto reverse = reverseNames.find(address);
        if (reverse != reverseNames.end()) cached = cachedNames.emplace(address, reverse->second).first;
      }
      row.SetName({});
      if (row.status == IP_REQ_TIMED_OUT) {
        row.SetName(StatusRowText(IP_REQ_TIMED_OUT));
        row.SetStage(HopStage::Settled);
      } else if (cached != cachedNames.end() && address != 0) {
        row.SetName(cached->second);
        row.SetStage(HopStage::Settled);
        found = true;
      }
    }
    Changes().Notify();
    return found;
  }
  // Called when a WhoIs job would start; may count jobs in `pending`.
  std::function<void(const PendingQueries&)> onNetworkLookup;
  void StartNetworkLookup(const HopRef&, const CancellationWatch&, const PendingQueries& pending) override {
    if (onNetworkLookup) onNetworkLookup(pending);
    Changes().Notify();
  }

  bool StartDomainLookup(const HopRef& row, const CancellationWatch&, const PendingQueries&) override {
    domainLookups_.Add(row->address);
    const bool done = onDomainLookup && onDomainLookup(row);
    if (done) row->SetStage(HopStage::OwnerFound);
    Changes().Notify();
    return done;
  }
  bool LocateHop(HopRecord& row) override {
    const bool placed = onLocateHop && onLocateHop(row);
    if (placed) row.SetLocation(placedAt);
    {
      std::lock_guard g(lock_);
      ++locateCalls_[row.address];
    }
    Changes().Notify();
    return placed;
  }
  bool LocateByWhoIs(HopRecord& row) override {
    Changes().Notify();
    if (onLocateByWhoIs) onLocateByWhoIs(row);
    Changes().Notify();
    return false;
  }

  bool Cached(uint32_t address) {
    std::lock_guard g(lock_);
    return cachedNames.count(address) != 0;
  }
  std::vector<uint32_t> DomainLookups() { return domainLookups_.All(); }
  int LocateCalls(uint32_t address) {
    std::lock_guard g(lock_);
    return locateCalls_[address];
  }

 private:
  std::mutex lock_;
  EventLog<uint32_t> domainLookups_;
  std::map<uint32_t, int> locateCalls_;
};

class RecordingSounds final : public SoundOutput {
 public:
  void Play(const std::string& path) override { played_.Add(path.substr(path.rfind('/') + 1)); }
  std::vector<std::string> Played() { return played_.All(); }
  int Count(const std::string& file) {
    int n = 0;
    for (auto& p : Played()) n += p == file;
    return n;
  }

 private:
  EventLog<std::string> played_;
};

class RecordingStatus final : public StatusDisplay {
 public:
  void ShowStatus(const std::string& text, int position) override { shown_.Add({text, position}); }
  std::vector<std::pair<std::string, int>> Shown() { return shown_.All(); }
  bool Showed(const std::string& text) { return Count(text) > 0; }
  int Count(const std::string& text) {
    int n = 0;
    for (auto& s : Shown()) n += s.first == text;
    return n;
  }

 private:
  EventLog<std::pair<std::string, int>> shown_;
};

// Keeps, for every refresh of the views, the addresses of the rows shown.
class RecordingViews final : public TraceViews {
 public:
  explicit RecordingViews(HopTable& table) : table_(table) {}
  void RefreshRows() override {
    Called("RefreshRows");
    if (onRefresh) onRefresh();
    std::vector<uint32_t> addresses;
    for (const HopRef& row : table_.Snapshot()) addresses.push_back(row ? row->address.load() : 0);
    refreshes_.Add(std::move(addresses));
  }
  void ShowRow(int) override { Called("ShowRow"); }
  void ClearRoute() override { Called("ClearRoute"); }
  void RedrawMap() override { Called("RedrawMap"); }
  void MarkRouteChanged() override {
    Called("MarkRouteChanged");
    ++routeChanges;
    Changes().Notify();
  }
  void LookupComplete() override {
    Called("LookupComplete");
    ++lookupCompletes;
    Changes().Notify();
  }
  void TraceThreadStarted() override {
    Called("TraceThreadStarted");
    if (onThreadStarted) onThreadStarted();
  }
  void TraceThreadEnded() override { Called("TraceThreadEnded"); }
  void ShowTargetError(int box) override {
    errorBox = box;
    Changes().Notify();
  }
  void SetTitle(const std::string& t) override {
    {
      std::lock_guard g(lock_);
      title_ = t;
    }
    Changes().Notify();
  }
  std::vector<std::vector<uint32_t>> Refreshes() { return refreshes_.All(); }
  std::string Title() {
    std::lock_guard g(lock_);
    return title_;
  }
  // Calls made on one thread, in order.
  std::vector<std::string> CallsOn(int thread) {
    std::vector<std::string> out;
    for (auto& c : calls_.All())
      if (c.first == thread) out.push_back(c.second);
    return out;
  }
  // Run on the controller's thread before it starts the trace, and on the
  // calling thread before a refresh; may block.
  std::function<void()> onThreadStarted;
  std::function<void()> onRefresh;
  std::atomic<int> errorBox{0};
  std::atomic<int> routeChanges{0};
  std::atomic<int> lookupCompletes{0};

 private:
  void Called(const char* what) { calls_.Add({ThreadNumber(), what}); }

  HopTable& table_;
  std::mutex lock_;
  EventLog<std::pair<int, std::string>> calls_;
  EventLog<std::vector<uint32_t>> refreshes_;
  std::string title_;
};

}  // namespace hs::test
