// What both programs (the window and the command-line tracer) load at
// start, the lookups a trace asks for, and what they save at exit: one
// object, so that neither program wires the subsystems on its own.
//
// Start-up, in this order:
//   LoadServerList()   the location server table (data/LS.ini)
//   LoadSettings()     the install identity, the data directory, the settings
//                      (the home location wizard when none is set)
//   LoadLookupData()   the window's data: the location database and the user
//                      locations, the lookup caches and the WhoIs server
//                      table, then the caches purged
//   StartLookups()     names, WhoIs workers, route placement, the weekly
//                      speed test of the location servers
// Shutdown, once every trace has been made stale:
//   StopLookups()      WhoIs workers end (their exchanges are cancelled)
//   SaveFiles()        settings, caches, user locations: what was loaded
//   SaveServerList()   the location servers' requests end, LS.ini is saved
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
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
#include "whois/query.h"
#include "whois/rir_index.h"
#include "whois/server_table.h"

namespace hs::app {

// The directory that holds a shipped data file (HopSight.gdp, hopsight.loca,
// RIR.idx): the data directory when the file is there, else the program's own.
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

// What a trace asks of the lookup subsystems: names from the name cache and
// the resolver, network owners from the WhoIs workers, positions from the
// local sources and (when given a placer) the location servers.
class ProgramLookups final : public HopLookups {
 public:
  ProgramLookups(config::Caches& caches, platform::Resolver& resolver, geo::LocalSources locations,
                 geo::RoutePlacer* placer, whois::WhoIsLookups* whois)
      : names_(caches.names, resolver), locations_(locations), placer_(placer), whois_(whois) {}

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
  geo::RoutePlacer* placer_;
  whois::WhoIsLookups* whois_;
  bool reverseNames_ = true;
};

class Program {
 public:
  struct LookupOptions {
    bool whois = true;       // network owners from the WhoIs servers
    bool networkGeo = true;  // positions from the location servers (route, place lookups, speed test)
    geo::FetchFeedback* feedback = nullptr;  // the window's wait cursor during a route request
    bool reverseNames = true;                // false: hops get no host names (-n)
  };

  // `dataDir`: normally the program directory's data/.
  explicit Program(std::string dataDir);
  // Ends the lookups and the location servers' threads without saving.
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // ---- start-up
  void LoadServerList();
  // `homeOnly`: started only to set the home location (no wizard from here).
  void LoadSettings(config::HomeLocationWizard& wizard, bool homeOnly);
  // Returns the database's "needs to be updated" flag: true when
  // HopSight.gdp could not be opened. `messages` shows the loader's boxes.
  bool LoadLookupData(geo::GeoMessages* messages);
  // Starts the lookup workers over the loaded data; `views` gets the WhoIs
  // workers' lookup-complete notice (from their threads). The speed test
  // asks `resolver` for the local computer's address.
  void StartLookups(platform::Resolver& resolver, LookupOptions options, TraceViews* views = nullptr);
  // The trace's collaborators; the do-nothing ones before StartLookups().
  HopLookups& Lookups();

  // ---- shutdown
  void StopLookups();
  // Saves what was loaded: the settings (with `placement` when a window
  // had one), the caches and the user locations. A file that could not be
  // read at start is left as it is.
  void SaveFiles(const config::WindowPlacement* placement = nullptr);
  void SaveServerList();

  // ---- state
  const std::string& DataDir() const { return dataDir_; }
  // The install identity as the location servers and the update check see it.
  locwire::InstallIdentity Identity() const;
  // The home location: read by the trace threads, replaced by the route
  // placement and the wizard while others read it.
  GeoLocation Home() const;
  void SetHome(const GeoLocation& home);
  bool HasHome() const;

  // Problems with the data files since the last call, each said once: a
  // file not read, saved or recorded (what, which file, why), a cache file
  // cut to the limit.
  std::vector<std::string> TakeMessages();
  // The trace history could not record the trace.
  void NotRecorded(const platform::FileError& error);

  config::Settings& Settings() { return settings_; }
  config::Caches& Caches() { return caches_; }
  geo::LocationServerTable& Servers() { return servers_; }
  geo::UserLocations& UserLocations() { return userLocations_; }
  const geo::LocationDatabase& Database() const { return database_; }
  // The place-name file (hopsight.loca), for route labels and Location texts.
  const geo::PlaceFile* Places() const { return places_.get(); }
  // The AS table (ASN.idx), read on its first lookup.
  const asn::AsLookup* AsTable() const { return asTable_.get(); }
  // Says once why the AS table could not be read, if a lookup needed it.
  void CheckAsTable();
  const whois::WhoIsServerTable& WhoIsServers() const { return whoisServers_; }
  // The local sources of hop positions.
  geo::LocalSources LocationSources() const { return {&userLocations_, &caches_.locations, &database_}; }
  whois::WhoIsLookups* WhoIs() { return whoisLookups_.get(); }
  // A place lookup through the location servers, for LocateByWhoIs; none
  // without network positions.
  std::optional<whois::PlacePosition> PlaceLookupForWhoIs(const whois::PlaceQuery& query);

 private:
  void Tell(std::string message);

  std::string dataDir_;
  config::Settings settings_;
  config::Caches caches_;
  geo::LocationDatabase database_;
  geo::UserLocations userLocations_;
  std::unique_ptr<geo::PlaceFile> places_;
  std::unique_ptr<asn::AsLookup> asTable_;
  whois::WhoIsServerTable whoisServers_ = whois::WhoIsServerTable::BuiltIn();
  geo::LocationServerTable servers_;

  mutable std::mutex homeLock_;
  bool settingsLoaded_ = false;
  bool keepSettingsFile_ = false;  // unreadable at start: never saved over
  bool lookupDataLoaded_ = false;
  bool keepCacheFile_ = false;
  bool networkGeo_ = false;
  bool serversLoaded_ = false;
  bool serversSaved_ = false;

  // The lookups; the workers outlive the engine's threads, which start them.
  std::unique_ptr<whois::RirIndex> rirIndex_;
  std::unique_ptr<whois::WhoIsQuerier> querier_;
  std::unique_ptr<whois::WhoIsLookups> whoisLookups_;
  std::unique_ptr<geo::RoutePlacer> placer_;
  std::unique_ptr<ProgramLookups> lookups_;
  HopLookups noLookups_;

  std::mutex messagesLock_;
  std::vector<std::string> pending_;
  std::set<std::string> told_;
};

}  // namespace hs::app
