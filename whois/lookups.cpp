#include "whois/lookups.h"

#include <arpa/inet.h>

#include "platform/resolver.h"
#include "whois/answers.h"
#include "whois/domain_record.h"

namespace hs::whois {
namespace {

std::shared_ptr<const DomainRecord> RecordOf(std::shared_ptr<const std::string> answer) {
  if (!answer) return nullptr;
  return std::make_shared<const DomainRecord>(DomainRecord{std::move(answer)});
}

}  // namespace

WhoIsLookups::WhoIsLookups(WhoIsQuerier& querier, config::LocationCache& locations)
    : querier_(querier), locations_(locations) {}

WhoIsLookups::~WhoIsLookups() { Shutdown(); }

bool WhoIsLookups::StartNetworkLookup(const HopRef& row, const CancellationWatch& watch,
                                      const PendingQueries& pending) {
  const uint32_t address = row->address;
  // 0.0.0.0 (a silent hop) never gets an answer, and a loopback address is
  // this computer: no registry is worth asking about either.
  if (address == 0 || (ntohl(address) >> 24) == 127) return true;
  std::string dotted = platform::AddressToDotted(address);
  const WhoIsSelection selection = querier_.Select(dotted);
  if (!selection.row) return true;
  if (auto answer = querier_.CacheLookup(selection.key, true)) {
    row->SetNetName(ExtractNetName(*answer).value_or(""));
    row->SetWhoisText(std::move(answer));
    return true;
  }
  std::lock_guard job(jobLock_);
  if (querier_.Cache().RegisterRequest(selection.key, querier_.Now()) == 0)
    StartWorker(Job{row, watch, pending, std::move(dotted), kNetworkJob});
  return false;
}

bool WhoIsLookups::StartDomainLookup(const HopRef& row, const CancellationWatch& watch,
                                     const PendingQueries& pending) {
  std::string name = row->Name();
  if (name.empty()) return false;
  const WhoIsSelection selection = querier_.Select(name);
  if (!selection.row) {
    row->SetStage(HopStage::NoDomain);
    return true;
  }
  if (auto answer = querier_.CacheLookup(selection.key, false)) {
    row->SetDomainRecord(RecordOf(std::move(answer)));
    Notify(kDomainJob);
    row->SetStage(HopStage::OwnerFound);
    return true;
  }
  std::lock_guard job(jobLock_);
  if (querier_.Cache().RegisterRequest(selection.key, querier_.Now()) == 0)
    StartWorker(Job{row, watch, pending, std::move(name), kDomainJob});
  return false;
}

void WhoIsLookups::StartWorker(Job job) {
  job.pending.Increment();
  workersStarted_.fetch_add(1);
  std::lock_guard g(workersLock_);
  ReapFinished();
  auto worker = workers_.emplace(workers_.end());
  ++running_;
  worker->thread = std::thread([this, worker, job = std::move(job)]() mutable {
    WhoIsWorker(std::move(job));
    std::lock_guard done(workersLock_);
    worker->done = true;
    --running_;
    workersIdle_.notify_all();
  });
}

void WhoIsLookups::WhoIsWorker(Job job) {
  std::shared_ptr<const std::string> result = querier_.QueryWhoIs(job.queryText, job.watch);
  const bool current = job.watch.IsCurrent() && !querier_.Cancelled();
  if (current) {
    HopRecord& hop = *job.hop;
    if (job.kind == kDomainJob) {
      hop.SetDomainRecord(RecordOf(result));
      if (result) hop.SetStage(HopStage::OwnerFound);
    } else {
      if (result) hop.SetNetName(ExtractNetName(*result).value_or(""));
      hop.SetWhoisText(std::move(result));
    }
  }
  // The row may outlive its trace only as long as this job holds it.
  job.pending.Decrement();
  job.hop = HopRef();
  if (current) Notify(job.kind);
}

void WhoIsLookups::Notify(JobKind kind) {
  if (TraceViews* views = views_.load()) views->LookupComplete();
}

void WhoIsLookups::ReapFinished() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->done) {
      it->thread.join();  // it has left its body already
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void WhoIsLookups::WaitForWorkers() {
  std::list<Worker> finished;
  {
    std::unique_lock g(workersLock_);
    workersIdle_.wait(g, [this] { return running_ == 0; });
    finished.swap(workers_);
  }
  for (Worker& w : finished) w.thread.join();
}

void WhoIsLookups::Shutdown() {
  querier_.CancelAll();
  WaitForWorkers();
}

bool WhoIsLookups::LocateByWhoIs(HopRecord& row) {
  const std::shared_ptr<const std::string> text = row.WhoisText();
  if (!text || text->empty()) return false;
  const std::optional<PostalAddress> postal = ReadPostalAddress(*text);
  if (!postal) return false;

  const std::string name = row.Name();
  const std::string dotted = platform::AddressToDotted(row.address);
  PlaceQuery query;
  if (const WhoIsSelection selection = querier_.Select(name); selection.row) query.domain = selection.key;
  query.ip = dotted;
  query.country = postal->country;
  query.zip = postal->zip;
  query.url = name;
  if (!placeLookup_) return false;
  const std::optional<PlacePosition> position = placeLookup_(query);
  if (!position) return false;

  const GeoLocation location{LocationSource::WhoIsAddress, position->latitude, position->longitude, 8};
  row.SetLocation(location);
  locations_.Insert(name.empty() ? dotted : name, location, querier_.Now());
  return true;
}

}  // namespace hs::whois
