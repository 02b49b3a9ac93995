// The data files of one hopsight-trace run, loaded at start and saved at
// exit, and the lookups that a trace asks for: names, network owners and
// positions.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "asn/as_table.h"
#include "config/cache_file.h"
#include "config/caches.h"
#include "config/settings.h"
#include "geo/hop_locator.h"
#include "geo/location_database.h"
#include "geo/location_servers.h"
#include "geo/place_file.h"
#include "geo/route_placement.h"
#include "geo/user_locations.h"
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

  // Creates the directory, loads the location server list, the settings
  // (there is no home location wizard without a window), then the caches and
  // the WhoIs server table, purges the caches, and loads the location
  // database and the user locations.
  void LoadAtStart();
  // Saves the settings, then the caches (purged first) and the user
  // locations, then ends the location servers' requests and saves their
  // list. A file that could not be read at start is left as it is.
  void SaveAtExit();
  // The trace history could not record the trace.
  void NotRecorded(const platform::FileError& error);

  // What the user should hear about the data files since the last call, one
  // line per problem and each problem once: a file not read, saved or
  // recorded (what, which file, why), and a cache file cut to the limit.
  std::vector<std::string> TakeMessages();

  const std::string& DataDir() const { return dataDir_; }
  // The install identity as the location servers receive it.
  locwire::InstallIdentity Identity() const;
  // The home location: read by the trace threads, replaced by the route
  // placement while the main thread may be saving.
  GeoLocation Home() const;
  void SetHome(const GeoLocation& home);

  // The local sources of hop positions, for LocateHop.
  geo::LocalSources LocationSources() const { return {&userLocations, &caches.locations, &database}; }

  config::Settings settings;
  config::Caches caches;
  geo::LocationDatabase database;
  geo::UserLocations userLocations;
  // Place names for the Location column; read on first use.
  std::unique_ptr<geo::PlaceFile> places;
  // The AS table (ASN.idx); read on first use.
  std::unique_ptr<asn::AsLookup> asTable;
  // Says once why the AS table could not be read, if a lookup needed it.
  void CheckAsTable();
  whois::WhoIsServerTable whoisServers = whois::WhoIsServerTable::BuiltIn();

  // RIR.idx of the data directory, or else the one shipped beside the program.
  std::string RirIndexPath() const;
  geo::LocationServerTable servers;

 private:
  void Tell(std::string message);

  std::string dataDir_;
  mutable std::mutex homeLock_;
  bool keepSettingsFile_ = false;  // unreadable at start: never saved over
  bool keepCacheFile_ = false;
  std::vector<std::string> pending_;
  std::set<std::string> told_;
};

// The directory that holds a shipped data file (HopSight.gdp, hopsight.loca):
// the data directory when the file is there, else the program's own.
std::string ShippedFileDirectory(const std::string& dataDir, std::string_view name);

// A resolver that answers no reverse lookups (hopsight-trace -n): names and
// addresses of hosts still resolve through `inner`.
class NoReverseNames final : public platform::Resolver {
 public:
  explicit NoReverseNames(platform::Resolver& inner) : inner_(inner) {}
  std::optional<uint32_t> FirstAddress(const std::string& host) override { return inner_.FirstAddress(host); }
  std::optional<std::string> ReverseName(uint32_t) override { return std::nullopt; }
  std::string LocalHostName() override { return inner_.LocalHostName(); }

 private:
  platform::Resolver& inner_;
};

// What the trace asks of the lookup subsystems.
class CliLookups final : public HopLookups {
 public:
  // Without `placer` (--no-geo) no location server is asked.
  CliLookups(config::Caches& caches, platform::Resolver& resolver, geo::LocalSources locations = {},
             geo::RoutePlacer* placer = nullptr, geo::LocationServerTable* servers = nullptr)
      : names_(caches.names, resolver), locations_(locations), placer_(placer), servers_(servers) {}
  // Without reverse names (-n) rows get no host names, not even cached ones;
  // a silent hop still reads "No Response".
  void SetReverseNames(bool on) { reverseNames_ = on; }
  bool LookupHopName(HopRecord& row, bool networkAllowed, const CancellationWatch& watch) override {
    if (!reverseNames_) return HopLookups::LookupHopName(row, networkAllowed, watch);
    return names_.LookupHopName(row, networkAllowed, watch);
  }
  bool LocateHop(HopRecord& row) override { return geo::LocateHop(locations_, row); }
  bool LocateRoute(const std::vector<HopRef>& rows, const CancellationWatch& watch) override {
    if (!placer_) return false;
    return placer_->LocateRoute(rows, [watch] { return watch.IsCurrent(); }).destinationNeedsAddress;
  }
  // The place lookup of LocateByWhoIs; none with --no-geo.
  std::optional<geo::PlacePosition> PlaceLookup(const locwire::PlaceQuery& query) {
    if (!placer_ || !servers_) return std::nullopt;
    return geo::PlaceLookup(*servers_, query);
  }
  std::optional<whois::PlacePosition> PlaceLookupForWhoIs(const whois::PlaceQuery& q) {
    auto field = [](const std::string& v) { return v.empty() ? std::nullopt : std::optional<std::string>(v); };
    locwire::PlaceQuery query{field(q.domain), field(q.ip), field(q.country), field(q.city),
                              field(q.state),  field(q.zip), field(q.url)};
    const auto p = PlaceLookup(query);
    if (!p) return std::nullopt;
    return whois::PlacePosition{p->latitude, p->longitude};
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
  geo::LocalSources locations_;
  whois::WhoIsLookups* whois_ = nullptr;
  geo::RoutePlacer* placer_;
  geo::LocationServerTable* servers_;
  bool reverseNames_ = true;
};

}  // namespace hs::cli
