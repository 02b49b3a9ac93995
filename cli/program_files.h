// The data files of one hopsight-trace run: settings and lookup caches are
// loaded at start and saved at exit; hop names come from the name cache and
// the resolver.
#pragma once

#include <string>

#include "config/cache_file.h"
#include "config/caches.h"
#include "config/settings.h"
#include "names/hop_names.h"
#include "platform/resolver.h"
#include "trace/collaborators.h"
#include "whois/lookups.h"
#include "whois/server_table.h"

namespace hs::cli {

// `<directory of the executable>data`.
std::string DefaultDataDirectory();

class ProgramFiles {
 public:
  explicit ProgramFiles(std::string dataDir) : dataDir_(std::move(dataDir)) {}

  // Creates the directory, loads the settings (the home location wizard does
  // nothing yet), then the caches and the WhoIs server table, and purges the caches.
  void LoadAtStart();
  // Saves the settings, then the caches (purged first).
  void SaveAtExit();

  const std::string& DataDir() const { return dataDir_; }
  config::Settings settings;
  config::Caches caches;
  whois::WhoIsServerTable whoisServers = whois::WhoIsServerTable::BuiltIn();

  // RIR.idx of the data directory, or else the one shipped beside the program.
  std::string RirIndexPath() const;

 private:
  std::string dataDir_;
};

// What the trace asks of the lookup subsystems that exist so far.
class CliLookups final : public HopLookups {
 public:
  CliLookups(config::Caches& caches, platform::Resolver& resolver) : names_(caches.names, resolver) {}
  bool LookupHopName(HopRecord& row, bool networkAllowed, const CancellationWatch& watch) override {
    return names_.LookupHopName(row, networkAllowed, watch);
  }

  // Network owners (none: --no-whois). The lookups object must outlive the trace's threads.
  void SetWhoIs(whois::WhoIsLookups* whois) { whois_ = whois; }
  void StartNetworkLookup(const HopRef& row, const CancellationWatch& watch,
                          const PendingQueries& pendingQueries) override {
    if (whois_) whois_->StartNetworkLookup(row, watch, pendingQueries);
  }
  bool StartDomainLookup(const HopRef& row, const CancellationWatch& watch,
                         const PendingQueries& pendingQueries) override {
    return whois_ && whois_->StartDomainLookup(row, watch, pendingQueries);
  }
  bool LocateByWhoIs(HopRecord& row) override { return whois_ && whois_->LocateByWhoIs(row); }

 private:
  names::HopNameLookup names_;
  whois::WhoIsLookups* whois_ = nullptr;
};

}  // namespace hs::cli
