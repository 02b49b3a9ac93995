// The lookup workers: a hop's network lookup (by its address) and domain
// lookup (by its name) are answered at once from the WhoIs cache when they
// can; otherwise one worker thread per query key asks the servers, writes the
// answer into the hop that asked first and tells the views.
//
// Also the placing of a hop by the postal address in its network answer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "config/caches.h"
#include "trace/collaborators.h"
#include "trace/records.h"
#include "whois/query.h"

namespace hs::whois {

// What the location servers are asked to place a network's postal address.
struct PlaceQuery {
  std::string domain;   // the domain key of the hop's name, or empty
  std::string ip;       // the hop's dotted address
  std::string country;  // at most 49 characters
  std::string city;     // not known from WhoIs: empty
  std::string state;    // likewise
  std::string zip;      // five digits, or empty
  std::string url;      // the hop's name
};
// Latitude and longitude of a place, or nothing. Supplied by the location
// server client; without one nothing is placed.
struct PlacePosition {
  double latitude = 0.0;
  double longitude = 0.0;
};
using PlaceLookup = std::function<std::optional<PlacePosition>(const PlaceQuery&)>;

class WhoIsLookups {
 public:
  // Kind of a job, also the argument of the lookup-complete notice.
  enum JobKind : int { kNetworkJob = 0, kDomainJob = 1 };

  WhoIsLookups(WhoIsQuerier& querier, config::LocationCache& locations);
  // Cancels the running exchanges and waits for the workers.
  ~WhoIsLookups();
  WhoIsLookups(const WhoIsLookups&) = delete;
  WhoIsLookups& operator=(const WhoIsLookups&) = delete;

  // Where the lookup-complete notice goes; the call comes from a worker
  // thread and returns before the worker goes on. Null: nobody is told.
  void SetViews(TraceViews* views) { views_.store(views); }
  void SetPlaceLookup(PlaceLookup lookup) { placeLookup_ = std::move(lookup); }

  // True when the hop's network answer is settled now (cached, or no lookup possible).
  bool StartNetworkLookup(const HopRef& row, const CancellationWatch& watch, const PendingQueries& pending);
  // True when the hop's domain answer is settled now.
  bool StartDomainLookup(const HopRef& row, const CancellationWatch& watch, const PendingQueries& pending);
  // Places the hop by its network answer's postal address; true when placed.
  bool LocateByWhoIs(HopRecord& row);

  // Stops every worker at its next check and waits for all of them.
  void Shutdown();
  // Waits until no worker runs (tests and benchmarks).
  void WaitForWorkers();
  int WorkersStarted() const { return workersStarted_.load(); }

 private:
  struct Job {
    HopRef hop;  // the job's reference on the row
    CancellationWatch watch;
    PendingQueries pending;
    std::string queryText;
    JobKind kind;
  };
  struct Worker {
    std::thread thread;
    bool done = false;  // under workersLock_
  };

  void StartWorker(Job job);
  void WhoIsWorker(Job job);
  void Notify(JobKind kind);
  void ReapFinished();

  WhoIsQuerier& querier_;
  config::LocationCache& locations_;
  std::atomic<TraceViews*> views_{nullptr};
  PlaceLookup placeLookup_;

  std::mutex jobLock_;  // taken before the cache's lock, never inside it
  std::mutex workersLock_;
  std::condition_variable workersIdle_;
  std::list<Worker> workers_;
  int running_ = 0;  // under workersLock_
  std::atomic<int> workersStarted_{0};
};

}  // namespace hs::whois
